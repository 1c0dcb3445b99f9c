#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include "app/backupactions.h"
#include "app/backupidle.h"
#include "app/startup.h"
#include "data/store/location.h"
#include "data/shop/accounts.h"
#include "data/safety/backupjob.h"
#include "data/safety/backups.h"
#include "data/safety/pagecopies.h"
#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/safety/invariants.h"
#include "data/store/programdir.h"
#include "data/store/schema.h"
#include "support/filedigest.h"
#include "support/programfolder.h"
#include "filefaults.h"
#include "ui/messages.h"

#include <QThread>

#include <zstd.h>

#include <csignal>
#include <functional>
#include <sys/resource.h>

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

// The data file a copy holds, unpacked into a folder of its own for reading.
QString unpacked(const QString &copy)
{
    static QTemporaryDir dir;
    static int n = 0;
    const QString out = dir.filePath(QStringLiteral("%1-%2").arg(++n).arg(QFileInfo(copy).fileName()));
    if (db::Status s = db::UnpackBackup(copy, out); !s)
        qFatal("cannot unpack %s: %s", qPrintable(copy), qPrintable(s.error()));
    return out;
}

// Scribbles over the middle of a compressed copy.
void damageCopy(const QString &copy)
{
    QFile f(copy);
    if (!f.open(QIODevice::ReadWrite) || !f.seek(f.size() / 2))
        qFatal("cannot damage %s", qPrintable(copy));
    f.write(QByteArray(16, '\x33'));
}

// The bytes the files of a folder take.
qint64 roomOf(const QString &dir)
{
    qint64 n = 0;
    for (const QFileInfo &f : QDir(dir).entryInfoList(QDir::Files))
        n += f.size();
    return n;
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
    void rotationOverAYear();
    void secondPlaceCopyRestores();
    void backupFolderFaults_data();
    void backupFolderFaults();
    void onceADayAndOnlyWhenChanged_data();
    void onceADayAndOnlyWhenChanged();
    void programBacksUpAtExit_data();
    void programBacksUpAtExit();
    void restoreOffer_data();
    void restoreOffer();
    void journalGoesWithTheDamagedFile();
    void writeDuringCopy_data();
    void writeDuringCopy();
    void exitCopyCheckedLater_data();
    void exitCopyCheckedLater();
    void exitOutOfTime();
    void earlierReleaseCopiesRestore_data();
    void earlierReleaseCopiesRestore();
    void serverShopIsLeftToPgDump();
    void checksAtOnce();
};

void tst_backups::copyIsCompleteAndVerified()
{
    ProgramFolder pf(ProgramFolder::GeneratedDemoFile);
    const QByteArray before = ContentDigest(pf.demoFile());
    // What a copy killed half-way left behind.
    QDir().mkpath(pf.path() + "/backup");
    writeBytes(pf.path() + "/backup/demo-20260314-183000.sqlite.zst.part", "half a copy");
    writeBytes(pf.path() + "/backup/demo-20260314-183000.sqlite.part-journal", "its journal");
    const auto made = db::BackUpFile(pf.demoFile());
    QVERIFY2(made.ok(), qPrintable(made.error()));
    const QString copy = made->copy;
    QCOMPARE(copy, pf.path() + QStringLiteral("/backup/demo-20260315-103000.sqlite.pages"));
    QVERIFY(db::VerifyBackup(copy).ok());
    QCOMPARE(ContentDigest(unpacked(copy)), before);
    QCOMPARE(ContentDigest(pf.demoFile()), before);
    QCOMPARE(db::CheckFile(unpacked(copy))->clean(), true);
    QCOMPARE(db::BackupTime(copy), QDateTime(testsupport::Today(), QTime(10, 30)));
    // The copy with its chunks takes less room than the file it holds.
    QVERIFY(QFileInfo(copy).size() + roomOf(pf.path() + "/backup/demo.pages") < QFileInfo(pf.demoFile()).size());
    // Nothing half-written stays behind; a second copy the same second gets a name of its
    // own, and the rotation keeps the newest of the day.
    const auto second = db::BackUpFile(pf.demoFile());
    QVERIFY(second.ok());
    QCOMPARE(second->copy, pf.path() + QStringLiteral("/backup/demo-20260315-103000-2.sqlite.pages"));
    QCOMPARE(names(db::BackupsOf(pf.demoFile())), QStringLiteral("demo-20260315-103000-2.sqlite.pages"));
    const QStringList all = QDir(pf.path() + "/backup").entryList(QDir::Files);
    QCOMPARE(all.filter(QStringLiteral(".part")), QStringList{});
    QCOMPARE(all.size(), 2); // the copy and the note of what was copied
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

// What the rotation promises on the evening of last, counted back to first: the last 7
// days, the newest copy of each of the last 4 weeks and of the last 12 months.
QSet<QDate> promised(const QDate &first, const QDate &last)
{
    QSet<QDate> days;
    for (int i = 0; i < 7; ++i)
        days << last.addDays(-i);
    const QDate sunday = last.addDays(7 - last.dayOfWeek());
    for (int k = 0; k < 4; ++k)
        days << std::min(last, sunday.addDays(-7 * k));
    const QDate month(last.year(), last.month(), 1);
    for (int m = 0; m < 12; ++m)
        days << std::min(last, month.addMonths(1 - m).addDays(-1));
    QSet<QDate> out;
    for (const QDate &d : std::as_const(days))
        if (d >= first)
            out << d;
    return out;
}

QSet<QDate> daysOf(const QStringList &copies)
{
    QSet<QDate> out;
    for (const QString &c : copies)
        out << db::BackupTime(c).date();
    return out;
}

// A year of days, each with a change and a copy at the evening's exit, in both places.
void tst_backups::rotationOverAYear()
{
    ProgramFolder pf;
    QTemporaryDir second;
    const QDate first(2026, 1, 1);
    for (int day = 0; day < 365; ++day) {
        const QDate today = first.addDays(day);
        at(today, QTime(21, 0));
        pf.exec("INSERT INTO table1 (t13) VALUES (?)", {QStringLiteral("第%1天").arg(day + 1)});
        db::BackUpDataFiles(second.path());
        const QSet<QDate> want = promised(first, today);
        QCOMPARE(daysOf(db::BackupsOf(pf.realFile())), want);
        QCOMPARE(daysOf(db::BackupsOf(pf.realFile(), second.path())), want);
        QVERIFY(db::BackupsOf(pf.realFile()).size() <= db::kDailyKept + db::kWeeklyKept + db::kMonthlyKept);
    }
    // Each copy holds the shop as it was that day.
    for (const QString &copy : db::BackupsOf(pf.realFile(), second.path())) {
        db::Connection c(unpacked(copy), db::Connection::Mode::Inspect);
        QCOMPARE(c.scalar("SELECT count(*) FROM table1").value().toInt(), first.daysTo(db::BackupTime(copy).date()) + 1);
    }
    QCOMPARE(db::BackupsOf(pf.demoFile()).size(), 1); // the demonstration file never changed
    QCOMPARE(QDir(second.path()).entryList(QDir::Files).filter(".part"), QStringList{});
    // Each store holds exactly the chunks its kept copies use.
    for (const QString &dir : {pf.path() + "/backup", second.path()}) {
        QSet<QString> used;
        for (const QString &copy : db::BackupsOf(pf.realFile(), dir)) {
            for (const QByteArray &h : db::pagecopies::ReadManifest(copy)->chunks)
                used << QString::fromLatin1(h.toHex()) + ".zst";
        }
        const QStringList stored = QDir(db::pagecopies::StoreOf(dir, "db")).entryList(QDir::Files);
        QCOMPARE(QSet<QString>(stored.begin(), stored.end()), used);
    }
    QCOMPARE(pf.problems(), QString());
}

void tst_backups::onceADayAndOnlyWhenChanged_data()
{
    QTest::addColumn<int>("daysLater");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<bool>("forgetLastCopy"); // the note of what was copied is lost
    QTest::addColumn<int>("copies");
    QTest::addColumn<QString>("logged");
    // A copy costs little now: the day's copy is taken again, the rotation keeps the newest.
    QTest::newRow("same day, changed") << 0 << true << false << 1 << "已备份 db.sqlite";
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
    QTest::addColumn<bool>("secondMissing");
    QTest::newRow("copies written") << false << false;
    QTest::newRow("backup folder cannot be made") << true << false;
    // Told in a box shown while the copy beside the data is taken, gone when it is done.
    QTest::newRow("second place not plugged in") << false << true;
}

// The real program, ended as a logout ends it: the copies are written after the windows
// close, and a failure is logged without changing how the program ends.
void tst_backups::programBacksUpAtExit()
{
    QFETCH(bool, folderBlocked);
    QFETCH(bool, secondMissing);
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
    if (secondMissing) {
        // The program's own settings, in a folder of this test's.
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        QVERIFY(QDir().mkpath(dir.filePath("config/Lanlan")));
        writeBytes(dir.filePath("config/Lanlan/Lanlan.conf"),
                   "[backup]\nlocation=" + dir.filePath("stick").toUtf8() + "\n");
    }
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
    if (secondMissing)
        QVERIFY2(err.contains(QStringLiteral("找不到备份位置")), qPrintable(err));
    const QStringList copies = QDir(dir.filePath("backup")).entryList({"*.sqlite.pages"});
    QCOMPARE(copies.size(), 2);
    QVERIFY(copies[0].startsWith("db-") && copies[1].startsWith("demo-"));
    QCOMPARE(ContentDigest(unpacked(dir.filePath("backup/" + copies[0]))), ContentDigest(dir.filePath("db.sqlite")));
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
        const auto made = db::BackUpFile(pf.realFile());
        QVERIFY(made.ok());
        digestOfDay.insert(day, ContentDigest(unpacked(made->copy)));
        if (b.endsWith("bad"))
            damageCopy(made->copy);
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
    const auto made = db::BackUpFile(pf.realFile());
    QVERIFY(made.ok());
    writeBytes(pf.realFile(), QByteArray("账本\n").repeated(1000));
    const QByteArray journal = QByteArray("\xd9\xd5\x05\xf9\x20\xa1\x63\xd7", 8) + QByteArray(4096, '\x01');
    writeBytes(pf.realFile() + "-journal", journal);
    const auto kept = db::RestoreBackup(pf.realFile(), made->copy);
    QVERIFY2(kept.ok(), qPrintable(kept.error()));
    QCOMPARE(kept.value(), pf.realFile() + ".damaged-20260315-103000");
    QVERIFY(!QFileInfo::exists(pf.realFile() + "-journal"));
    QCOMPARE(bytesOf(kept.value() + "-journal"), journal);
    QCOMPARE(pf.scalar("SELECT t13 FROM table1").toString(), QStringLiteral("备份里的碟"));
    QCOMPARE(pf.problems(), QString());
}

// The data disc lost: the copy in the second place alone brings the shop back.
void tst_backups::secondPlaceCopyRestores()
{
    ProgramFolder pf;
    QTemporaryDir second;
    pf.exec("INSERT INTO table1 (t13) VALUES ('第二处的碟')");
    const QByteArray before = ContentDigest(pf.realFile());
    const auto made = db::BackUpFile(pf.realFile(), second.path());
    QVERIFY2(made.ok(), qPrintable(made.error()));
    QCOMPARE(made->secondError, QString());
    QCOMPARE(made->secondCopy, second.path() + "/db-20260315-103000.sqlite.pages");
    QCOMPARE(bytesOf(made->secondCopy), bytesOf(made->copy));
    QCOMPARE(db::BackupsOf(pf.realFile(), second.path()), QStringList{made->secondCopy});
    QVERIFY(QDir(pf.path() + "/backup").removeRecursively());
    QVERIFY(QFile::remove(pf.realFile()));
    const auto kept = db::RestoreBackup(pf.realFile(), made->secondCopy);
    QVERIFY2(kept.ok(), qPrintable(kept.error()));
    QCOMPARE(kept.value(), QString());
    QCOMPARE(ContentDigest(pf.realFile()), before);
    QCOMPARE(pf.problems(), QString());
}

namespace {

// Calls back at every step, or once, of the stage whose words start so.
class StageHook : public db::Progress
{
public:
    StageHook(const QString &stage, std::function<void()> hook, bool everyStep = false)
        : m_stage(stage), m_hook(std::move(hook)), m_every(everyStep) {}
    void stage(const QString &what, qint64) override { m_in = what.startsWith(m_stage); }
    bool advance(qint64) override
    {
        if (m_in && m_hook) {
            if (m_every)
                m_hook();
            else
                std::exchange(m_hook, nullptr)();
        }
        return true;
    }

private:
    QString m_stage;
    std::function<void()> m_hook;
    bool m_every = false;
    bool m_in = false;
};

// A shop of several read steps (over 4 MB), so a write can fall between two of them.
void growShop(const ProgramFolder &pf)
{
    pf.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2500) "
            "INSERT INTO table1 (t13) SELECT hex(randomblob(1200)) FROM n");
}

// Writes beyond this many bytes fail as on a full disk (the signal is ignored: the write
// returns an error instead).
void limitFileSize(rlim_t bytes)
{
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit r{};
    ::getrlimit(RLIMIT_FSIZE, &r);
    r.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &r);
}

} // namespace

void tst_backups::backupFolderFaults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");     // what the report says
    QTest::addColumn<bool>("secondFails");   // only the second place has no copy
    QTest::newRow("full") << "full" << "无法写入备份文件" << false;
    QTest::newRow("second place read-only") << "read-only" << "无法写入备份文件" << true;
    QTest::newRow("second place removed mid-copy") << "removed" << "备份文件" << true;
    QTest::newRow("second place not plugged in") << "missing" << "找不到备份位置" << true;
    QTest::newRow("slow share") << "slow" << "" << false;
}

// The fault is reported, the data file untouched, nothing cut short listed, and the next
// copy once the fault is gone works.
void tst_backups::backupFolderFaults()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    QFETCH(bool, secondFails);
    ProgramFolder pf(ProgramFolder::GeneratedDemoFile);
    QTemporaryDir place;
    const QString second = place.filePath("stick");
    QVERIFY(QDir().mkpath(second));
    const QByteArray data = bytesOf(pf.demoFile());
    std::function<void()> hook;
    if (fault == "read-only")
        QFile::setPermissions(second, QFile::ReadOwner | QFile::ExeOwner);
    else if (fault == "missing")
        QVERIFY(QDir().rename(second, second + "-away"));
    else if (fault == "removed")
        hook = [&] { QVERIFY(QDir(second).removeRecursively()); };
    else if (fault == "slow")
        hook = [] { QThread::msleep(300); };
    StageHook progress(fault == "slow" ? QStringLiteral("正在复制") : QStringLiteral("正在复制到备份位置"), hook);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    if (fault == "full")
        limitFileSize(4096);
    const auto made = db::BackUpFile(pf.demoFile(), second, progress);
    ::setrlimit(RLIMIT_FSIZE, &old);
    QCOMPARE(bytesOf(pf.demoFile()), data);
    if (reason.isEmpty()) {
        QVERIFY2(made.ok() && !made->secondCopy.isEmpty(), qPrintable(made.ok() ? made->secondError : made.error()));
    } else if (secondFails) {
        QVERIFY2(made.ok(), qPrintable(made.error()));
        QVERIFY2(made->secondError.contains(reason), qPrintable(made->secondError));
        QCOMPARE(made->secondCopy, QString());
        QCOMPARE(db::BackupsOf(pf.demoFile()).size(), 1);
    } else {
        QVERIFY(!made.ok());
        QVERIFY2(made.error().contains(reason), qPrintable(made.error()));
        QCOMPARE(db::BackupsOf(pf.demoFile()), QStringList{});
    }
    QCOMPARE(QDir(second).entryList(QDir::Files).filter(".part"), QStringList{});
    QCOMPARE(QDir(pf.path() + "/backup").entryList(QDir::Files).filter(".part"), QStringList{});
    QCOMPARE(db::BackupsOf(pf.demoFile(), second).size(), reason.isEmpty() ? 1 : 0);

    // The fault gone, the next copy works in both places.
    if (fault == "missing")
        QVERIFY(QDir().rename(second + "-away", second));
    QDir().mkpath(second);
    QFile::setPermissions(second, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    at(testsupport::Today(), QTime(11, 0));
    const auto next = db::BackUpFile(pf.demoFile(), second);
    QVERIFY2(next.ok() && next->secondError.isEmpty(), qPrintable(next.ok() ? next->secondError : next.error()));
    QCOMPARE(ContentDigest(unpacked(next->secondCopy)), ContentDigest(pf.demoFile()));
    QCOMPARE(pf.problems(true), QString());
}

void tst_backups::writeDuringCopy_data()
{
    QTest::addColumn<bool>("everyStep");
    QTest::newRow("one write: read again, the copy holds it") << false;
    QTest::newRow("a write at every step: given up, nothing offered") << true;
}

// The file is read a few chunks at a time; a write in between is seen and the reading
// starts again, so a copy never mixes chunks from before and after a write.
void tst_backups::writeDuringCopy()
{
    QFETCH(bool, everyStep);
    ProgramFolder pf;
    growShop(pf);
    int writes = 0;
    StageHook progress(QStringLiteral("正在备份"), [&] {
        pf.exec("INSERT INTO table1 (t13) VALUES (?)", {QStringLiteral("备份时录入%1").arg(++writes)});
    }, everyStep);
    const auto made = db::BackUpFile(pf.realFile(), QString(), progress);
    if (everyStep) {
        QVERIFY(!made.ok());
        QCOMPARE(made.status().fault(), db::Fault::Busy);
        QCOMPARE(db::BackupsOf(pf.realFile()), QStringList{});
        QCOMPARE(QDir(pf.path() + "/backup").entryList(QDir::Files).filter(".part"), QStringList{});
        QVERIFY(db::ChangedSinceLastCopy(pf.realFile()));
        return;
    }
    QVERIFY2(made.ok(), qPrintable(made.error()));
    QCOMPARE(writes, 1);
    QCOMPARE(ContentDigest(unpacked(made->copy)), ContentDigest(pf.realFile()));
    QVERIFY(!db::ChangedSinceLastCopy(pf.realFile()));
}

void tst_backups::exitCopyCheckedLater_data()
{
    QTest::addColumn<bool>("damaged");
    QTest::newRow("sound: marked checked") << false;
    QTest::newRow("damaged: removed") << true;
}

// The exit has no time for SQLite's check of a large file: its copy is checked in the next
// quiet moment, in both places, and only then is it taken for checked.
void tst_backups::exitCopyCheckedLater()
{
    QFETCH(bool, damaged);
    ProgramFolder pf;
    QTemporaryDir second;
    pf.exec("INSERT INTO table1 (t13) VALUES ('退出前的碟')");
    if (damaged)
        damageTable(pf.realFile());
    const QByteArray digest = bytesOf(pf.realFile());
    db::BackUpDataFiles(second.path(), db::NoProgress(), db::Check::Later);
    const QStringList here = db::BackupsOf(pf.realFile()), there = db::BackupsOf(pf.realFile(), second.path());
    QCOMPARE(here.size(), 1);
    QCOMPARE(there.size(), 1);
    QCOMPARE(db::pagecopies::ReadManifest(here.first())->checked, false);
    QCOMPARE(db::VerifyBackup(there.first()).ok(), !damaged); // an unchecked copy is checked when listed
    const QStringList log = db::CheckLaterCopies(second.path());
    if (damaged) {
        QCOMPARE(log.size(), 2);
        QCOMPARE(db::BackupsOf(pf.realFile()), QStringList{});
        QCOMPARE(db::BackupsOf(pf.realFile(), second.path()), QStringList{});
        return;
    }
    QCOMPARE(log, QStringList{});
    for (const QString &copy : {here.first(), there.first()}) {
        QCOMPARE(db::pagecopies::ReadManifest(copy)->checked, true);
        QVERIFY(db::VerifyBackup(copy).ok());
        QCOMPARE(bytesOf(unpacked(copy)), digest);
    }
    QCOMPARE(QDir(pf.path() + "/backup").entryList(QDir::Files).filter(QRegularExpression("part|checking")), QStringList{});
}

// An exit out of time leaves the copies as they were, nothing half-done, and the change
// still to copy.
void tst_backups::exitOutOfTime()
{
    ProgramFolder pf;
    QTemporaryDir second;
    growShop(pf);
    db::BackUpDataFiles(second.path());
    const QStringList before = db::BackupsOf(pf.realFile()) + db::BackupsOf(pf.realFile(), second.path());
    at(testsupport::Today().addDays(1));
    pf.exec("INSERT INTO table1 (t13) VALUES ('来不及备份的碟')");
    db::Deadline none(0);
    const QStringList log = db::BackUpDataFiles(second.path(), none, db::Check::Later);
    QVERIFY2(log.filter(QStringLiteral("备份 db.sqlite 失败：备份已取消")).size() == 1, qPrintable(log.join('\n')));
    QCOMPARE(db::BackupsOf(pf.realFile()) + db::BackupsOf(pf.realFile(), second.path()), before);
    for (const QString &dir : {pf.path() + "/backup", second.path(), pf.path() + "/backup/db.pages"})
        QCOMPARE(QDir(dir).entryList(QDir::Files).filter(".part"), QStringList{});
    QVERIFY(db::ChangedSinceLastCopy(pf.realFile()));
    db::BackUpDataFiles(second.path(), db::NoProgress(), db::Check::Later);
    QCOMPARE(ContentDigest(unpacked(db::BackupsOf(pf.realFile(), second.path()).first())), ContentDigest(pf.realFile()));
}

void tst_backups::earlierReleaseCopiesRestore_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("compressed (.sqlite.zst)") << ".sqlite.zst";
    QTest::newRow("plain (.sqlite)") << ".sqlite";
}

// Copies the last releases left in users' folders are listed, checked and restored, and
// the rotation counts them with the new ones.
void tst_backups::earlierReleaseCopiesRestore()
{
    QFETCH(QString, suffix);
    ProgramFolder pf;
    pf.exec("INSERT INTO table1 (t13) VALUES ('旧版备份里的碟')");
    const QByteArray digest = ContentDigest(pf.realFile());
    QByteArray bytes = bytesOf(pf.realFile());
    if (suffix.endsWith(".zst")) {
        QByteArray packed(qsizetype(ZSTD_compressBound(size_t(bytes.size()))), '\0');
        const size_t n = ZSTD_compress(packed.data(), size_t(packed.size()), bytes.constData(), size_t(bytes.size()), 3);
        QVERIFY(!ZSTD_isError(n));
        bytes = packed.left(qsizetype(n));
    }
    QDir().mkpath(pf.path() + "/backup");
    const QString old = pf.path() + "/backup/db-20260301-210000" + suffix;
    writeBytes(old, bytes);
    pf.exec("INSERT INTO table1 (t13) VALUES ('之后录入的碟')");
    QVERIFY(db::BackUpFile(pf.realFile()).ok()); // a new copy beside it, of another day
    QCOMPARE(names(db::BackupsOf(pf.realFile())), "db-20260315-103000.sqlite.pages " + QFileInfo(old).fileName());
    QVERIFY(db::VerifyBackup(old).ok());
    const auto kept = db::RestoreBackup(pf.realFile(), old, db::NoProgress(), "replaced");
    QVERIFY2(kept.ok(), qPrintable(kept.error()));
    QCOMPARE(ContentDigest(pf.realFile()), digest);
    QCOMPARE(pf.problems(), QString());
}

// A shop on a server is copied by the server's own tool: the exit copies nothing, and the
// menu's 立即备份 says so instead of copying the file beside the program.
void tst_backups::serverShopIsLeftToPgDump()
{
    ProgramFolder pf;
    pf.exec("INSERT INTO table1 (t13) VALUES ('服务器店铺时的碟')");
    db::ShopLocation::useServer(*db::ServerShop::parse("host=/nonexistent dbname=shop user=clerk"));
    msg::Recorder rec;
    backups::CopyAtExit();
    backups::BackUpNow(nullptr);
    db::ShopLocation::useFile();
    QCOMPARE(db::BackupsOf(pf.realFile()), QStringList{});
    QCOMPARE(db::BackupsOf(pf.demoFile()), QStringList{});
    QVERIFY2(rec.lastText().contains("pg_dump"), qPrintable(rec.lastText()));
}

// The restore window checks a copy while a quiet copy checks it too: each puts the content
// together in a file of its own, so neither takes the sound copy for damaged.
void tst_backups::checksAtOnce()
{
    ProgramFolder pf;
    growShop(pf);
    db::BackUpDataFiles(QString(), db::NoProgress(), db::Check::Later);
    const QString copy = db::BackupsOf(pf.realFile()).first();
    QStringList log;
    db::BackupJob job;
    QVERIFY(job.start(QString(), [&](const QStringList &l) { log = l; }));
    int checks = 0;
    do {
        QVERIFY(db::VerifyBackup(copy).ok());
        ++checks;
    } while (job.running());
    job.stop();
    QVERIFY2(log.filter(QStringLiteral("检查未通过")).isEmpty(), qPrintable(log.join('\n')));
    QCOMPARE(db::BackupsOf(pf.realFile()), QStringList{copy});
    QCOMPARE(db::pagecopies::ReadManifest(copy)->checked, true);
    QVERIFY(checks >= 1);
}

// Root writes into read-only folders; the read-only fault would mean nothing.
int main(int argc, char *argv[])
{
    faults::RunAsNobody();
    QApplication app(argc, argv);
    tst_backups t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_backups.moc"
