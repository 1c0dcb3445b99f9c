#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "data/store/connection.h"
#include "data/store/programdir.h"

// Installs the build into a fresh prefix and starts the installed program the way a user
// would: its library, guide page and icons must come along, and its data files must go to
// the user's data folder, not beside the executable.
class tst_install : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void installsEveryFile_data();
    void installsEveryFile();
    void guidePicturesAreInstalledWithThePage();
    void installedProgramRuns();

private:
    QTemporaryDir m_prefix;
    QString file(const QString &rel) const { return QDir(m_prefix.path()).filePath(rel); }
};

void tst_install::initTestCase()
{
    QVERIFY(m_prefix.isValid());
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(CMAKE_COMMAND), {"--install", QStringLiteral(BUILD_DIR), "--prefix", m_prefix.path()});
    QVERIFY(install.waitForFinished(120000));
    QVERIFY2(install.exitCode() == 0, install.readAll().constData());
}

void tst_install::installsEveryFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("present");
    const QString lib = QStringLiteral(LIBDIR);
    QTest::newRow("program") << "bin/lanlan" << true;
    QTest::newRow("library") << lib + "/libhoverpad.so.1" << true;
    QTest::newRow("designer plugin") << QStringLiteral(DESIGNER_DIR "/libhoverpad_designer.so") << true;
    QTest::newRow("guide page") << "share/lanlan/tour.htm" << true;
    QTest::newRow("desktop entry") << "share/applications/lanlan.desktop" << true;
    QTest::newRow("icon 48") << "share/icons/hicolor/48x48/apps/lanlan.png" << true;
    QTest::newRow("icon 256") << "share/icons/hicolor/256x256/apps/lanlan.png" << true;
    QTest::newRow("icon svg") << "share/icons/hicolor/scalable/apps/lanlan.svg" << true;
    QTest::newRow("no page in bin") << "bin/tour.htm" << false;
}

void tst_install::installsEveryFile()
{
    QFETCH(QString, path);
    QFETCH(bool, present);
    QCOMPARE(QFileInfo::exists(file(path)), present);
}

void tst_install::guidePicturesAreInstalledWithThePage()
{
    QFile page(file("share/lanlan/tour.htm"));
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    static const QRegularExpression img(QStringLiteral("<img[^>]*\\ssrc=\"([^\"]+)\""));
    int pictures = 0;
    for (auto it = img.globalMatch(html); it.hasNext(); ++pictures) {
        const QString src = it.next().captured(1);
        QVERIFY2(QFileInfo(file("share/lanlan/" + src)).isFile(), qPrintable(src));
    }
    QVERIFY(pictures > 0);
    // The installed program looks for the page in the data folder of its own prefix.
    QCOMPARE(db::InstalledData::foldersFor(file("bin")).value(0), file("share/lanlan"));
}

void tst_install::installedProgramRuns()
{
    QTemporaryDir work;
    const QString dataHome = file("xdg");
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_DATA_HOME", dataHome);
    env.remove("LD_LIBRARY_PATH"); // libhoverpad must be found through the program itself
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(work.path());
    program.start(file("bin/lanlan"), {});
    QVERIFY(program.waitForStarted());

    const QString data = QDir(dataHome).filePath("Lanlan/Lanlan");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(data + "/demo.sqlite") && QDir(data + "/tmp").exists()
                                 || program.state() != QProcess::Running,
                             60000);
    QTest::qWait(1000);
    QVERIFY2(program.state() == QProcess::Running, program.readAllStandardError().constData());
    QVERIFY(QFile::exists(data + "/db.sqlite"));
    QVERIFY(!QFile::exists(file("bin/db.sqlite")));
    QVERIFY(QDir(work.path()).isEmpty());

    program.terminate();
    QVERIFY(program.waitForFinished(20000));
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    QCOMPARE(program.exitCode(), 0);
    QVERIFY2(err.section("open windows:", 1).contains("FirstAccount_Dialog"), qPrintable(err));

    db::Connection demo(data + "/demo.sqlite");
    QVERIFY(demo.ok());
    QVERIFY(demo.scalar("SELECT count(*) FROM table1").value().toInt() > 0);
}

QTEST_GUILESS_MAIN(tst_install)
#include "tst_install.moc"
