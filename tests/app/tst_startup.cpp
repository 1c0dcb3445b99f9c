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
    void commandLineThatOnlyPrints_data();
    void commandLineThatOnlyPrints();
    void copyShopCommand();
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

void tst_startup::commandLineThatOnlyPrints_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("printed");   // on standard output
    QTest::addColumn<QString>("complained"); // on standard error
    QTest::newRow("--help") << QStringList{"--help"} << 0 << "--check" << "";
    QTest::newRow("-h") << QStringList{"-h"} << 0 << "--version" << "";
    QTest::newRow("--help after the toolkit's -platform") << QStringList{"-platform", "offscreen", "--help"} << 0
                                                         << "--check" << "";
    QTest::newRow("--version") << QStringList{"--version"} << 0 << QStringLiteral("lanlan " EXPECTED_VERSION "\n") << "";
    QTest::newRow("-v") << QStringList{"-v"} << 0 << QStringLiteral("lanlan " EXPECTED_VERSION "\n") << "";
    QTest::newRow("unknown option") << QStringList{"--chek"} << 2 << "" << "chek";
    QTest::newRow("unknown short option") << QStringList{"-x"} << 2 << "" << "--help";
    QTest::newRow("stray argument") << QStringList{"db.sqlite"} << 2 << "" << "db.sqlite";
    QTest::newRow("--check of two files") << QStringList{"--check", "a.sqlite", "b.sqlite"} << 2 << "" << "--check";
    QTest::newRow("--help names the server options") << QStringList{"--help"} << 0 << "--copy-shop" << "";
    // A password in the connection text is refused without being repeated anywhere.
    QTest::newRow("--server with a password") << QStringList{"--server", "dbname=shop password=geheim"} << 2 << ""
                                              << "~/.pgpass";
    QTest::newRow("--server without a database") << QStringList{"--server", "host=db1"} << 2 << "" << "dbname";
    QTest::newRow("--server --check with a file") << QStringList{"--server", "dbname=shop", "--check", "a.sqlite"} << 2
                                                  << "" << "--server";
    QTest::newRow("--copy-shop with one place") << QStringList{"--copy-shop", "a.sqlite"} << 2 << "" << "--copy-shop";
}

// Printing the help or the version, or refusing an option, needs no display and leaves the
// program's folder as it was: no data file, no scratch folder.
void tst_startup::commandLineThatOnlyPrints()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, printed);
    QFETCH(QString, complained);
    QTemporaryDir dir;
    const QString exe = dir.filePath("lanlan");
    QVERIFY(QFile::copy(QStringLiteral(LANLAN_BINARY), exe));
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.insert("QT_QPA_PLATFORM", "no-such-platform"); // a window would end the program
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir.path());
    program.start(exe, arguments);
    QVERIFY(program.waitForFinished(20000));
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    const QString err = QString::fromUtf8(program.readAllStandardError());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QVERIFY2(program.exitCode() == exitCode, qPrintable(out + err));
    QVERIFY2(out.contains(printed), qPrintable(out));
    QVERIFY(!(out + err).contains(QLatin1String("geheim")));
    if (complained.isEmpty()) {
        QVERIFY2(err.isEmpty(), qPrintable(err));
    } else {
        QVERIFY2(err.contains(complained), qPrintable(err));
        QVERIFY2(err.contains("--help"), qPrintable(err)); // the usage comes with it
        QVERIFY(out.isEmpty());
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"lanlan"});
}

// The copy runs without a display; a second copy onto the same target is refused and
// leaves the first one as it was.
void tst_startup::copyShopCommand()
{
    QTemporaryDir dir;
    const QString from = dir.filePath("db.sqlite"), to = dir.filePath("copy.sqlite");
    QVERIFY(db::CreateDatabaseFile(from).ok());
    {
        db::Connection c(from);
        QVERIFY(c.exec("INSERT INTO table1 (t13, t7) VALUES ('碟', 4294967297)").ok());
    }
    for (int run = 0; run < 2; ++run) {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.insert("QT_QPA_PLATFORM", "no-such-platform");
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(LANLAN_BINARY), {"--copy-shop", from, to});
        QVERIFY(program.waitForFinished(60000));
        const QString out = QString::fromUtf8(program.readAllStandardOutput());
        QVERIFY2(program.exitCode() == run, qPrintable(out + QString::fromUtf8(program.readAllStandardError())));
        QVERIFY2(out.contains(run == 0 ? QStringLiteral("已复制") : QStringLiteral("已经存在")), qPrintable(out));
        db::Connection c(to);
        QCOMPARE(c.scalar("SELECT t7 FROM table1 WHERE t13 = '碟'").value().toLongLong(), 4294967297LL);
    }
}

QTEST_GUILESS_MAIN(tst_startup)
#include "tst_startup.moc"
