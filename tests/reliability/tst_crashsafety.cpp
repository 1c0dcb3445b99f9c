#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cstdio>

#include "crashoperations.h"
#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/safety/invariants.h"
#include "data/store/programdir.h"
#include "support/filedigest.h"
#include "support/programfolder.h"

using crashtest::CrashOperation;
using crashtest::Judge;

// Each multi-row write runs in a child process of this program that is killed with SIGKILL
// after its Nth statement (every N in turn) and at random moments; then the files must be
// sound and hold all of the operation or none of it.
//
// LANLAN_CRASH_RANDOM_KILLS sets the random kills per operation (default 4; the long sweep,
// scripts/crash_sweep.sh, runs 200). An operation of many statements may be killed after a
// sample of them, spread evenly; LANLAN_CRASH_EVERY_STATEMENT (the long sweep) kills after
// every one.

namespace {

const char *const kChildFlag = "--crash-child";

// In the child: runs one operation in the given program folder and reports how many
// statements ran before it ("go P") and in all ("done T microseconds").
int runChild(const QString &name, const QString &folder)
{
    const CrashOperation *op = crashtest::FindOperation(name);
    if (!op) {
        std::fprintf(stderr, "no operation %s\n", qPrintable(name));
        return 4;
    }
    db::ProgramDir::setPath(folder);
    db::Clock::setFixed(QDateTime(testsupport::Today(), QTime(10, 30, 0)));
    const auto run = op->setUp();
    std::printf("go %lld\n", static_cast<long long>(db::Connection::statementsRun()));
    std::fflush(stdout);
    QElapsedTimer t;
    t.start();
    const db::Status s = run();
    const qint64 us = t.nsecsElapsed() / 1000;
    std::printf("done %lld %lld\n", static_cast<long long>(db::Connection::statementsRun()), static_cast<long long>(us));
    std::fflush(stdout);
    if (!s) {
        std::fprintf(stderr, "%s\n", s.error().toLocal8Bit().constData());
        return 3;
    }
    return 0;
}

struct Baseline
{
    QString folder;          // the prepared program folder, copied for every kill
    qint64 before = 0;       // statements the child runs before the operation
    qint64 statements = 0;   // statements of the operation itself
    qint64 micros = 0;       // how long the operation takes uninterrupted
    QByteArray startDigest;  // the files as prepared
    QByteArray endDigest;    // the files after an uninterrupted run
};

struct Tally
{
    int kills = 0, none = 0, all = 0, finishedFirst = 0, inconsistent = 0;
    int positions = 0; // statement positions killed after
};

QByteArray digestOf(const CrashOperation &op, const QString &folder, QString *error)
{
    QByteArray all;
    for (const QString &f : op.files) {
        const QString path = folder + QLatin1Char('/') + f;
        if (!QFileInfo::exists(path)) {
            all += "absent:" + f.toUtf8();
            continue;
        }
        const QByteArray d = testsupport::ContentDigest(path, error);
        if (d.isEmpty())
            return {};
        all += d;
    }
    return all;
}

void copyFolder(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const QFileInfo &fi : QDir(from).entryInfoList(QDir::Files | QDir::Hidden)) {
        if (!QFile::copy(fi.filePath(), to + QLatin1Char('/') + fi.fileName()))
            qFatal("cannot copy %s", qPrintable(fi.filePath()));
    }
}

QProcess *startChild(const QString &op, const QString &folder, qint64 killAfter)
{
    auto *p = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LANLAN_KILL_AFTER_STATEMENT"));
    if (killAfter > 0)
        env.insert(QStringLiteral("LANLAN_KILL_AFTER_STATEMENT"), QString::number(killAfter));
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::SeparateChannels);
    p->start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kChildFlag), op, folder});
    if (!p->waitForStarted(10000))
        qFatal("cannot start the child");
    return p;
}

// The "go" line the child prints when the operation starts.
qint64 waitForGo(QProcess *p)
{
    while (!p->canReadLine()) {
        if (!p->waitForReadyRead(60000))
            return -1;
    }
    const QByteArray line = p->readLine().trimmed();
    return line.startsWith("go ") ? line.mid(3).toLongLong() : -1;
}

// After which statements to kill: every one, or as many as the operation allows spread
// evenly over all of them, the first and the last included.
QList<qint64> killPositions(const CrashOperation &op, qint64 statements)
{
    QList<qint64> out;
    if (op.positions <= 1 || statements <= op.positions || qEnvironmentVariableIsSet("LANLAN_CRASH_EVERY_STATEMENT")) {
        for (qint64 n = 1; n <= statements; ++n)
            out << n;
        return out;
    }
    for (qint64 i = 0; i < op.positions; ++i) {
        const qint64 n = 1 + (i * (statements - 1) + (op.positions - 1) / 2) / (op.positions - 1);
        if (out.isEmpty() || out.last() != n)
            out << n;
    }
    return out;
}

bool finishChild(QProcess *p)
{
    const bool finished = p->waitForFinished(120000);
    if (!finished) {
        p->kill();
        p->waitForFinished();
    }
    return finished;
}

} // namespace

class tst_crashsafety : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyOperationIsCounted_data();
    void everyOperationIsCounted();
    void killAfterEveryStatement_data();
    void killAfterEveryStatement();
    void killAtRandomMoments_data();
    void killAtRandomMoments();

private:
    void operationRows();
    // Empty when the folder is sound after a kill; records the outcome in the tally.
    QString judge(const CrashOperation &op, const QString &folder, Tally &tally);

    QTemporaryDir m_dir;
    QHash<QString, Baseline> m_base;
    QHash<QString, Tally> m_tally;
};

void tst_crashsafety::initTestCase()
{
    QVERIFY(m_dir.isValid());
    int n = 0;
    for (const CrashOperation &op : crashtest::Operations()) {
        Baseline b;
        b.folder = m_dir.filePath(QStringLiteral("prepared-%1").arg(++n));
        QDir().mkpath(b.folder);
        op.prepare(b.folder);
        QString error;
        b.startDigest = digestOf(op, b.folder, &error);
        QVERIFY2(!b.startDigest.isEmpty(), qPrintable(error));

        // One uninterrupted run tells how many statements there are to kill after.
        const QString run = m_dir.filePath(QStringLiteral("uninterrupted-%1").arg(n));
        copyFolder(b.folder, run);
        QProcess *p = startChild(op.name, run, 0);
        b.before = waitForGo(p);
        QVERIFY(finishChild(p));
        const QByteArray done = p->readAllStandardOutput().trimmed();
        QVERIFY2(p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0,
                 qPrintable(op.name + ": " + QString::fromLocal8Bit(p->readAllStandardError())));
        delete p;
        const QList<QByteArray> parts = done.split(' ');
        QVERIFY(parts.size() == 3 && parts[0] == "done");
        b.statements = parts[1].toLongLong() - b.before;
        b.micros = parts[2].toLongLong();
        b.endDigest = digestOf(op, run, &error);
        QVERIFY2(!b.endDigest.isEmpty(), qPrintable(error));
        m_base.insert(op.name, b);
    }
}

void tst_crashsafety::cleanupTestCase()
{
    for (const CrashOperation &op : crashtest::Operations()) {
        const Tally t = m_tally.value(op.name);
        if (op.judge == Judge::Resumable) {
            qInfo("%-44s %4lld statements (%4d killed after), %7lld us | %4d kills (%4d mid-operation): sound and "
                  "finished by the next start %4d; inconsistent %d",
                  qPrintable(op.name), m_base.value(op.name).statements, t.positions, m_base.value(op.name).micros,
                  t.kills, t.kills - t.finishedFirst, t.all, t.inconsistent);
            continue;
        }
        qInfo("%-44s %4lld statements (%4d killed after), %7lld us | %4d kills (%4d mid-operation): files hold "
              "nothing %4d, everything %4d; inconsistent %d",
              qPrintable(op.name), m_base.value(op.name).statements, t.positions, m_base.value(op.name).micros,
              t.kills, t.kills - t.finishedFirst, t.none, t.all, t.inconsistent);
    }
}

void tst_crashsafety::operationRows()
{
    QTest::addColumn<QString>("name");
    for (const CrashOperation &op : crashtest::Operations())
        QTest::newRow(qPrintable(op.name)) << op.name;
}

void tst_crashsafety::everyOperationIsCounted_data()
{
    operationRows();
}

// A write whose statements went uncounted could not be killed half-way.
void tst_crashsafety::everyOperationIsCounted()
{
    QFETCH(QString, name);
    const Baseline &b = m_base[name];
    QVERIFY(b.statements >= 1);
    if (crashtest::FindOperation(name)->judge == Judge::AllOrNothing && b.startDigest != b.endDigest)
        QVERIFY2(b.statements >= 3, "a write needs at least BEGIN, a change and COMMIT");
}

void tst_crashsafety::killAfterEveryStatement_data()
{
    operationRows();
}

void tst_crashsafety::killAfterEveryStatement()
{
    QFETCH(QString, name);
    const CrashOperation &op = *crashtest::FindOperation(name);
    const Baseline &b = m_base[name];
    Tally &tally = m_tally[name];
    for (qint64 n : killPositions(op, b.statements)) {
        QTemporaryDir work(m_dir.filePath(QStringLiteral("kill-XXXXXX")));
        copyFolder(b.folder, work.path());
        QProcess *p = startChild(op.name, work.path(), b.before + n);
        QVERIFY(finishChild(p));
        const bool killed = p->exitStatus() == QProcess::CrashExit;
        delete p;
        QVERIFY2(killed, qPrintable(QStringLiteral("%1: statement %2 of %3 did not kill the child").arg(name).arg(n).arg(b.statements)));
        ++tally.kills;
        ++tally.positions;
        const QString problem = judge(op, work.path(), tally);
        QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("%1, killed after statement %2 of %3: %4")
                                                   .arg(name).arg(n).arg(b.statements).arg(problem)));
    }
}

void tst_crashsafety::killAtRandomMoments_data()
{
    operationRows();
}

void tst_crashsafety::killAtRandomMoments()
{
    QFETCH(QString, name);
    const CrashOperation &op = *crashtest::FindOperation(name);
    const Baseline &b = m_base[name];
    Tally &tally = m_tally[name];
    const int kills = qEnvironmentVariableIsSet("LANLAN_CRASH_RANDOM_KILLS")
        ? qEnvironmentVariableIntValue("LANLAN_CRASH_RANDOM_KILLS") : 4;
    // How long the operation takes varies with the disk's syncing; the moments are spread
    // over the typical duration seen so far and a little beyond.
    QList<qint64> durations{b.micros};
    for (int k = 0; k < kills; ++k) {
        QList<qint64> sorted = durations;
        std::sort(sorted.begin(), sorted.end());
        const qint64 typical = sorted[sorted.size() / 2];
        const qint64 window = typical + typical / 5 + 100;
        QTemporaryDir work(m_dir.filePath(QStringLiteral("random-XXXXXX")));
        copyFolder(b.folder, work.path());
        QProcess *p = startChild(op.name, work.path(), 0);
        QVERIFY(waitForGo(p) >= 0);
        const qint64 delay = QRandomGenerator::global()->bounded(window);
        QThread::usleep(static_cast<unsigned long>(delay));
        p->kill();
        QVERIFY(finishChild(p));
        if (p->exitStatus() == QProcess::NormalExit) {
            ++tally.finishedFirst;
            const QList<QByteArray> done = p->readAllStandardOutput().trimmed().split(' ');
            if (done.size() == 3 && done[0] == "done")
                durations << done[2].toLongLong();
        }
        delete p;
        ++tally.kills;
        const QString problem = judge(op, work.path(), tally);
        QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("%1, killed %2 us after the start: %3").arg(name).arg(delay).arg(problem)));
    }
}

QString tst_crashsafety::judge(const CrashOperation &op, const QString &folder, Tally &tally)
{
    const Baseline &b = m_base[op.name];
    auto inconsistent = [&](const QString &why) {
        ++tally.inconsistent;
        return why;
    };
    // Every data file there is sound: pages, rules of the shop.
    for (const QString &f : op.files) {
        const QString path = folder + QLatin1Char('/') + f;
        if (!QFileInfo::exists(path))
            continue;
        const auto report = db::CheckFile(path);
        if (!report)
            return inconsistent(f + ": " + report.error());
        if (!report->clean())
            return inconsistent(f + ": " + report->lines().join(QStringLiteral("; ")));
    }
    if (op.leftBehind) {
        if (const QString wrong = op.leftBehind(folder); !wrong.isEmpty())
            return inconsistent(wrong);
    }
    QString error;
    QByteArray now = digestOf(op, folder, &error);
    if (now.isEmpty())
        return inconsistent(error);
    if (op.judge == Judge::Resumable) {
        // The next start finishes the work and ends where an uninterrupted run ends.
        QProcess *p = startChild(op.name, folder, 0);
        const bool finished = finishChild(p);
        const bool ok = finished && p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0;
        const QString err = QString::fromLocal8Bit(p->readAllStandardError());
        delete p;
        if (!ok)
            return inconsistent(QStringLiteral("the next start failed: ") + err);
        now = digestOf(op, folder, &error);
        if (now != b.endDigest)
            return inconsistent(QStringLiteral("the next start ended elsewhere than an uninterrupted run"));
        ++tally.all;
        return {};
    }
    if (now == b.startDigest) {
        ++tally.none;
        return {};
    }
    if (now == b.endDigest) {
        ++tally.all;
        return {};
    }
    return inconsistent(QStringLiteral("the files hold part of the operation"));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], kChildFlag) == 0)
        return runChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    tst_crashsafety t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_crashsafety.moc"
