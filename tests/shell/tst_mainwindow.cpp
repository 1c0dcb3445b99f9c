#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "app/dataactions.h"
#include "app/main_mdiform.h"
#include "app/restoreform.h"
#include "data/safety/backups.h"
#include "data/store/clock.h"
#include "hoverpad/usercontrol1.h"
#include "lists/openers.h"
#include "ui/listgrid.h"
#include "ui/messages.h"
#include "data/shop/lookuplists.h"
#include "data/store/programdir.h"
#include "support/programfolder.h"

using testsupport::ProgramFolder;

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void menuBarInOrder();
    void demoSwitchReloadsLists_data();
    void demoSwitchReloadsLists();
    void switchToMissingFileIsReported();
    void closingEmptiesScratchFolder_data();
    void closingEmptiesScratchFolder();
    void sharedChildIsOnePerKind();
    void restoreFromMenuReloadsWindows();
    void checkAndExportFromDataMenu();
};

void TestMainWindow::menuBarInOrder()
{
    ProgramFolder folder;
    main_MDIForm w;
    QCOMPARE(w.windowTitle(), QStringLiteral("澜岚系统"));
    QStringList seen;
    for (QAction *top : w.menuBar()->actions()) {
        seen << top->text();
        for (QAction *item : top->menu()->actions())
            seen << item->objectName() + "=" + item->text();
    }
    const QStringList expected = {
        "    登记", "menu1_1=碟片登记", "menu1_2=租碟登记", "menu1_3=还碟登记", "menu1_4=快速还碟",
        "menu1_5=打印碟片标签", "menu1_6=柜台设置", "menu1_7=导入碟片目录",
        "    查询", "menu2_1=碟片查询", "menu2_2=客户查询",
        "    列表", "menu3_1=全部碟片列表", "menu3_2=可租碟片列表", "menu3_3=未还碟片列表",
        "menu3_4=全部客户列表", "menu3_5=未还客户列表",
        "    统计", "menu6_1=营业统计",
        "    登录", "menu5_1=更改登录用户", "menu5_2=更改登录密码",
        "    数据", "menu7_1=立即备份", "menu7_2=从备份恢复…", "menu7_3=备份位置…", "menu7_4=导出全部数据…", "menu7_5=检查数据文件",
        "menu7_6=数据源设置",
        "    帮助", "menu4_1=快速使用指南", "menu4_2=关于", "menu4_4=演示数据"};
    QCOMPARE(seen, expected);
    QVERIFY(w.menuItem("menu4_4")->isCheckable());
}

void TestMainWindow::demoSwitchReloadsLists_data()
{
    QTest::addColumn<QStringList>("countriesAfterCheck");
    QTest::addColumn<QStringList>("countriesAfterUncheck");
    QTest::addColumn<bool>("demoHasCountries");
    // Checking keeps what the demonstration file lacks; unchecking starts from empty lists.
    QTest::newRow("demo file has countries") << QStringList{"美国"} << QStringList{} << true;
    QTest::newRow("demo file has none") << QStringList{"中国"} << QStringList{} << false;
}

void TestMainWindow::demoSwitchReloadsLists()
{
    QFETCH(QStringList, countriesAfterCheck);
    QFETCH(QStringList, countriesAfterUncheck);
    QFETCH(bool, demoHasCountries);
    ProgramFolder folder;
    folder.exec("INSERT INTO table3 (s2) VALUES ('动作')");
    folder.exec("INSERT INTO table3 (s2) VALUES ('喜剧')", {}, true);
    if (demoHasCountries)
        folder.exec("INSERT INTO table3 (s6) VALUES ('美国')", {}, true);
    db::Lookups().CountryList.append("中国"); // held from before, not in the real file

    msg::Recorder boxes;
    main_MDIForm w;
    QSignalSpy switched(ui::DataSwitch::instance(), &ui::DataSwitch::switched);
    QAction *demo = w.menuItem("menu4_4");
    demo->trigger();
    QVERIFY(demo->isChecked());
    QVERIFY(db::DemoData::enabled());
    QCOMPARE(db::Lookups().ContentList.entries(), QStringList({"喜剧"}));
    QCOMPARE(db::Lookups().CountryList.entries(), countriesAfterCheck);

    demo->trigger();
    QVERIFY(!db::DemoData::enabled());
    QCOMPARE(db::Lookups().ContentList.entries(), QStringList({"动作"}));
    QCOMPARE(db::Lookups().CountryList.entries(), countriesAfterUncheck);
    QCOMPARE(switched.count(), 2);
    QVERIFY(boxes.boxes().isEmpty());
}

void TestMainWindow::switchToMissingFileIsReported()
{
    ProgramFolder folder(ProgramFolder::NoDemoFile);
    folder.exec("INSERT INTO table3 (s6) VALUES ('中国')");
    QVERIFY(db::LoadLookupLists().ok());
    msg::Recorder boxes;
    main_MDIForm w;
    QSignalSpy switched(ui::DataSwitch::instance(), &ui::DataSwitch::switched);
    w.menuItem("menu4_4")->trigger();
    // One box with the reason, and everything stays on the file in use.
    QCOMPARE(boxes.boxes().size(), 1);
    QVERIFY(boxes.lastText().contains("demo.sqlite"));
    QVERIFY(!w.menuItem("menu4_4")->isChecked());
    QVERIFY(!db::DemoData::enabled());
    QCOMPARE(db::Lookups().CountryList.entries(), QStringList({"中国"}));
    QCOMPARE(switched.count(), 0);
}

void TestMainWindow::closingEmptiesScratchFolder_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::newRow("no picture ever shown") << QStringList{};
    QTest::newRow("pictures written") << QStringList{"9545tmp.jpg", "cover-1.bmp", ".hidden"};
}

void TestMainWindow::closingEmptiesScratchFolder()
{
    QFETCH(QStringList, files);
    ProgramFolder folder;
    for (const QString &f : files) {
        QFile file(db::ProgramDir::scratchDir() + "/" + f);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    auto *w = new main_MDIForm;
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    QVERIFY(w->close());
    QCOMPARE(QDir(db::ProgramDir::scratchDir()).entryList(QDir::Files | QDir::Hidden).size(), 0);
    QVERIFY(QDir(db::ProgramDir::scratchDir()).exists());
}

void TestMainWindow::sharedChildIsOnePerKind()
{
    ProgramFolder folder;
    main_MDIForm w;
    w.show();
    int made = 0;
    auto make = [&made] { ++made; return new QLabel("shared"); };
    QLabel *first = ui::Shared<QLabel>(make);
    QCOMPARE(ui::Shared<QLabel>(make), first);
    QCOMPARE(made, 1);
    QCOMPARE(w.mdiArea()->subWindowList().size(), 1);
    w.mdiArea()->subWindowList().first()->close();
    QTRY_VERIFY(ui::SharedIfOpen<QLabel>() == nullptr);
    QVERIFY(ui::Shared<QLabel>(make) != nullptr);
    QCOMPARE(made, 2);
}

namespace {

QString allText(const QTableWidget *t)
{
    QStringList out;
    for (int r = 0; r < t->rowCount(); ++r)
        for (int c = 0; c < t->columnCount(); ++c)
            out << (t->item(r, c) ? t->item(r, c)->text() : QString());
    return out.join(QLatin1Char('|'));
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

// Yesterday's copy chosen from the menu: the open list shows its rows, and the file it
// replaced is kept aside as it was.
void TestMainWindow::restoreFromMenuReloadsWindows()
{
    QStandardPaths::setTestModeEnabled(true); // no second place from the machine's settings
    ProgramFolder folder;
    folder.exec("INSERT INTO table1 (t13) VALUES ('昨天的碟')");
    db::Clock::setFixed(QDateTime(testsupport::Today().addDays(-1), QTime(21, 0)));
    QVERIFY(db::BackUpFile(folder.realFile()).ok());
    db::Clock::setFixed(QDateTime(testsupport::Today(), QTime(10, 30)));
    folder.exec("INSERT INTO table1 (t13) VALUES ('今天的碟')");
    const QByteArray replaced = bytesOf(folder.realFile());

    msg::Recorder boxes;
    main_MDIForm w;
    w.show();
    lists::OpenAllDiscsList();
    auto *grid = w.findChild<ui::ListGrid *>();
    QVERIFY(grid);
    QTRY_VERIFY(allText(grid).contains("今天的碟"));

    w.menuItem("menu7_2")->trigger();
    RestoreForm *form = ui::SharedIfOpen<RestoreForm>();
    QVERIFY(form);
    QCOMPARE(form->table()->rowCount(), 1);
    QCOMPARE(form->table()->item(0, 0)->text(), QStringLiteral("2026-03-14 21:00:00"));
    QCOMPARE(form->table()->item(0, 3)->text(), QStringLiteral("完好"));
    auto *restore = form->findChild<UserControl1 *>("Command1");
    QTest::mouseClick(restore, Qt::LeftButton, {}, restore->rect().center());

    QTRY_VERIFY(!allText(grid).contains("今天的碟"));
    QVERIFY(allText(grid).contains("昨天的碟"));
    const QString kept = folder.realFile() + ".replaced-20260315-103000";
    QCOMPARE(bytesOf(kept), replaced);
    QCOMPARE(boxes.boxes().first().kind, msg::Recorder::Box::Confirm);
    QVERIFY2(boxes.lastText().contains(QStringLiteral("原数据文件保留为：") + kept), qPrintable(boxes.lastText()));
    QCOMPARE(folder.scalar("SELECT count(*) FROM table1").toInt(), 1);
}

// 检查数据文件 tells what it found through the message facade; 导出全部数据 writes its folder.
void TestMainWindow::checkAndExportFromDataMenu()
{
    ProgramFolder folder;
    folder.exec("INSERT INTO table1 (t13, t7) VALUES ('英雄', 1), ('卧虎藏龙', 2)");
    msg::Recorder boxes;
    main_MDIForm w;
    w.show();
    w.menuItem("menu7_5")->trigger();
    QCOMPARE(boxes.boxes().size(), 1);
    QVERIFY2(boxes.lastText().contains(QStringLiteral("未发现问题")), qPrintable(boxes.lastText()));

    // A kept counter that no longer agrees with the rows is named.
    folder.exec("UPDATE list_counts SET discs = 7");
    w.menuItem("menu7_5")->trigger();
    QCOMPARE(boxes.boxes().size(), 2);
    QVERIFY2(boxes.lastText().contains(QStringLiteral("共发现")), qPrintable(boxes.lastText()));
    QVERIFY2(boxes.lastText().contains(QStringLiteral("7")), qPrintable(boxes.lastText()));

    QTemporaryDir out;
    QVERIFY(dataactions::ExportShopTo(&w, out.path()));
    QVERIFY2(boxes.lastText().startsWith(QStringLiteral("导出完毕")), qPrintable(boxes.lastText()));
    const QStringList made = QDir(out.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    QCOMPARE(made.size(), 1);
    QFile discs(QDir(out.filePath(made.first())).filePath(QStringLiteral("table1 碟片.csv")));
    QVERIFY(discs.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(discs.readAll()).contains(QStringLiteral("卧虎藏龙")));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
