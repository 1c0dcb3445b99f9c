#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "data/store/connection.h"
#include "support/programfolder.h"

// Starts the real program in a folder of its own and stops it the way a session logout does.
class TestSmoke : public QObject
{
    Q_OBJECT
private slots:
    void startsAndStopsCleanly();
};

void TestSmoke::startsAndStopsCleanly()
{
    QTemporaryDir dir;
    const QString exe = dir.filePath("lanlan");
    QVERIFY(QFile::copy(QStringLiteral(LANLAN_BINARY), exe));
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir.path());
    program.start(exe, {});
    QVERIFY(program.waitForStarted());

    // First run: both database files and the scratch folder appear beside the program.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath("demo.sqlite")) && QDir(dir.filePath("tmp")).exists(), 60000);
    QVERIFY(QFile::exists(dir.filePath("db.sqlite")));
    QTest::qWait(1500);
    QCOMPARE(program.state(), QProcess::Running);

    QFile scratch(dir.filePath("tmp/left-over.jpg"));
    QVERIFY(scratch.open(QIODevice::WriteOnly));
    scratch.close();

    program.terminate();
    QVERIFY(program.waitForFinished(20000));
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    // A fresh folder has no account yet, so the program first asks for one.
    QVERIFY2(err.section("open windows:", 1).contains("FirstAccount_Dialog"), qPrintable(err));
    QVERIFY(!QFile::exists(dir.filePath("tmp/left-over.jpg")));

    db::Connection demo(dir.filePath("demo.sqlite"));
    QVERIFY(demo.ok());
    QVERIFY(demo.scalar("SELECT count(*) FROM table1").value().toInt() > 0);
}

QTEST_GUILESS_MAIN(TestSmoke)
#include "tst_smoke.moc"
