#include "crashoperations.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "data/safety/backups.h"
#include "data/safety/invariants.h"
#include "data/safety/shopcopy.h"
#include "data/shop/accounts.h"
#include "data/shop/catalogueimport.h"
#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/shop/demodata.h"
#include "data/shop/discrecords.h"
#include "data/shop/lookuplists.h"
#include "data/shop/quickreturns.h"
#include "data/store/programdir.h"
#include "data/shop/rentals.h"
#include "data/shop/returns.h"
#include "data/store/schema.h"
#include "support/filedigest.h"
#include "support/programfolder.h"

namespace crashtest {
namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// db.sqlite holding the demonstration shop: discs out and back, deleted ones, covers.
void shop(const QString &folder)
{
    const QString path = folder + QStringLiteral("/db.sqlite");
    if (db::Status s = db::CreateDatabaseFile(path); !s)
        qFatal("%s", qPrintable(s.error()));
    db::Connection c(path);
    db::DemoSize size;
    size.anchor = testsupport::Today();
    if (db::Status s = db::GenerateDemoData(c, size); !s)
        qFatal("%s", qPrintable(s.error()));
}

// The shop with ten more discs just rented to one customer, who had some out already.
void shopWithTenOut(const QString &folder)
{
    shop(folder);
    const QString before = db::ProgramDir::path();
    db::ProgramDir::setPath(folder);
    db::Clock::setFixed(QDateTime(testsupport::Today().addDays(-1), QTime(18, 0)));
    db::Status s = db::LoadLookupLists();
    if (s) {
        db::RentalRequest r;
        db::Connection c;
        auto who = c.scalar(QStringLiteral("SELECT khid FROM table4 WHERE s2 IS NULL ORDER BY id LIMIT 1"));
        auto name = c.scalar(QStringLiteral("SELECT t1 FROM table2 WHERE id = ?"), {who ? *who : QVariant()});
        auto discs = c.run(QStringLiteral("SELECT id, t13 FROM table1 WHERE t13 IS NOT NULL AND s3 IS NULL ORDER BY id DESC LIMIT 10"));
        if (!who || who->isNull() || !name || !discs)
            qFatal("the shop lacks a customer with discs out");
        r.tagCustomerId = who->toLongLong();
        r.name = name->toString();
        while (discs.value().next())
            r.discs << db::PickedDisc{discs.value().value(0).toLongLong(), discs.value().value(1).toString()};
        discs.value().finish();
        s = db::CommitRental(r).status();
    }
    db::Clock::setFixed(QDateTime());
    db::ProgramDir::setPath(before);
    if (!s)
        qFatal("%s", qPrintable(s.error()));
}

// db.sqlite in the first release's layout holding the demonstration shop: discs out and
// back, deleted ones, settled customers, deposits and card types, lookup values, an account.
void firstReleaseShop(const QString &folder)
{
    QTemporaryDir scratch;
    const QString now = scratch.filePath(QStringLiteral("now.sqlite"));
    shop(scratch.path());
    QFile::rename(scratch.filePath(QStringLiteral("db.sqlite")), now);
    const QString path = folder + QStringLiteral("/db.sqlite");
    db::Status s;
    {
        db::Connection c(path, db::Connection::Mode::Create);
        s = c.status();
        if (s)
            s = db::CreateSchema(c, 1);
        if (s)
            s = c.exec(QStringLiteral("ATTACH DATABASE ? AS now"), {now});
        // The first release's triggers count the discs as they come in.
        for (const char *table : {"table1", "table2", "table3", "table4", "table5", "table6", "table7", "table8"}) {
            if (s)
                s = c.exec(QStringLiteral("INSERT INTO main.%1 SELECT * FROM now.%1").arg(QLatin1String(table)));
        }
        if (s)
            s = c.exec(QStringLiteral("INSERT INTO table7 (t1, t2) VALUES ('店主', NULL)"));
        if (s)
            s = c.exec(QStringLiteral("DETACH DATABASE now"));
    }
    if (!s)
        qFatal("%s", qPrintable(s.error()));
}

qint64 firstId(const QString &sql);

// The open rental records of the customer who has the most discs out.
QList<qint64> openRecordsOfBusiestCustomer(qint64 *customer)
{
    *customer = firstId(QStringLiteral(
        "SELECT khid FROM table4 WHERE s2 IS NULL GROUP BY khid ORDER BY count(*) DESC, khid LIMIT 1"));
    QList<qint64> records;
    db::Connection c;
    auto q = c.run(QStringLiteral("SELECT id FROM table4 WHERE khid = ? AND s2 IS NULL ORDER BY id"), {*customer});
    while (q && q.value().next())
        records << q.value().value(0).toLongLong();
    if (records.size() < 10)
        qFatal("the customer has only %d discs out", int(records.size()));
    return records;
}

// Twelve open rental records of several customers whose discs still sit in their slots,
// in no customer's order.
QList<qint64> openRecordsOfSeveralCustomers()
{
    QList<qint64> records;
    db::Connection c;
    auto q = c.run(QStringLiteral("SELECT r.id FROM table4 r JOIN table1 d ON d.id = r.discid AND d.t13 = r.discname "
                                  "AND d.s1 = r.s1 AND d.s3 IS NOT NULL WHERE r.s2 IS NULL ORDER BY r.discid % 7, r.id LIMIT 12"));
    while (q && q.value().next())
        records << q.value().value(0).toLongLong();
    auto customers = c.scalar(QStringLiteral("SELECT count(DISTINCT khid) FROM table4 WHERE id IN (%1)")
                                  .arg(records.isEmpty() ? QStringLiteral("0") : [&] {
                                      QStringList ids;
                                      for (qint64 r : records)
                                          ids << QString::number(r);
                                      return ids.join(QLatin1Char(','));
                                  }()));
    if (records.size() < 12 || !customers || customers->toInt() < 2)
        qFatal("the shop lacks open records of several customers");
    return records;
}

// The shop with ten discs out, after a quick return of twelve records of several
// customers; the receipt the window would hold is kept beside the file.
void shopAfterQuickReturn(const QString &folder)
{
    shopWithTenOut(folder);
    const QString before = db::ProgramDir::path();
    db::ProgramDir::setPath(folder);
    db::Clock::setFixed(QDateTime(testsupport::Today(), QTime(10, 0)));
    auto done = db::QuickReturn(openRecordsOfSeveralCustomers());
    db::Clock::setFixed(QDateTime());
    db::ProgramDir::setPath(before);
    if (!done || done->returned.isEmpty())
        qFatal("the quick return to undo failed");
    QStringList lines{done->returnedOn};
    for (const db::ReturnedRecord &r : done->returned)
        lines << QStringLiteral("%1 %2 %3").arg(r.record).arg(r.disc).arg(r.customer);
    writeFile(folder + QStringLiteral("/receipt.txt"), lines.join(QLatin1Char('\n')).toUtf8());
}

db::QuickReturnReceipt keptReceipt()
{
    QFile f(db::ProgramDir::path() + QStringLiteral("/receipt.txt"));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("no receipt beside the file");
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    db::QuickReturnReceipt receipt;
    receipt.returnedOn = lines.value(0);
    for (const QString &line : lines.mid(1)) {
        const QStringList n = line.split(QLatin1Char(' '));
        receipt.returned << db::ReturnedRecord{n.value(0).toLongLong(), n.value(1).toLongLong(), n.value(2).toLongLong()};
    }
    return receipt;
}

QList<db::PickedDisc> rentableDiscs(int n)
{
    QList<db::PickedDisc> discs;
    db::Connection c;
    auto q = c.run(QStringLiteral("SELECT id, t13 FROM table1 WHERE t13 IS NOT NULL AND s3 IS NULL ORDER BY id LIMIT ?"), {n});
    while (q && q.value().next())
        discs << db::PickedDisc{q.value().value(0).toLongLong(), q.value().value(1).toString()};
    if (discs.size() != n)
        qFatal("the shop lacks %d rentable discs", n);
    return discs;
}

void shopWithCover(const QString &folder)
{
    shop(folder);
    writeFile(folder + QStringLiteral("/cover.bmp"), db::MakeCoverBmp(240, 320, 7));
}

qint64 firstId(const QString &sql)
{
    db::Connection c;
    auto id = c.scalar(sql);
    if (!id || id->isNull())
        qFatal("no row for %s", qPrintable(sql));
    return id->toLongLong();
}

// Every field filled, some lookup values new and some already listed.
db::DiscFields everyField(const QString &title)
{
    db::DiscFields f;
    f.title = title;
    f.shelf = QStringLiteral("Z9");
    f.count = QStringLiteral("2");
    f.media = QStringLiteral("DVD");
    f.starring = QStringLiteral("新演员");
    f.director = QStringLiteral("新导演");
    f.country = QStringLiteral("中国");
    f.category = QStringLiteral("纪录");
    f.remark = QStringLiteral("附海报");
    f.synopsis = QStringLiteral("一段简介，\n两行。");
    f.photoPath = db::ProgramDir::file(QStringLiteral("cover.bmp"));
    return f;
}

QList<CrashOperation> makeOperations()
{
    QList<CrashOperation> ops;
    ops << CrashOperation{
        QStringLiteral("disc add with cover"), {QStringLiteral("db.sqlite")}, Judge::AllOrNothing, shopWithCover,
        [] {
            db::LoadLookupLists();
            return std::function<db::Status()>([] { return db::AddDisc(everyField(QStringLiteral("新到的碟"))).status(); });
        }};
    ops << CrashOperation{
        QStringLiteral("catalogue import of 20 discs"), {QStringLiteral("db.sqlite")}, Judge::AllOrNothing,
        shopWithCover,
        [] {
            db::LoadLookupLists();
            QString text = QStringLiteral("碟名,所属柜位,主角,碟装,碟片简介,封面文件\r\n");
            for (int i = 0; i < 20; ++i)
                text += QStringLiteral("导入%1,新柜%2,新主角%3,1,\"两行\n简介\",%4\r\n")
                            .arg(i).arg(i % 3).arg(i % 4).arg(i % 5 ? QString() : QStringLiteral("cover.bmp"));
            QFile csv(db::ProgramDir::file(QStringLiteral("catalogue.csv")));
            if (!csv.open(QIODevice::WriteOnly) || csv.write(text.toUtf8()) < 0)
                qFatal("cannot write the catalogue");
            csv.close();
            auto file = db::ReadCatalogue(csv.fileName());
            if (!file || file->goodLines() != 20)
                qFatal("the catalogue does not read back");
            return std::function<db::Status()>(
                [f = file.value()] { return db::ImportCatalogue(f, db::NoProgress()).status(); });
        },
        40};
    ops << CrashOperation{
        QStringLiteral("disc correction"), {QStringLiteral("db.sqlite")}, Judge::AllOrNothing, shopWithCover,
        [] {
            db::LoadLookupLists();
            const qint64 id = firstId(QStringLiteral(
                "SELECT min(id) FROM table1 WHERE t13 IS NOT NULL AND s3 IS NULL AND img1 IS NOT NULL"));
            return std::function<db::Status()>([id] { return db::UpdateDisc(id, everyField(QStringLiteral("改过的碟"))); });
        }};
    ops << CrashOperation{
        QStringLiteral("delete of several discs"), {QStringLiteral("db.sqlite")}, Judge::AllOrNothing, shop,
        [] {
            // Discs out, discs back on the shelf with a history, and a free slot.
            QList<qint64> ids;
            db::Connection c;
            for (const char *sql : {
                     "SELECT id FROM table1 WHERE t13 IS NOT NULL AND s3 IS NOT NULL ORDER BY id LIMIT 3",
                     "SELECT id FROM table1 WHERE t13 IS NOT NULL AND s3 IS NULL AND s4 > 0 ORDER BY id LIMIT 3",
                     "SELECT id FROM table1 WHERE t13 IS NULL ORDER BY id LIMIT 1"}) {
                auto q = c.run(QString::fromUtf8(sql));
                while (q && q.value().next())
                    ids << q.value().value(0).toLongLong();
            }
            if (ids.size() != 7)
                qFatal("the shop lacks the discs to delete");
            return std::function<db::Status()>([ids] { return db::DeleteDiscs(ids); });
        }};
    ops << CrashOperation{
        QStringLiteral("first account in both files"),
        {QStringLiteral("db.sqlite"), QStringLiteral("demo.sqlite")},
        Judge::AllOrNothing,
        [](const QString &folder) {
            const QString before = db::ProgramDir::path();
            db::ProgramDir::setPath(folder);
            const db::Status s = db::CreateDatabaseFiles();
            db::ProgramDir::setPath(before);
            if (!s)
                qFatal("%s", qPrintable(s.error()));
        },
        [] { return std::function<db::Status()>([] { return db::CreateFirstAccount(QStringLiteral("店主"), QStringLiteral("开门")); }); }};
    ops << CrashOperation{
        QStringLiteral("first start: data files and account"),
        {QStringLiteral("db.sqlite"), QStringLiteral("demo.sqlite")},
        Judge::Resumable,
        [](const QString &) {},
        [] {
            // What start-up does on an empty folder, then the account dialog's write.
            return std::function<db::Status()>([]() -> db::Status {
                if (db::Status s = db::CreateDatabaseFiles(); !s)
                    return s;
                auto any = db::HasAnyUser();
                if (!any)
                    return any.status();
                return any.value() ? db::Status() : db::CreateFirstAccount(QStringLiteral("店主"), QString());
            });
        },
        60};
    ops << CrashOperation{
        QStringLiteral("upgrade of a first-release file"), {QStringLiteral("db.sqlite")}, Judge::AllOrNothing,
        [](const QString &folder) {
            testsupport::ProgramFolder old(testsupport::ProgramFolder::NoDemoFile);
            old.writeOldFile(1, {
                "INSERT INTO table1 (t13, t38, t7, s1, s3, s4) VALUES ('旧碟一', 'A1', 1, '2026-03-01', '老王', 1)",
                "INSERT INTO table1 (t13, t38, t7, s4, img1) VALUES ('旧碟二', 'A2', 2, 3, x'424d00')",
                "INSERT INTO table1 DEFAULT VALUES",
                "INSERT INTO table2 (t1, t2, t3, t4, s1, s2) VALUES ('老王', '110105198001010011', '金卡', 100, '2026-03-01', 4)",
                "INSERT INTO table4 (discid, discname, khid, s1) VALUES (1, '旧碟一', 1, '2026-03-01')",
                "INSERT INTO table4 (discid, discname, khid, s1, s2, s3) VALUES (2, '旧碟二', 1, '2026-01-01', '√', '2026-01-03')",
                "INSERT INTO table3 (s2, s3, s6) VALUES ('动作', '金卡', '中国')",
                "INSERT INTO table7 (t1, t2) VALUES ('店主', NULL)",
                "INSERT INTO table8 (loginer_id, loginer, login_time) VALUES (1, '店主', '2026-03-01 09:00:00')",
            });
            if (!QFile::copy(old.realFile(), folder + QStringLiteral("/db.sqlite")))
                qFatal("cannot copy the old file");
        },
        [] { return std::function<db::Status()>([] { return db::Connection().status(); }); }};
    ops << CrashOperation{
        QStringLiteral("rental of 10 discs to a new customer"), {QStringLiteral("db.sqlite")}, Judge::AllOrNothing, shop,
        [] {
            db::LoadLookupLists();
            db::RentalRequest r;
            r.name = QStringLiteral("新顾客");
            r.card = QStringLiteral("110105198502300017");
            r.cardType = QStringLiteral("学生卡"); // new to the list
            r.deposit = QStringLiteral("100");
            r.remark = QStringLiteral("第一次来");
            r.discs = rentableDiscs(10);
            return std::function<db::Status()>([r] { return db::CommitRental(r).status(); });
        }};
    ops << CrashOperation{
        QStringLiteral("rental of 10 discs to a returning customer"), {QStringLiteral("db.sqlite")},
        Judge::AllOrNothing, shop,
        [] {
            db::LoadLookupLists();
            // Found by identity card, under a new name: the discs already out go along.
            const qint64 id = firstId(QStringLiteral(
                "SELECT k.id FROM table2 k WHERE k.t2 IS NOT NULL AND k.t4 = 0 AND k.t3 IS NULL "
                "AND EXISTS (SELECT 1 FROM table4 r WHERE r.khid = k.id AND r.s2 IS NULL) ORDER BY k.id LIMIT 1"));
            db::Connection c;
            db::RentalRequest r;
            r.card = c.scalar(QStringLiteral("SELECT t2 FROM table2 WHERE id = ?"), {id})->toString();
            r.name = c.scalar(QStringLiteral("SELECT t1 FROM table2 WHERE id = ?"), {id})->toString() + QStringLiteral("（改名）");
            r.cardType = QStringLiteral("金卡");
            r.deposit = QStringLiteral("200");
            r.tagCustomerId = id;
            r.discs = rentableDiscs(10);
            return std::function<db::Status()>([r] { return db::CommitRental(r).status(); });
        }};
    ops << CrashOperation{
        QStringLiteral("return of some of a customer's discs"), {QStringLiteral("db.sqlite")}, Judge::AllOrNothing,
        shopWithTenOut,
        [] {
            qint64 customer = 0;
            QList<qint64> records = openRecordsOfBusiestCustomer(&customer);
            records.removeLast();
            return std::function<db::Status()>([customer, records] { return db::ReturnDiscs(customer, records).status(); });
        }};
    ops << CrashOperation{
        QStringLiteral("return of all of a customer's discs"), {QStringLiteral("db.sqlite")}, Judge::AllOrNothing,
        shopWithTenOut,
        [] {
            qint64 customer = 0;
            const QList<qint64> records = openRecordsOfBusiestCustomer(&customer);
            return std::function<db::Status()>([customer, records]() -> db::Status {
                auto done = db::ReturnDiscs(customer, records);
                if (done && !done->settled)
                    return db::Status::failure(QStringLiteral("the customer was not settled"));
                return done.status();
            });
        }};
    ops << CrashOperation{
        QStringLiteral("quick return of discs of several customers"), {QStringLiteral("db.sqlite")}, Judge::AllOrNothing,
        shopWithTenOut,
        [] {
            const QList<qint64> records = openRecordsOfSeveralCustomers();
            return std::function<db::Status()>([records]() -> db::Status {
                auto done = db::QuickReturn(records);
                if (done && done->returned.size() != records.size())
                    return db::Status::failure(QStringLiteral("not every record was returned"));
                return done.status();
            });
        }};
    ops << CrashOperation{
        QStringLiteral("undo of a quick return"), {QStringLiteral("db.sqlite")}, Judge::AllOrNothing, shopAfterQuickReturn,
        [] {
            const db::QuickReturnReceipt receipt = keptReceipt();
            return std::function<db::Status()>([receipt]() -> db::Status {
                auto undone = db::UndoQuickReturn(receipt);
                if (undone && *undone != receipt.returned.size())
                    return db::Status::failure(QStringLiteral("not every return was undone"));
                return undone.status();
            });
        }};
    ops << CrashOperation{
        QStringLiteral("deposit refund"), {QStringLiteral("db.sqlite")}, Judge::AllOrNothing, shop,
        [] {
            const qint64 id = firstId(QStringLiteral("SELECT min(id) FROM table2 WHERE t4 > 0"));
            return std::function<db::Status()>([id]() -> db::Status {
                auto done = db::RefundDeposit(id);
                if (done && !*done)
                    return db::Status::failure(QStringLiteral("nothing was refunded"));
                return done.status();
            });
        }};
    ops << CrashOperation{
        QStringLiteral("card invalidation"), {QStringLiteral("db.sqlite")}, Judge::AllOrNothing, shop,
        [] {
            const qint64 id = firstId(QStringLiteral("SELECT min(id) FROM table2 WHERE t3 IS NOT NULL"));
            return std::function<db::Status()>([id]() -> db::Status {
                auto done = db::InvalidateCard(id);
                if (done && !*done)
                    return db::Status::failure(QStringLiteral("no card was invalidated"));
                return done.status();
            });
        }};
    // Every layout step on a shop in use: the counters, then both search indexes built.
    ops << CrashOperation{
        QStringLiteral("upgrade of a first-release shop"), {QStringLiteral("db.sqlite")}, Judge::AllOrNothing,
        firstReleaseShop, [] { return std::function<db::Status()>([] { return db::Connection().status(); }); },
        100};
    // A copy beside the data and in a second place: whatever a kill leaves, every copy
    // listed is whole and holds the shop.
    auto copiesWhole = [](const QString &folder) -> QString {
        const QString data = folder + QStringLiteral("/db.sqlite");
        const QByteArray shop = testsupport::ContentDigest(data);
        QTemporaryDir scratch;
        int n = 0;
        for (const QString &dir : {QStringLiteral("/backup"), QStringLiteral("/second")}) {
            for (const QString &copy : db::BackupsOf(data, folder + dir)) {
                if (db::Status s = db::VerifyBackup(copy); !s)
                    return QStringLiteral("a listed copy is not whole: ") + s.error();
                const QString out = scratch.filePath(QString::number(++n));
                if (db::Status s = db::UnpackBackup(copy, out); !s || testsupport::ContentDigest(out) != shop)
                    return QStringLiteral("a listed copy does not hold the shop: ") + copy;
            }
        }
        return {};
    };
    ops << CrashOperation{
        QStringLiteral("backup in two places"), {QStringLiteral("db.sqlite")}, Judge::AllOrNothing, shop,
        [] {
            const QString second = db::ProgramDir::file(QStringLiteral("second"));
            QDir().mkpath(second);
            return std::function<db::Status()>([second] { return db::BackUpFile(db::RealDatabaseFile(), second).status(); });
        },
        0, copiesWhole};
    // The check of the exit's copies in a quiet moment rewrites their lists in place.
    ops << CrashOperation{
        QStringLiteral("check of the exit's copies"), {QStringLiteral("db.sqlite")}, Judge::AllOrNothing, shop,
        [] {
            const QString second = db::ProgramDir::file(QStringLiteral("second"));
            QDir().mkpath(second);
            db::BackUpDataFiles(second, db::NoProgress(), db::Check::Later);
            return std::function<db::Status()>([second] {
                const QStringList removed = db::CheckLaterCopies(second);
                return removed.isEmpty() ? db::Status() : db::Status::failure(removed.join(QLatin1Char('\n')));
            });
        },
        0, copiesWhole};
    // A shop copied into a new file appears under its name whole, or not at all.
    ops << CrashOperation{
        QStringLiteral("copy of a shop into a new file"), {QStringLiteral("db.sqlite")}, Judge::AllOrNothing, shopWithCover,
        [] {
            return std::function<db::Status()>([] {
                const db::ShopPlace from{db::RealDatabaseFile(), std::nullopt};
                const db::ShopPlace to{db::ProgramDir::file(QStringLiteral("copy.sqlite")), std::nullopt};
                return db::CopyShop(from, to, db::NoProgress()).status();
            });
        },
        100,
        [](const QString &folder) -> QString {
            const QString copy = folder + QStringLiteral("/copy.sqlite");
            if (!QFile::exists(copy))
                return {};
            const auto report = db::CheckFile(copy);
            if (!report || !report->clean())
                return QStringLiteral("the copy is not sound: ") + (report ? report->lines().join(QLatin1Char(' ')) : report.error());
            db::Connection from(folder + QStringLiteral("/db.sqlite")), to(copy);
            for (const char *table : {"table1", "table2", "table3", "table4", "table7", "table8"}) {
                const QString sql = QStringLiteral("SELECT count(*), total(id), sum(length(CAST(%1 AS BLOB))) FROM %2")
                                        .arg(QLatin1String(table) == QLatin1String("table1") ? "img1" : "id", QLatin1String(table));
                auto a = from.run(sql), b = to.run(sql);
                if (!a || !b || !a.value().next() || !b.value().next())
                    return QStringLiteral("cannot read %1").arg(QLatin1String(table));
                for (int i = 0; i < 3; ++i) {
                    if (a.value().value(i) != b.value().value(i))
                        return QStringLiteral("the copy's %1 differs from the shop's").arg(QLatin1String(table));
                }
            }
            return {};
        }};
    return ops;
}

} // namespace

const QList<CrashOperation> &Operations()
{
    static const QList<CrashOperation> ops = makeOperations();
    return ops;
}

const CrashOperation *FindOperation(const QString &name)
{
    for (const CrashOperation &op : Operations()) {
        if (op.name == name)
            return &op;
    }
    return nullptr;
}

} // namespace crashtest
