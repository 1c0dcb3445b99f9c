#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "data/store/programdir.h"

// Where the program keeps its data files, and where it finds its shipped files.
class tst_programdir : public QObject
{
    Q_OBJECT
private slots:
    void dataFolder_data();
    void dataFolder();
    void installedDataIsFoundFromTheExecutable();
};

void tst_programdir::dataFolder_data()
{
    QTest::addColumn<QString>("layout"); // folders made under the temporary root
    QTest::addColumn<QString>("exe");    // the executable's folder, relative; "" for none
    QTest::addColumn<bool>("besideExe");

    QTest::newRow("build folder") << "build/bin" << "build/bin" << true;
    QTest::newRow("program copied into a folder") << "shop" << "shop" << true;
    // Even for root, who may write anywhere, an installed program keeps its data per user.
    QTest::newRow("installed under a prefix") << "usr/bin,usr/share/lanlan" << "usr/bin" << false;
    QTest::newRow("executable folder unknown") << "" << "" << false;
}

void tst_programdir::dataFolder()
{
    QFETCH(QString, layout);
    QFETCH(QString, exe);
    QFETCH(bool, besideExe);
    QTemporaryDir root;
    for (const QString &d : layout.split(',', Qt::SkipEmptyParts))
        QVERIFY(QDir(root.path()).mkpath(d));
    const QString exeDir = exe.isEmpty() ? QString() : root.filePath(exe);
    const QString perUser = root.filePath("home/.local/share/Lanlan");
    QCOMPARE(db::ProgramDir::choose(exeDir, perUser), besideExe ? exeDir : perUser);
}

void tst_programdir::installedDataIsFoundFromTheExecutable()
{
    // A relocated prefix: the data folder beside the executable's prefix comes first.
    const QStringList dirs = db::InstalledData::foldersFor("/opt/shop/bin");
    QCOMPARE(dirs.value(0), QStringLiteral("/opt/shop/share/lanlan"));
    QVERIFY(dirs.last().endsWith("/share/lanlan"));
}

QTEST_GUILESS_MAIN(tst_programdir)
#include "tst_programdir.moc"
