#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "data/store/connection.h"
#include "data/store/schema.h"

// Starts the real program in a folder of its own and looks at which windows it opened.
class tst_startup : public QObject
{
    Q_OBJECT
private slots:
    void firstWindow_data();
    void firstWindow();
};

void tst_startup::firstWindow_data()
{
    QTest::addColumn<bool>("accountExists");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("notShown");

    QTest::newRow("fresh folder asks for the account")
        << false << QStringList{"FirstAccount_Dialog"} << QStringList{"Password_Form", "main_MDIForm"};
    QTest::newRow("account exists: login over the main window")
        << true << QStringList{"Password_Form", "main_MDIForm"} << QStringList{"FirstAccount_Dialog"};
}

void tst_startup::firstWindow()
{
    QFETCH(bool, accountExists);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, notShown);

    QTemporaryDir dir;
    const QString exe = dir.filePath("lanlan");
    QVERIFY(QFile::copy(QStringLiteral(LANLAN_BINARY), exe));
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (accountExists) {
        for (const char *name : {"db.sqlite", "demo.sqlite"}) {
            QVERIFY(db::CreateDatabaseFile(dir.filePath(name)).ok());
            db::Connection c(dir.filePath(name));
            QVERIFY(c.exec("INSERT INTO table7 (t1, t2) VALUES ('boss', NULL)").ok());
        }
    }

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir.path());
    program.start(exe, {});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath("demo.sqlite")) && QDir(dir.filePath("tmp")).exists(), 60000);
    QTest::qWait(1500);
    QCOMPARE(program.state(), QProcess::Running);

    program.terminate();
    QVERIFY(program.waitForFinished(20000));
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    const QStringList open = err.section("open windows:", 1).section(QLatin1Char('\n'), 0, 0).trimmed().split(", ");
    for (const QString &w : shown)
        QVERIFY2(open.contains(w), qPrintable(err));
    for (const QString &w : notShown)
        QVERIFY2(!open.contains(w), qPrintable(err));

    // Ending the program at the account dialog leaves no account behind.
    for (const char *name : {"db.sqlite", "demo.sqlite"}) {
        db::Connection c(dir.filePath(name));
        QCOMPARE(c.scalar("SELECT COUNT(*) FROM table7").value().toInt(), accountExists ? 1 : 0);
    }
}

QTEST_GUILESS_MAIN(tst_startup)
#include "tst_startup.moc"
