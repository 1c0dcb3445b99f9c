#include "crashoperations.h"

#include <QDir>
#include <QFile>

#include "data/accounts.h"
#include "data/connection.h"
#include "data/demodata.h"
#include "data/discrecords.h"
#include "data/lookuplists.h"
#include "data/programdir.h"
#include "data/schema.h"
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
        }};
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
