#include "data/shop/discrecords.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>

#include <limits>

#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/store/dates.h"
#include "data/shop/lookuplists.h"
#include "data/store/programdir.h"
#include "data/store/records.h"

namespace db {
namespace {

// One column written from one field; the order is the order of writing and reading.
struct Column
{
    const char *name;
    QString DiscFields::*field;
    std::optional<QString> LoadedDisc::*loaded;
    std::optional<Lookup> list;
};

const Column kColumns[] = {
    {"t7", &DiscFields::count, &LoadedDisc::count, std::nullopt},
    {"t10", &DiscFields::country, &LoadedDisc::country, Lookup::Country},
    {"t11", &DiscFields::director, &LoadedDisc::director, Lookup::Director},
    {"t13", &DiscFields::title, &LoadedDisc::title, std::nullopt},
    {"t14", &DiscFields::starring, &LoadedDisc::starring, Lookup::Starring},
    {"t18", &DiscFields::media, &LoadedDisc::media, Lookup::Media},
    {"t20", &DiscFields::category, &LoadedDisc::category, Lookup::Content},
    {"t34", &DiscFields::synopsis, &LoadedDisc::synopsis, std::nullopt},
    {"t38", &DiscFields::shelf, &LoadedDisc::shelf, Lookup::Shelf},
    {"t41", &DiscFields::remark, &LoadedDisc::remark, std::nullopt},
};

const QString kNone = QStringLiteral("none");

Status checkFields(const DiscFields &f)
{
    if (!IsCountText(f.count))
        return Status::failure(CountDigitsMessage());
    return {};
}

// The bytes of the chosen photo, read before any row is touched.
Result<QByteArray> readPhoto(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Status::failure(QStringLiteral("无法读取相片文件：%1").arg(QDir::toNativeSeparators(path)));
    if (file.size() > kMaxPhotoBytes)
        return Status::failure(QStringLiteral("相片文件太大（%1 MB），最大 %2 MB：%3")
                                   .arg(file.size() / (1024 * 1024))
                                   .arg(kMaxPhotoBytes / (1024 * 1024))
                                   .arg(QDir::toNativeSeparators(path)));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Status::failure(QStringLiteral("无法读取相片文件：%1").arg(QDir::toNativeSeparators(path)));
    return bytes;
}

// Statements prepared once and run again with new values: many discs written in one
// transaction share their statements.
class Statements
{
public:
    explicit Statements(Connection &c) : m_c(c) {}
    Result<QSqlQuery *> run(const QString &sql, const QVariantList &binds)
    {
        auto it = m_prepared.find(sql);
        if (it == m_prepared.end()) {
            QSqlQuery q = m_c.query();
            q.setForwardOnly(true);
            if (!q.prepare(sql))
                return m_c.failure(q.lastError());
            it = m_prepared.insert(sql, q);
        }
        for (qsizetype i = 0; i < binds.size(); ++i)
            it->bindValue(int(i), binds.at(i));
        if (Status s = m_c.execPrepared(*it); !s)
            return s;
        return &*it;
    }
    Status exec(const QString &sql, const QVariantList &binds = {})
    {
        auto q = run(sql, binds);
        if (!q)
            return q.status();
        (*q)->finish();
        return {};
    }

private:
    Connection &m_c;
    QHash<QString, QSqlQuery> m_prepared;
};

// Writes the non-empty fields, the photo and today's date into row id, and offers the
// lookup values to lists (a copy the caller keeps only after commit).
Status writeFields(Statements &statements, qint64 id, const DiscFields &f, LookupAdder &lookups)
{
    QStringList sets;
    QVariantList binds;
    for (const Column &col : kColumns) {
        const QString &text = f.*(col.field);
        const QString trimmed = text.trimmed();
        if (trimmed.isEmpty())
            continue; // a blank field never clears a column
        sets << QStringLiteral("%1 = ?").arg(QLatin1String(col.name));
        if (col.field == &DiscFields::count)
            binds << trimmed.toInt();
        else if (col.field == &DiscFields::synopsis)
            binds << text;
        else
            binds << trimmed;
        if (col.list) {
            auto added = lookups.add(*col.list, text);
            if (!added)
                return added.status();
        }
    }
    const QString &path = f.photoPath;
    if (path == kNone) {
        sets << QStringLiteral("img1 = NULL");
    } else if (!path.isEmpty()) {
        auto bytes = readPhoto(path);
        if (!bytes)
            return bytes.status();
        sets << QStringLiteral("img1 = ?");
        // A zero-length file is still a stored value, not NULL.
        QByteArray data = bytes.value();
        if (data.isNull())
            data = QByteArray("", 0);
        binds << data;
    }
    sets << QStringLiteral("s2 = ?");
    binds << toStoredDate(Clock::today());
    binds << id;
    return statements.exec(QStringLiteral("UPDATE table1 SET %1 WHERE id = ?").arg(sets.join(QStringLiteral(", "))),
                           binds);
}

// Writes the fields into row id and commits; the lookup lists change only with the commit.
Status writeAndCommit(Connection &c, Transaction &tx, qint64 id, const DiscFields &f)
{
    LookupLists lists = Lookups();
    Statements statements(c);
    LookupAdder lookups(c, lists);
    if (Status s = writeFields(statements, id, f, lookups); !s)
        return s;
    if (Status s = tx.commit(); !s)
        return s;
    Lookups() = lists;
    return {};
}

// Slots are reused, so the rental records of this disc are those with its title too; the
// newest one tells whether the disc is out.
Result<bool> rentedOut(Connection &c, qint64 id, const QString &title)
{
    auto state = c.run(QStringLiteral("SELECT s2 FROM table4 WHERE (discid = ?) AND (discname = ?) "
                                      "ORDER BY id DESC LIMIT 1"),
                       {id, title});
    if (!state)
        return state.status();
    return state.value().next() && state.value().value(0).isNull();
}

} // namespace

QString CountDigitsMessage()
{
    return QStringLiteral("年龄请填入数字！\r\n不填请保持空格。");
}

bool IsCountText(const QString &text)
{
    const QString t = text.trimmed();
    for (QChar ch : t) {
        if (ch.unicode() < '0' || ch.unicode() > '9')
            return false;
    }
    // The column holds a small whole number; longer digit runs cannot be a count of discs.
    return t.size() <= 4;
}

struct DiscAdder::State
{
    State(Connection &c, LookupLists &lists) : c(c), statements(c), lookups(c, lists) {}
    Connection &c;
    Statements statements;
    LookupAdder lookups;
    // The slot given last. Slots are given lowest first and nothing frees one below it while
    // the writer holds the shop, so the next is sought above it: on a server a filled slot's
    // old row stays in the free-slot index until the transaction ends, and seeking from the
    // start each time walked all of them.
    qint64 lastGiven = std::numeric_limits<qint64>::min();
};

DiscAdder::DiscAdder(Connection &c, LookupLists &lists) : m(std::make_unique<State>(c, lists)) {}

DiscAdder::~DiscAdder() = default;

Result<qint64> DiscAdder::add(const DiscFields &fields)
{
    if (fields.title.trimmed().isEmpty())
        return Status::failure(QStringLiteral("碟片名称不能为空！"));
    if (Status s = checkFields(fields); !s)
        return s;
    // AppendBlankDisc's statement, prepared once here.
    if (Status s = m->statements.exec(QStringLiteral("INSERT INTO table1 DEFAULT VALUES")); !s)
        return s;
    // There is always a free slot: the row just appended at the latest.
    auto slot = m->statements.run(QStringLiteral("SELECT id FROM table1 WHERE t13 IS NULL AND id > ? ORDER BY id LIMIT 1"),
                                  {m->lastGiven});
    if (!slot)
        return slot.status();
    QSqlQuery &q = **slot;
    if (!q.next())
        return m->c.failure(q.lastError());
    const qint64 id = q.value(0).toLongLong();
    q.finish();
    if (Status s = writeFields(m->statements, id, fields, m->lookups); !s)
        return s;
    m->lastGiven = id;
    return id;
}

Result<qint64> AddDisc(Connection &c, const DiscFields &fields, LookupLists &lists)
{
    return DiscAdder(c, lists).add(fields);
}

Result<qint64> AddDisc(const DiscFields &fields)
{
    if (fields.title.trimmed().isEmpty())
        return Status::failure(QStringLiteral("碟片名称不能为空！"));
    if (Status s = checkFields(fields); !s)
        return s;
    Connection c;
    if (!c.ok())
        return c.status();
    Transaction tx(c);
    if (!tx.ok())
        return tx.status();
    LookupLists lists = Lookups();
    auto id = AddDisc(c, fields, lists);
    if (!id)
        return id;
    if (Status s = tx.commit(); !s)
        return s;
    Lookups() = lists;
    return id;
}

Status UpdateDisc(qint64 id, const DiscFields &fields)
{
    if (Status s = checkFields(fields); !s)
        return s;
    Connection c;
    if (!c.ok())
        return c.status();
    Transaction tx(c);
    if (!tx.ok())
        return tx.status();
    auto q = c.run(QStringLiteral("SELECT t13 FROM table1 WHERE id = ?"), {id});
    if (!q)
        return q.status();
    // Writing into a slot freed meanwhile would bring a deleted disc back half-filled.
    if (!q.value().next() || q.value().value(0).isNull())
        return Status::failure(QStringLiteral("此碟片已被删除，无法更改。"));
    const QString title = q.value().value(0).toString().trimmed();
    q.value().finish();
    // A window opened before the disc went out must not rename it: its open rental record
    // is found by the title it was rented under.
    auto out = rentedOut(c, id, title);
    if (!out)
        return out.status();
    if (out.value())
        return Status::failure(QStringLiteral("此碟已出租，暂时不能更改信息。请在归还后再更改信息。"));
    return writeAndCommit(c, tx, id, fields);
}

Result<LoadedDisc> LoadDisc(qint64 id)
{
    Connection c;
    if (!c.ok())
        return c.status();
    auto q = c.run(QStringLiteral("SELECT t7, t10, t11, t13, t14, t18, t20, t34, t38, t41, img1 "
                                  "FROM table1 WHERE id = ? ORDER BY id DESC"),
                   {id});
    if (!q)
        return q.status();
    QSqlQuery &row = q.value();
    if (!row.next() || row.value(3).isNull())
        return Status::failure(QStringLiteral("此碟片已被删除，无法打开。"));
    LoadedDisc d;
    d.id = id;
    const QString title = row.value(3).toString().trimmed();
    int i = 0;
    for (const Column &col : kColumns) {
        const QVariant v = row.value(i++);
        if (v.isNull())
            continue;
        const QString text = v.toString();
        if (text.isEmpty())
            continue;
        if (col.field == &DiscFields::synopsis)
            d.*(col.loaded) = text;
        else if (col.field == &DiscFields::count)
            d.*(col.loaded) = QString::number(v.toLongLong());
        else
            d.*(col.loaded) = text.trimmed();
    }
    d.photo = row.value(10).toByteArray();
    row.finish();
    if (!d.photo.isEmpty()) {
        auto file = WriteScratchPhoto(d.photo);
        if (file)
            d.photoFile = file.value();
        else
            d.photoProblem = file.error();
    }
    auto out = rentedOut(c, id, title);
    if (!out)
        return out.status();
    d.rentedOut = out.value();
    return d;
}

Status DeleteDiscs(const QList<qint64> &ids)
{
    if (ids.isEmpty())
        return {};
    Connection c;
    if (!c.ok())
        return c.status();
    Transaction tx(c);
    if (!tx.ok())
        return tx.status();
    const QString today = toStoredDate(Clock::today());
    for (qint64 id : ids) {
        auto title = c.scalar(QStringLiteral("SELECT t13 FROM table1 WHERE id = ?"), {id});
        if (!title)
            return title.status();
        if (Status s = c.exec(QStringLiteral("UPDATE table1 SET t13 = NULL, t38 = NULL, t7 = NULL, t18 = NULL, "
                                             "t14 = NULL, t11 = NULL, t10 = NULL, t20 = NULL, t41 = NULL, "
                                             "t34 = NULL, img1 = NULL, c1 = NULL, c2 = NULL, s1 = NULL, "
                                             "s2 = NULL, s3 = NULL, s4 = 0 WHERE id = ?"),
                              {id});
            !s)
            return s;
        // A slot that held no disc has no rental records of its own to mark.
        if (title->isNull())
            continue;
        if (Status s = c.exec(QStringLiteral("UPDATE table4 SET s2 = '已删除', s4 = ? "
                                             "WHERE (discid = ?) AND discname = ?"),
                              {today, id, title->toString()});
            !s)
            return s;
    }
    return tx.commit();
}

Result<QString> WriteScratchPhoto(const QByteArray &bytes)
{
    const QString dir = ProgramDir::scratchDir();
    QDir().mkpath(dir);
    const QTime now = Clock::now().time();
    // Hour, minute and second keep the names readable; the random part keeps them apart.
    QTemporaryFile file(QStringLiteral("%1/%2%3%4-XXXXXXtmp.jpg")
                            .arg(dir)
                            .arg(now.hour())
                            .arg(now.minute())
                            .arg(now.second()));
    file.setAutoRemove(false);
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush()) {
        const QString name = file.fileName();
        file.close();
        if (!name.isEmpty())
            QFile::remove(name);
        return Status::failure(QStringLiteral("无法写出封面图片：%1")
                                   .arg(QDir::toNativeSeparators(dir)));
    }
    const QString name = file.fileName();
    file.close();
    return name;
}

} // namespace db
