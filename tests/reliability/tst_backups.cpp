#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "app/startup.h"
#include "data/shop/accounts.h"
#include "data/safety/backups.h"
#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/safety/invariants.h"
#include "data/store/programdir.h"
#include "data/store/schema.h"
#include "support/filedigest.h"
#include "support/programfolder.h"
#include "ui/messages.h"

using testsupport::ContentDigest;
using testsupport::ProgramFolder;

namespace {

void at(const QDate &day, const QTime &time = QTime(10, 30))
{
    db::Clock::setFixed(QDateTime(day, time));
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// Scribbles over the first page of table1's rows: the file opens, its discs cannot be read.
void damageTable(const QString &path)
{
    int page = 0, root = 0;
    {
        db::Connection c(path, db::Connection::Mode::Inspect);
        page = c.scalar("PRAGMA page_size").value().toInt();
        root = c.scalar("SELECT rootpage FROM sqlite_master WHERE name = 'table1'").value().toInt();
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite) || !f.seek(qint64(root - 1) * page))
        qFatal("cannot damage %s", qPrintable(path));
    f.write(QByteArray(page, '\x33'));
}

QString names(const QStringList &paths)
{
    QStringList out;
    for (const QString &p : paths)
        out << QFileInfo(p).fileName();
    return out.join(QLatin1Char(' '));
}

} // namespace

class tst_backups : public QObject
{
    Q_OBJECT
private slots:
    void copyIsCompleteAndVerified();
    void damagedFileIsNotCopied_data();
    void damagedFileIsNotCopied();
    void tenCopiesKept();
    void onceADayAndOnlyWhenChanged_data();
    void onceADayAndOnlyWhenChanged();
    void programBacksUpAtExit_data();
    void programBacksUpAtExit();
    void restoreOffer_data();
    void restoreOffer();
    void journalGoesWithTheDamagedFile();
};

void tst_backups::copyIsCompleteAndVerified()
{
    ProgramFolder pf(ProgramFolder::GeneratedDemoFile);
    const QByteArray before = ContentDigest(pf.demoFile());
    // What a copy killed half-way left behind.
    QDir().mkpath(pf.path() + "/backup");
    writeBytes(pf.path() + "/backup/demo-20260314-183000.sqlite.part", "half a copy");
    writeBytes(pf.path() + "/backup/demo-20260314-183000.sqlite.part-journal", "its journal");
    const auto copy = db::BackUpFile(pf.demoFile());
    QVERIFY2(copy.ok(), qPrintable(copy.error()));
    QCOMPARE(copy.value(), pf.path() + QStringLiteral("/backup/demo-20260315-103000.sqlite"));
    QCOMPARE(ContentDigest(copy.value()), before);
    QCOMPARE(ContentDigest(pf.demoFile()), before);
    QCOMPARE(db::CheckFile(copy.value())->clean(), true);
    QCOMPARE(db::BackupTime(copy.value()), QDateTime(testsupport::Today(), QTime(10, 30)));
    // Nothing half-written stays behind; a second copy the same second gets a name of its own.
    const auto second = db::BackUpFile(pf.demoFile());
    QVERIFY(second.ok());
    QCOMPARE(names(db::BackupsOf(pf.demoFile())), QStringLiteral("demo-20260315-103000-2.sqlite demo-20260315-103000.sqlite"));
    const QStringList all = QDir(pf.path() + "/backup").entryList(QDir::Files);
    QCOMPARE(all.filter(QStringLiteral(".part")), QStringList{});
    QCOMPARE(all.size(), 3); // two copies and the note of what was copied
    QCOMPARE(pf.problems(true), QString());
}

void tst_backups::damagedFileIsNotCopied_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("rows unreadable") << "table";
    QTest::newRow("not a database") << "garbage";
}

void tst_backups::damagedFileIsNotCopied()
{
    QFETCH(QString, damage);
    ProgramFolder pf(ProgramFolder::GeneratedDemoFile);
    if (damage == "table")
        damageTable(pf.demoFile());
    else
        writeBytes(pf.demoFile(), QByteArray("not a shop at all\n").repeated(500));
    const QByteArray damaged = bytesOf(pf.demoFile());
    const auto copy = db::BackUpFile(pf.demoFile());
    QVERIFY(!copy.ok());
    QVERIFY2(copy.error().contains(QStringLiteral("损坏")), qPrintable(copy.error()));
    QCOMPARE(QDir(pf.path() + "/backup").entryList(QDir::Files), QStringList{});
    QCOMPARE(bytesOf(pf.demoFile()), damaged);
    // The exit goes on and says what happened.
    const QStringList log = db::BackUpDataFiles();
    QVERIFY2(log.filter(QStringLiteral("备份 demo.sqlite 失败")).size() == 1, qPrintable(log.join('\n')));
    QVERIFY(log.filter(QStringLiteral("已备份 db.sqlite")).size() == 1);
}

void tst_backups::tenCopiesKept()
{
    ProgramFolder pf;
    const QDate first(2026, 3, 1);
    for (int day = 0; day < 12; ++day) {
        at(first.addDays(day));
        pf.exec("INSERT INTO table1 (t13) VALUES (?)", {QStringLiteral("第%1天").arg(day + 1)});
        db::BackUpDataFiles();
    }
    const QStringList copies = db::BackupsOf(pf.realFile());
    QCOMPARE(copies.size(), db::kBackupsKept);
    QCOMPARE(db::BackupTime(copies.first()).date(), QDate(2026, 3, 12));
    QCOMPARE(db::BackupTime(copies.last()).date(), QDate(2026, 3, 3));
    // Each copy holds the shop as it was that day.
    for (const QString &copy : copies) {
        db::Connection c(copy, db::Connection::Mode::Inspect);
        QCOMPARE(c.scalar("SELECT count(*) FROM table1").value().toInt(), db::BackupTime(copy).date().day());
    }
    QCOMPARE(db::BackupsOf(pf.demoFile()).size(), 1); // the demonstration file never changed
    QCOMPARE(pf.problems(), QString());
}

void tst_backups::onceADayAndOnlyWhenChanged_data()
{
    QTest::addColumn<int>("daysLater");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<bool>("forgetLastCopy"); // the note of what was copied is lost
    QTest::addColumn<int>("copies");
    QTest::addColumn<QString>("logged");
    QTest::newRow("same day, changed") << 0 << true << false << 1 << "db.sqlite 今天已备份过。";
    QTest::newRow("next day, changed") << 1 << true << false << 2 << "已备份 db.sqlite";
    QTest::newRow("next day, unchanged") << 1 << false << false << 1 << "db.sqlite 自上次备份后没有变化。";
    QTest::newRow("a week later, unchanged") << 7 << false << false << 1 << "db.sqlite 自上次备份后没有变化。";
    QTest::newRow("next day, note lost") << 1 << false << true << 2 << "已备份 db.sqlite";
}

void tst_backups::onceADayAndOnlyWhenChanged()
{
    QFETCH(int, daysLater);
    QFETCH(bool, changed);
    QFETCH(bool, forgetLastCopy);
    QFETCH(int, copies);
    QFETCH(QString, logged);
    ProgramFolder pf;
    pf.exec("INSERT INTO table1 (t13) VALUES ('一')");
    db::BackUpDataFiles();
    QCOMPARE(db::BackupsOf(pf.realFile()).size(), 1);
    at(testsupport::Today().addDays(daysLater), QTime(18, 0));
    if (changed)
        pf.exec("INSERT INTO table1 (t13) VALUES ('二')");
    if (forgetLastCopy)
        QFile::remove(pf.path() + "/backup/db.sqlite.last");
    const QStringList log = db::BackUpDataFiles();
    QVERIFY2(log.filter(logged).size() == 1, qPrintable(log.join('\n')));
    QCOMPARE(db::BackupsOf(pf.realFile()).size(), copies);
}

void tst_backups::programBacksUpAtExit_data()
{
    QTest::addColumn<bool>("folderBlocked");
    QTest::newRow("copies written") << false;
    QTest::newRow("backup folder cannot be made") << true;
}

// The real program, ended as a logout ends it: the copies are written after the windows
// close, and a failure is logged without changing how the program ends.
void tst_backups::programBacksUpAtExit()
{
    QFETCH(bool, folderBlocked);
    QTemporaryDir dir;
    const QString exe = dir.filePath("lanlan");
    QVERIFY(QFile::copy(QStringLiteral(LANLAN_BINARY), exe));
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (const char *name : {"db.sqlite", "demo.sqlite"}) {
        QVERIFY(db::CreateDatabaseFile(dir.filePath(name)).ok());
        db::Connection c(dir.filePath(name));
        QVERIFY(c.exec("INSERT INTO table7 (t1, t2) VALUES ('boss', NULL)").ok());
    }
    if (folderBlocked)
        writeBytes(dir.filePath("backup"), "a file where the folder would go");

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.start(exe, {});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QDir(dir.filePath("tmp")).exists(), 30000);
    QTest::qWait(1000);
    program.terminate();
    QVERIFY(program.waitForFinished(30000));
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    if (folderBlocked) {
        QVERIFY2(err.contains(QStringLiteral("备份 db.sqlite 失败")) && err.contains(QStringLiteral("备份 demo.sqlite 失败")),
                 qPrintable(err));
        return;
    }
    QVERIFY2(err.contains(QStringLiteral("已备份 db.sqlite")), qPrintable(err));
    const QStringList copies = QDir(dir.filePath("backup")).entryList({"*.sqlite"});
    QCOMPARE(copies.size(), 2);
    QVERIFY(copies[0].startsWith("db-") && copies[1].startsWith("demo-"));
    QCOMPARE(ContentDigest(dir.filePath("backup/" + copies[0])), ContentDigest(dir.filePath("db.sqlite")));
}

void tst_backups::restoreOffer_data()
{
    QTest::addColumn<QString>("fileState");   // sound, cut, garbage, missing
    QTest::addColumn<QStringList>("backups"); // days of March: "14", or "14 bad"
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("outcome");         // startup::Restore
    QTest::addColumn<int>("restoredDay");     // the day of the copy now in place; 0 none

    using R = startup::Restore;
    QTest::newRow("cut short, restored") << "cut" << QStringList{"13", "14"} << true << int(R::Restored) << 14;
    QTest::newRow("not a database, restored") << "garbage" << QStringList{"14"} << true << int(R::Restored) << 14;
    QTest::newRow("newest copy bad, the one before taken")
        << "cut" << QStringList{"13", "14 bad"} << true << int(R::Restored) << 13;
    QTest::newRow("declined") << "cut" << QStringList{"14"} << false << int(R::Declined) << 0;
    QTest::newRow("no good copy") << "cut" << QStringList{"14 bad"} << true << int(R::NotNeeded) << 0;
    QTest::newRow("no copy at all") << "garbage" << QStringList{} << true << int(R::NotNeeded) << 0;
    QTest::newRow("missing, restored") << "missing" << QStringList{"14"} << true << int(R::Restored) << 14;
    QTest::newRow("missing, declined") << "missing" << QStringList{"14"} << false << int(R::Declined) << 0;
    QTest::newRow("sound file") << "sound" << QStringList{"14"} << true << int(R::NotNeeded) << 0;
}

void tst_backups::restoreOffer()
{
    QFETCH(QString, fileState);
    QFETCH(QStringList, backups);
    QFETCH(bool, answer);
    QFETCH(int, outcome);
    QFETCH(int, restoredDay);
    ProgramFolder pf(ProgramFolder::GeneratedDemoFile);
    pf.exec("INSERT INTO table7 (t1, t2) VALUES ('店主', NULL)");
    QMap<int, QByteArray> digestOfDay;
    for (const QString &b : backups) {
        const int day = b.section(' ', 0, 0).toInt();
        at(QDate(2026, 3, day));
        pf.exec("INSERT INTO table1 (t13) VALUES (?)", {QStringLiteral("%1日的碟").arg(day)});
        const auto copy = db::BackUpFile(pf.realFile());
        QVERIFY(copy.ok());
        digestOfDay.insert(day, ContentDigest(copy.value()));
        if (b.endsWith("bad"))
            damageTable(copy.value());
    }
    at(testsupport::Today());
    if (fileState == "cut")
        writeBytes(pf.realFile(), bytesOf(pf.realFile()).left(3000));
    else if (fileState == "garbage")
        writeBytes(pf.realFile(), QByteArray("账本\n").repeated(1000));
    else if (fileState == "missing")
        QFile::remove(pf.realFile());
    const QByteArray damaged = bytesOf(pf.realFile());

    msg::Recorder rec;
    rec.setNextAnswer(answer);
    const startup::Restore r = startup::offerRestore();
    QCOMPARE(int(r), outcome);
    const QString kept = pf.realFile() + ".damaged-20260315-103000";
    if (r == startup::Restore::NotNeeded) {
        QCOMPARE(rec.boxes().size(), 0);
        QCOMPARE(bytesOf(pf.realFile()), damaged);
        return;
    }
    QCOMPARE(rec.boxes().first().kind, msg::Recorder::Box::Confirm);
    QCOMPARE(rec.boxes().first().title, QStringLiteral("系统提醒您："));
    const QString question = rec.boxes().first().text;
    const int offeredDay = restoredDay ? restoredDay : backups.last().section(' ', 0, 0).toInt();
    QVERIFY2(question.contains(QStringLiteral("2026年3月%1日 10:30 的备份").arg(offeredDay)), qPrintable(question));
    QVERIFY2(question.contains(fileState == "missing" ? QStringLiteral("找不到数据文件") : QStringLiteral("已损坏")),
             qPrintable(question));
    if (r == startup::Restore::Declined) {
        QCOMPARE(rec.boxes().size(), 1);
        QCOMPARE(bytesOf(pf.realFile()), damaged);
        QVERIFY(!QFileInfo::exists(kept));
        return;
    }
    // The copy is in place, the damaged file kept beside it byte for byte.
    QCOMPARE(ContentDigest(pf.realFile()), digestOfDay.value(restoredDay));
    QCOMPARE(rec.boxes().size(), 2);
    if (fileState == "missing") {
        QVERIFY(!QFileInfo::exists(kept));
        QVERIFY(!rec.lastText().contains(QStringLiteral("保留为")));
    } else {
        QCOMPARE(bytesOf(kept), damaged);
        QVERIFY2(rec.lastText().contains(QStringLiteral("损坏的文件保留为：") + kept), qPrintable(rec.lastText()));
    }
    QCOMPARE(pf.problems(), QString());
    QVERIFY(db::HasAnyUser().value());
}

// A journal left beside the damaged file would be played into the copy put in its place.
void tst_backups::journalGoesWithTheDamagedFile()
{
    ProgramFolder pf;
    pf.exec("INSERT INTO table1 (t13) VALUES ('备份里的碟')");
    const auto copy = db::BackUpFile(pf.realFile());
    QVERIFY(copy.ok());
    writeBytes(pf.realFile(), QByteArray("账本\n").repeated(1000));
    const QByteArray journal = QByteArray("\xd9\xd5\x05\xf9\x20\xa1\x63\xd7", 8) + QByteArray(4096, '\x01');
    writeBytes(pf.realFile() + "-journal", journal);
    const auto kept = db::RestoreBackup(pf.realFile(), copy.value());
    QVERIFY2(kept.ok(), qPrintable(kept.error()));
    QCOMPARE(kept.value(), pf.realFile() + ".damaged-20260315-103000");
    QVERIFY(!QFileInfo::exists(pf.realFile() + "-journal"));
    QCOMPARE(bytesOf(kept.value() + "-journal"), journal);
    QCOMPARE(pf.scalar("SELECT t13 FROM table1").toString(), QStringLiteral("备份里的碟"));
    QCOMPARE(pf.problems(), QString());
}

QTEST_MAIN(tst_backups)
#include "tst_backups.moc"
