#include "data/shop/rentals.h"

#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/shop/customerchecks.h"
#include "data/store/dates.h"
#include "data/store/formatting.h"
#include "data/shop/lookuplists.h"
#include "data/store/records.h"

namespace db {
namespace {

QString placeholders(qsizetype n)
{
    QStringList marks;
    marks.reserve(n);
    for (qsizetype i = 0; i < n; ++i)
        marks << QStringLiteral("?");
    return marks.join(QLatin1Char(','));
}

QString numbersText(const QList<qint64> &ids)
{
    QStringList out;
    for (qint64 id : ids)
        out << FormatRecordNumber(id);
    return out.join(QStringLiteral("、"));
}

QVariantList asBinds(const QList<qint64> &ids)
{
    QVariantList binds;
    binds.reserve(ids.size());
    for (qint64 id : ids)
        binds << id;
    return binds;
}

// The discs of the list as they are now, checked under the write lock: each must still
// occupy its slot with the title it was picked with, and be on the shelf. Returns the
// number of physical discs they hold, or the refusal naming the others.
Result<qint64> checkDiscs(Connection &c, const QList<PickedDisc> &discs)
{
    if (discs.isEmpty())
        return qint64(0);
    QList<qint64> ids;
    for (const PickedDisc &d : discs)
        ids << d.id;
    auto q = c.run(QStringLiteral("SELECT id, t13, s3, t7 FROM table1 WHERE id IN (%1)").arg(placeholders(ids.size())),
                   asBinds(ids));
    if (!q)
        return q.status();
    struct Now { QVariant title, out; qint64 count; };
    QHash<qint64, Now> now;
    while (q.value().next())
        now.insert(q.value().value(0).toLongLong(),
                   Now{q.value().value(1), q.value().value(2), q.value().value(3).toLongLong()});
    qint64 total = 0;
    QList<qint64> gone;
    for (const PickedDisc &d : discs) {
        const auto it = now.constFind(d.id);
        if (it == now.cend() || it->title.isNull() || !it->out.isNull() || it->title.toString() != d.title) {
            gone << d.id;
            continue;
        }
        total += it->count;
    }
    if (!gone.isEmpty())
        return Status::failure(QStringLiteral("以下碟片已不能出租（已删除或已租出）：%1\r\n请将其移岀预租列表后再提交！")
                                   .arg(numbersText(gone)));
    return total;
}

// The customer row the rental is written to: the one with this identity card, else the
// one loaded into the window, else a new row.
Result<qint64> customerRow(Connection &c, const QString &card, qint64 tagId)
{
    if (!card.isEmpty()) {
        auto found = c.scalar(QStringLiteral("SELECT id FROM table2 WHERE t2 = ? ORDER BY id LIMIT 1"), {card});
        if (!found)
            return found.status();
        if (!found->isNull())
            return found->toLongLong();
    }
    if (tagId > 0) {
        auto found = c.scalar(QStringLiteral("SELECT id FROM table2 WHERE id = ? AND t1 IS NOT NULL"), {tagId});
        if (!found)
            return found.status();
        if (found->isNull())
            return Status::failure(QStringLiteral("客户 %1 已不存在，无法提交！").arg(FormatRecordNumber(tagId)));
        return found->toLongLong();
    }
    if (Status s = AppendBlankCustomer(c); !s)
        return s;
    auto slot = c.scalar(QStringLiteral("SELECT id FROM table2 WHERE t1 IS NULL ORDER BY id DESC LIMIT 1"));
    if (!slot)
        return slot.status();
    return slot->toLongLong();
}

Status writeCustomer(Connection &c, qint64 id, const RentalRequest &r, qint64 physicalDiscs, LookupLists &lists)
{
    auto q = c.run(QStringLiteral("SELECT t3, COALESCE(t4, 0), t1 FROM table2 WHERE id = ?"), {id});
    if (!q)
        return q.status();
    if (!q.value().next())
        return Status::failure(QStringLiteral("客户 %1 已不存在，无法提交！").arg(FormatRecordNumber(id)));
    const bool holdsCard = !q.value().value(0).toString().trimmed().isEmpty();
    const bool holdsDeposit = q.value().value(1).toDouble() != 0;
    const QVariant oldName = q.value().value(2);
    q.value().finish();

    const QString today = toStoredDate(Clock::today());
    const QString name = r.name.trimmed(), card = r.card.trimmed(), type = r.cardType.trimmed(),
                  deposit = r.deposit.trimmed(), remark = r.remark.trimmed();
    QStringList sets;
    QVariantList binds;
    auto set = [&](const char *column, const QVariant &value) {
        sets << QStringLiteral("%1 = ?").arg(QLatin1String(column));
        binds << value;
    };
    set("t1", name);
    if (!card.isEmpty())
        set("t2", card);
    if (!holdsCard && !type.isEmpty()) {
        set("t3", type);
        set("s4", today);
        auto added = AddIfNew(c, lists, Lookup::CardType, type, Qt::CaseInsensitive);
        if (!added)
            return added.status();
    }
    if (!holdsDeposit && !deposit.isEmpty()) {
        // The amount is compared and added up later; only a whole number may be stored.
        if (const QString problem = DepositProblem(deposit); !problem.isEmpty())
            return Status::failure(problem);
        // A deposit of 0 is none: nothing is held, so there is no date it was taken.
        if (const qint64 amount = deposit.toLongLong(); amount > 0) {
            set("t4", amount);
            set("s5", today);
        }
    }
    if (!remark.isEmpty())
        set("t5", remark);
    set("s1", today);
    sets << QStringLiteral("s2 = COALESCE(s2, 0) + ?");
    binds << physicalDiscs;
    sets << QStringLiteral("s3 = NULL");
    binds << id;
    if (Status s = c.exec(QStringLiteral("UPDATE table2 SET %1 WHERE id = ?").arg(sets.join(QStringLiteral(", "))), binds); !s)
        return s;
    // A customer renting again under another name (found by identity card) takes the discs
    // already out along: a disc out names whom it is with.
    if (oldName.isNull() || oldName.toString() == name)
        return {};
    return c.exec(QStringLiteral("UPDATE table1 SET s3 = ? WHERE s3 IS NOT NULL AND id IN (SELECT discid FROM table4 "
                                 "WHERE khid = ? AND s2 IS NULL AND discname = table1.t13 AND s1 = table1.s1)"),
                  {name, id});
}

// A few statements for the whole list, not two per disc: on a server each statement is a
// round trip. Lists are cut into parts so no statement binds more values than an engine takes.
Status writeRentals(Connection &c, qint64 customerId, const QString &name, const QList<PickedDisc> &discs)
{
    const QString today = toStoredDate(Clock::today());
    constexpr qsizetype kPart = 100;
    for (qsizetype from = 0; from < discs.size(); from += kPart) {
        const QList<PickedDisc> part = discs.mid(from, kPart);
        QStringList rows;
        QVariantList records, ids{today, name};
        for (const PickedDisc &d : part) {
            rows << QStringLiteral("(?, ?, ?, ?)");
            records << d.id << d.title << customerId << today;
            ids << d.id;
        }
        if (Status s = c.exec(QStringLiteral("INSERT INTO table4 (discid, discname, khid, s1) VALUES %1")
                                  .arg(rows.join(QStringLiteral(", "))),
                              records);
            !s)
            return s;
        if (Status s = c.exec(QStringLiteral("UPDATE table1 SET s1 = ?, s3 = ?, s4 = COALESCE(s4, 0) + 1 WHERE id IN (%1)")
                                  .arg(placeholders(part.size())),
                              ids);
            !s)
            return s;
    }
    return {};
}

std::optional<QString> textOf(const QVariant &v)
{
    if (v.isNull())
        return std::nullopt;
    const QString t = v.toString().trimmed();
    if (t.isEmpty())
        return std::nullopt;
    return t;
}

} // namespace

QString RenterNameMissingMessage()
{
    return QStringLiteral("请填入租碟人姓名！");
}

Result<PreRentRead> ReadPreRentDiscs(const QList<qint64> &ids)
{
    PreRentRead out;
    if (ids.isEmpty())
        return out;
    Connection c;
    if (!c.ok())
        return c.status();
    auto q = c.run(QStringLiteral("SELECT %1, s3 FROM table1 WHERE id IN (%2)")
                       .arg(QLatin1String(kPreRentColumns), placeholders(ids.size())),
                   asBinds(ids));
    if (!q)
        return q.status();
    QHash<qint64, PreRentDisc> found;
    while (q.value().next()) {
        const QSqlQuery &r = q.value();
        if (r.value(1).isNull() || !r.value(9).isNull())
            continue; // a free slot, or out with a customer
        const PreRentDisc d = PreRentDiscOf(r);
        found.insert(d.id, d);
    }
    for (qint64 id : ids) {
        if (const auto it = found.constFind(id); it != found.cend())
            out.discs << *it;
        else
            out.notRentable << id;
    }
    return out;
}

Result<qint64> CommitRental(const RentalRequest &request)
{
    const QString name = request.name.trimmed();
    if (name.isEmpty())
        return Status::failure(RenterNameMissingMessage());
    QSet<qint64> seen;
    for (const PickedDisc &d : request.discs) {
        if (seen.contains(d.id))
            return Status::failure(QStringLiteral("碟片 %1 在预租列表中出现了两次！").arg(FormatRecordNumber(d.id)));
        seen.insert(d.id);
    }

    Connection c;
    if (!c.ok())
        return c.status();
    Transaction tx(c);
    if (!tx.ok())
        return tx.status();
    auto physical = checkDiscs(c, request.discs);
    if (!physical)
        return physical.status();
    auto customer = customerRow(c, request.card.trimmed(), request.tagCustomerId);
    if (!customer)
        return customer.status();
    LookupLists lists = Lookups();
    if (Status s = writeCustomer(c, *customer, request, *physical, lists); !s)
        return s;
    if (Status s = writeRentals(c, *customer, name, request.discs); !s)
        return s;
    if (Status s = tx.commit(); !s)
        return s;
    Lookups() = lists;
    return *customer;
}

Result<RentalCustomer> LoadRentalCustomer(qint64 id)
{
    Connection c;
    if (!c.ok())
        return c.status();
    auto q = c.run(QStringLiteral("SELECT t1, t2, t3, t4, t5 FROM table2 WHERE id = ? ORDER BY id DESC"), {id});
    if (!q)
        return q.status();
    QSqlQuery &r = q.value();
    if (!r.next() || r.value(0).isNull())
        return Status::failure(QStringLiteral("客户 %1 已不存在！").arg(FormatRecordNumber(id)));
    RentalCustomer out;
    out.id = id;
    out.name = textOf(r.value(0));
    out.card = textOf(r.value(1));
    out.cardType = textOf(r.value(2));
    const double deposit = r.value(3).toDouble();
    if (deposit > 0)
        out.deposit = deposit == double(qint64(deposit)) ? QString::number(qint64(deposit)) : QString::number(deposit);
    out.remark = textOf(r.value(4));
    return out;
}

PreRentDisc PreRentDiscOf(const QSqlQuery &r)
{
    PreRentDisc d;
    d.id = r.value(0).toLongLong();
    d.title = r.value(1).toString();
    d.shelf = r.value(2).toString();
    d.count = r.value(3).toLongLong();
    d.media = r.value(4).toString();
    d.starring = r.value(5).toString();
    d.director = r.value(6).toString();
    d.country = r.value(7).toString();
    d.category = r.value(8).toString();
    return d;
}

} // namespace db
