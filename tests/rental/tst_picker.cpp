// The rentable-disc picker driven as the clerk uses it: filtering, paging with the filters
// as typed, picking whole rows into the rental window's pre-rent list.
#include <QtTest>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

#include "app/main_mdiform.h"
#include "data/shop/discrecords.h"
#include "data/shop/lookuplists.h"
#include "discs/input_form.h"
#include "rental/input_form2.h"
#include "rental/list_form2.h"
#include "rental/openers.h"
#include "rental/prerentlist.h"
#include "support/closewindows.h"
#include "support/programfolder.h"
#include "ui/messages.h"
#include "ui/reloadflag.h"
#include "ui/twips.h"
#include "driving.h"

using testsupport::ProgramFolder;

namespace {

// Discs 1..n titled 碟<id>, media DVD for even numbers and VCD for odd ones.
void addDiscs(const ProgramFolder &f, int n)
{
    f.exec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < ?) "
                          "INSERT INTO table1 (t13, t38, t7, t18, t14, t11, t10, t20) "
                          "SELECT '碟' || i, 'A1', 1, CASE i % 2 WHEN 0 THEN 'DVD' ELSE 'VCD' END, "
                          "'主角' || i, '导演', '中国', '动作' FROM k"),
           {n});
}

UserControl1 *button(QWidget *w, const QString &name) { return w->findChild<UserControl1 *>(name); }
QLineEdit *edit(QWidget *w, int i) { return w->findChild<QLineEdit *>(QStringLiteral("Text1_%1").arg(i)); }
QComboBox *box(QWidget *w, int i) { return w->findChild<QComboBox *>(QStringLiteral("Combo1_%1").arg(i)); }
QString label(QWidget *w, const QString &name) { return w->findChild<QLabel *>(name)->text(); }

QStringList shownNumbers(ui::PagedListForm *w)
{
    QStringList out;
    for (int r = 1; r <= w->rowsPerPage(); ++r) {
        if (!w->grid()->cellText(r, 0).isEmpty())
            out << w->grid()->cellText(r, 0);
    }
    return out;
}

QStringList numbers(std::initializer_list<int> ids)
{
    QStringList out;
    for (int id : ids)
        out << QStringLiteral("%1").arg(id, 6, 10, QLatin1Char('0'));
    return out;
}

list_Form2 *openPicker()
{
    list_Form2 *w = list_Form2::openNew();
    w->activateWindow();
    if (!QTest::qWaitForWindowExposed(w))
        qWarning("picker not exposed");
    return w;
}

void query(list_Form2 *w)
{
    drive::click(button(w, "button3"));
}

void rent(list_Form2 *w, int first, int last)
{
    drive::selectRows(w->grid(), first, last);
    drive::click(button(w, "button2"));
}

} // namespace

class TestPicker : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void layoutAndFilterBoxes();
    void onlyRentableDiscsListed();
    void filters_data();
    void filters();
    void discNumberThatIsNotANumber_data();
    void discNumberThatIsNotANumber();
    void partTypedIntoABoxIsFilteredAsTyped_data();
    void partTypedIntoABoxIsFilteredAsTyped();
    void pagingAppliesTheFiltersAsTyped();
    void reloadOnActivationIsUnfiltered();
    void rentingRowsTwiceAddsThemOnce();
    void rentButtonNeedsWholeRows_data();
    void rentButtonNeedsWholeRows();
    void discRentedElsewhereMeanwhileIsNotAdded();
    void doubleClickOpensTheDiscForCorrection();
    void closingTheCorrectionGivesTheFocusBack();
    void menuAndRentalWindowOpenPickers();
};

void TestPicker::cleanup()
{
    testsupport::DeleteAllWindows();
    ui::ReloadFlag::clear();
    QCOMPARE(rental::PreRent().PreRentCount(), 0);
}

void TestPicker::layoutAndFilterBoxes()
{
    ProgramFolder f;
    f.exec("INSERT INTO table3 (s13, s8, s11, s2, s6) VALUES ('周星驰', '王晶', 'DVD', '喜剧', '香港')");
    f.exec("INSERT INTO table3 (s13, s11) VALUES ('刘德华', 'VCD')");
    QVERIFY(db::LoadLookupLists().ok());
    addDiscs(f, 3);
    list_Form2 *w = openPicker();
    QCOMPARE(w->windowTitle(), QString("可租碟片列表"));
    QCOMPARE(w->size(), QSize(ui::twips(12030), ui::twips(8370)));
    const QStringList headers = {"碟片编号", "所属柜位", "碟片名称", "主角", "导演/监制", "碟装", "国别", "媒介类别", "内容类别"};
    const QList<int> widths = {820, 800, 1800, 1800, 1000, 500, 1000, 1000, 1000};
    QCOMPARE(w->grid()->columnCount(), 9);
    for (int c = 0; c < 9; ++c) {
        QCOMPARE(w->grid()->cellText(0, c), headers[c]);
        QCOMPARE(w->grid()->columnWidth(c), ui::twips(widths[c]));
    }
    QCOMPARE(w->grid()->cellText(1, 0), QString("000003"));
    QCOMPARE(w->grid()->cellText(1, 2), QString("碟3"));
    QCOMPARE(label(w, "Label1_2"), QString("共 1 页/ 3 记录"));
    QCOMPARE(button(w, "button2")->Caption(), QString("出    租"));
    QCOMPARE(button(w, "button3")->Caption(), QString("查    询"));
    QVERIFY(button(w, "button2")->isVisible());
    QVERIFY(!button(w, "button2")->isEnabled());
    const QList<QStringList> entries = {{"", "周星驰", "刘德华"}, {"", "王晶"}, {"", "DVD", "VCD"}, {"", "喜剧"}, {"", "香港"}};
    for (int i = 0; i < 5; ++i) {
        QStringList got;
        for (int k = 0; k < box(w, i)->count(); ++k)
            got << box(w, i)->itemText(k);
        QCOMPARE(got, entries[i]);
    }
    const QStringList labels = {"碟片编号：", "碟片名称：", "主    角：", "导    演：", "媒介类别：", "内容类别：", "国    家："};
    for (int i = 0; i < labels.size(); ++i)
        QCOMPARE(label(w, QStringLiteral("Label2_%1").arg(i)), labels[i]);
    // The filter column stands to the right of the grid, in the order of the labels.
    QVERIFY(edit(w, 0)->x() > w->grid()->geometry().right());
    QVERIFY(edit(w, 0)->y() < edit(w, 1)->y() && edit(w, 1)->y() < box(w, 0)->y() && box(w, 4)->y() < button(w, "button3")->y());
}

void TestPicker::onlyRentableDiscsListed()
{
    ProgramFolder f;
    addDiscs(f, 6);
    f.exec("UPDATE table1 SET s1 = '2026-03-01', s3 = '客户' WHERE id IN (2, 5)");
    f.exec("UPDATE table1 SET t13 = NULL WHERE id = 4");
    list_Form2 *w = openPicker();
    QCOMPARE(shownNumbers(w), numbers({6, 3, 1}));
    QCOMPARE(label(w, "Label1_2"), QString("共 1 页/ 3 记录"));
}

void TestPicker::filters_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("mediaBox"); // entry of the media box, 0 for the empty one
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("number wins over the title") << "12" << "碟3" << 0 << numbers({12});
    QTest::newRow("number of a rented disc") << "7" << "" << 0 << QStringList{};
    QTest::newRow("number with blanks") << " 12 " << "" << 0 << numbers({12});
    QTest::newRow("number 0 is no number") << "0" << "碟1" << 0 << numbers({19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 1});
    QTest::newRow("one character anywhere") << "" << "3" << 0 << numbers({13, 3});
    QTest::newRow("percent is literal") << "" << "%" << 0 << numbers({20});
    QTest::newRow("underscore is literal") << "" << "_" << 0 << numbers({21});
    QTest::newRow("letter case ignored") << "" << "abc" << 0 << numbers({21});
    QTest::newRow("media exact") << "" << "" << 1 << numbers({20, 18, 16, 14, 12, 10, 8, 6, 4, 2});
    QTest::newRow("title and media") << "" << "1" << 2 << numbers({21, 19, 17, 15, 13, 11, 1});
}

void TestPicker::filters()
{
    QFETCH(QString, number);
    QFETCH(QString, title);
    QFETCH(int, mediaBox);
    QFETCH(QStringList, shown);
    ProgramFolder f;
    f.exec("INSERT INTO table3 (s11) VALUES ('DVD'), ('VCD'), ('DV')");
    QVERIFY(db::LoadLookupLists().ok());
    addDiscs(f, 19);
    f.exec("INSERT INTO table1 (t13, t18) VALUES ('百分之100%', 'DVD'), ('ABC_1', 'VCD'), ('X', 'DV')");
    f.exec("UPDATE table1 SET s3 = '客户', s1 = '2026-03-01' WHERE id = 7");
    list_Form2 *w = openPicker();
    drive::type(edit(w, 0), number);
    drive::type(edit(w, 1), title);
    box(w, 2)->setCurrentIndex(mediaBox);
    msg::Recorder rec;
    query(w);
    QCOMPARE(rec.texts(), QStringList{});
    QCOMPARE(shownNumbers(w), shown);
}

void TestPicker::discNumberThatIsNotANumber_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("byPaging");
    for (const bool paging : {false, true}) {
        const QString how = paging ? "paging: " : "query: ";
        QTest::newRow(qPrintable(how + "letters")) << "12a" << paging;
        QTest::newRow(qPrintable(how + "decimal")) << "1.5" << paging;
        QTest::newRow(qPrintable(how + "beyond 64 bits")) << "99999999999999999999" << paging;
        QTest::newRow(qPrintable(how + "full-width digits")) << "１２" << paging;
    }
}

void TestPicker::discNumberThatIsNotANumber()
{
    QFETCH(QString, typed);
    QFETCH(bool, byPaging);
    ProgramFolder f;
    addDiscs(f, 40);
    list_Form2 *w = openPicker();
    msg::Recorder rec;
    drive::type(edit(w, 0), typed);
    drive::click(button(w, byPaging ? "button1_1" : "button3"));
    QCOMPARE(rec.texts(), QStringList{"碟片编号请填入整数！"});
    QTRY_VERIFY(edit(w, 0)->hasFocus());
    QCOMPARE(edit(w, 0)->selectedText(), typed.left(20));
    // The list stays as it was, and the next query with a number works.
    QCOMPARE(w->currentPage(), qint64(1));
    QCOMPARE(shownNumbers(w).first(), QString("000040"));
    drive::type(edit(w, 0), "33");
    query(w);
    QCOMPARE(shownNumbers(w), numbers({33}));
}

// A part that starts a stored starring or director is not completed to it: the filter is
// the part, keyed or committed at once by an input method.
void TestPicker::partTypedIntoABoxIsFilteredAsTyped_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("oneCommit");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("周 in 主角, committed") << 0 << QStringLiteral("周") << true << numbers({3, 2, 1});
    QTest::newRow("jet in 主角, keys") << 0 << QStringLiteral("jet") << false << numbers({5, 4});
    QTest::newRow("jet in 主角, committed") << 0 << QStringLiteral("jet") << true << numbers({5, 4});
    QTest::newRow("jo in 导演, keys") << 1 << QStringLiteral("jo") << false << numbers({5, 4, 2, 1});
    QTest::newRow("DV in 媒介类别 is no media") << 2 << QStringLiteral("DV") << false << QStringList{};
}

void TestPicker::partTypedIntoABoxIsFilteredAsTyped()
{
    QFETCH(int, box);
    QFETCH(QString, typed);
    QFETCH(bool, oneCommit);
    QFETCH(QStringList, shown);
    ProgramFolder f;
    f.exec(QStringLiteral("INSERT INTO table1 (t13, t38, t7, t18, t14, t11) VALUES "
                          "('碟1', 'A1', 1, 'DVD', '周星驰', 'john Woo'), ('碟2', 'A1', 1, 'DVD', '周星驰 吴孟达', 'Jones'), "
                          "('碟3', 'A1', 1, 'DVD', '小周', '王晶'), ('碟4', 'A1', 1, 'DVD', 'jet Li', 'jo'), "
                          "('碟5', 'A1', 1, 'DVD', 'jet lee', 'Johnnie To'), ('碟6', 'A1', 1, 'DVD', '成龙', '成龙')"));
    db::Lookups().StarringList.assign({QStringLiteral("周星驰"), QStringLiteral("jet Li")});
    db::Lookups().DirectorList.assign({QStringLiteral("john Woo")});
    db::Lookups().MediaList.assign({QStringLiteral("DVD")});
    list_Form2 *w = openPicker();
    QComboBox *b = ::box(w, box);
    if (oneCommit) {
        drive::focus(b);
        QInputMethodEvent commit;
        commit.setCommitString(typed);
        QApplication::sendEvent(b->lineEdit(), &commit);
    } else {
        drive::type(b->lineEdit(), typed);
    }
    QCOMPARE(b->currentText(), typed);
    query(w);
    QCOMPARE(shownNumbers(w), shown);
}

void TestPicker::pagingAppliesTheFiltersAsTyped()
{
    ProgramFolder f;
    addDiscs(f, 130);
    list_Form2 *w = openPicker();
    QCOMPARE(label(w, "Label1_2"), QString("共 5 页/ 130 记录"));
    // Even discs only (DVD), typed but not queried: the next page is page 2 of that result.
    box(w, 2)->setEditText("DVD");
    drive::click(button(w, "button1_1"));
    QCOMPARE(label(w, "Label1_2"), QString("共 3 页/ 65 记录"));
    QCOMPARE(label(w, "Label1_3"), QString("2"));
    QCOMPARE(shownNumbers(w).first(), QString("000070"));
    // A query keeps the page shown.
    query(w);
    QCOMPARE(label(w, "Label1_3"), QString("2"));
    QCOMPARE(label(w, "Label1_2"), QString("共 3 页/ 65 记录"));
    QCOMPARE(shownNumbers(w).first(), QString("000070"));
    // A query whose result has fewer pages shows its last page.
    drive::type(edit(w, 1), "12");
    query(w);
    QCOMPARE(label(w, "Label1_2"), QString("共 1 页/ 7 记录"));
    QCOMPARE(shownNumbers(w), numbers({128, 126, 124, 122, 120, 112, 12}));
}

void TestPicker::reloadOnActivationIsUnfiltered()
{
    ProgramFolder f;
    addDiscs(f, 10);
    list_Form2 *w = openPicker();
    drive::type(edit(w, 1), "碟1");
    query(w);
    QCOMPARE(shownNumbers(w), numbers({10, 1}));
    ui::ReloadFlag::set();
    w->activate();
    QVERIFY(!ui::ReloadFlag::isSet());
    QCOMPARE(shownNumbers(w).size(), 10);
    // The boxes never show a filter the list does not apply.
    QCOMPARE(edit(w, 1)->text(), QString());
}

void TestPicker::rentingRowsTwiceAddsThemOnce()
{
    ProgramFolder f;
    addDiscs(f, 8);
    f.exec("UPDATE table1 SET t7 = 2 WHERE id = 5");
    list_Form2 *w = openPicker();
    msg::Recorder rec;
    rent(w, 3, 5); // discs 6, 5, 4
    input_Form2 *rental = ui::SharedIfOpen<input_Form2>();
    QVERIFY(rental);
    QCOMPARE(rec.texts(), QStringList{"已添加至预租列表！"});
    const rental::PreRentList &list = rental::PreRent();
    QCOMPARE(list.PreRentCount(), 3);
    QCOMPARE((QList<qint64>{list.PreRentIds(1), list.PreRentIds(2), list.PreRentIds(3)}), (QList<qint64>{6, 5, 4}));
    QCOMPARE(rental->findChild<QLabel *>("Label4")->text(), QString("4"));
    auto *grid = rental->findChild<ui::ListGrid *>("Grid1");
    QCOMPARE(grid->rowCount(), 3);
    QCOMPARE(grid->cellText(2, 0), QString("000005"));
    QCOMPARE(grid->cellText(2, 2), QString("碟5"));
    QCOMPARE(grid->cellText(2, 5), QString("2"));

    w->activateWindow();
    rent(w, 3, 5);
    QCOMPARE(rec.texts(), (QStringList{"已添加至预租列表！", "已添加至预租列表！"}));
    QCOMPARE(list.PreRentCount(), 3);
    QCOMPARE(grid->rowCount(), 3);
    QCOMPARE(rental->findChild<QLabel *>("Label4")->text(), QString("4"));
    // Dragged upward, the same rows are what was picked.
    rent(w, 2, 1);
    QCOMPARE(list.PreRentCount(), 5);
    QCOMPARE(list.PreRentIds(4), qint64(8));
    QCOMPARE(list.PreRentIds(5), qint64(7));
}

void TestPicker::rentButtonNeedsWholeRows_data()
{
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("number cell") << "click 2 0" << true;
    QTest::newRow("title cell") << "click 2 2" << false;
    QTest::newRow("number cell, then paging") << "click 2 0;page" << false;
    QTest::newRow("number cell, then query") << "click 2 0;query" << false;
    QTest::newRow("number column dragged") << "drag 1 0 4 0" << true;
}

void TestPicker::rentButtonNeedsWholeRows()
{
    QFETCH(QString, gesture);
    QFETCH(bool, enabled);
    ProgramFolder f;
    addDiscs(f, 40);
    list_Form2 *w = openPicker();
    for (const QString &step : gesture.split(';')) {
        const QStringList a = step.split(' ');
        if (a[0] == "click")
            drive::clickCell(w->grid(), a[1].toInt(), a[2].toInt());
        else if (a[0] == "drag")
            drive::dragCells(w->grid(), a[1].toInt(), a[2].toInt(), a[3].toInt(), a[4].toInt());
        else if (a[0] == "query")
            query(w);
        else
            drive::click(button(w, "button1_1"));
    }
    QCOMPARE(button(w, "button2")->isEnabled(), enabled);
}

void TestPicker::discRentedElsewhereMeanwhileIsNotAdded()
{
    ProgramFolder f;
    addDiscs(f, 4);
    list_Form2 *w = openPicker();
    f.exec("UPDATE table1 SET s3 = '别人', s1 = '2026-03-15' WHERE id = 3");
    f.exec("UPDATE table1 SET t13 = NULL WHERE id = 2");
    msg::Recorder rec;
    rent(w, 1, 4);
    QCOMPARE(rec.texts(), QStringList{"已添加至预租列表！\r\n碟片 000003、000002 已不能出租（已删除或已租出），未添加。"});
    QCOMPARE(rental::PreRent().PreRentCount(), 2);
    QCOMPARE(rental::PreRent().PreRentIds(1), qint64(4));
    QCOMPARE(rental::PreRent().PreRentIds(2), qint64(1));
}

void TestPicker::doubleClickOpensTheDiscForCorrection()
{
    ProgramFolder f;
    addDiscs(f, 3);
    list_Form2 *w = openPicker();
    drive::doubleClickCell(w->grid(), 2, 2);
    input_Form *correction = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (auto *e = qobject_cast<input_Form *>(top))
            correction = e;
    }
    QVERIFY(correction);
    QCOMPARE(correction->windowTitle(), QString("输入纠正"));
    QCOMPARE(correction->findChild<QLineEdit *>("Text1_11")->text(), QString("碟2"));
    // A double-click on an empty row opens nothing more.
    drive::doubleClickCell(w->grid(), 10, 2);
    int corrections = 0;
    for (QWidget *top : QApplication::topLevelWidgets())
        corrections += qobject_cast<input_Form *>(top) != nullptr;
    QCOMPARE(corrections, 1);
}

void TestPicker::closingTheCorrectionGivesTheFocusBack()
{
    ProgramFolder f;
    addDiscs(f, 3);
    list_Form2 *w = openPicker();
    QWidget other;
    drive::doubleClickCell(w->grid(), 2, 2);
    QPointer<input_Form> correction;
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (auto *e = qobject_cast<input_Form *>(top))
            correction = e;
    }
    QVERIFY(correction);
    QTRY_VERIFY(correction->isActiveWindow());
    // Another window active in between does not take the focus when the correction closes.
    other.show();
    QApplication::setActiveWindow(correction);
    correction->close();
    QTRY_VERIFY(correction.isNull());
    QTRY_VERIFY(w->isActiveWindow());
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w->grid()));
}

void TestPicker::menuAndRentalWindowOpenPickers()
{
    ProgramFolder f;
    addDiscs(f, 5);
    auto *main = new main_MDIForm;
    main->show();
    for (const char *name : {"menu1_2", "menu3_2"})
        QVERIFY(main->menuItem(name)->isEnabled());
    main->menuItem("menu3_2")->trigger();
    main->menuItem("menu3_2")->trigger();
    main->menuItem("menu1_2")->trigger();
    main->menuItem("menu1_2")->trigger();
    QCOMPARE(main->mdiArea()->findChildren<input_Form2 *>().size(), 1);
    auto *rental = main->mdiArea()->findChildren<input_Form2 *>().first();
    QCOMPARE(rental->windowTitle(), QString("租碟登记"));
    QCOMPARE(main->mdiArea()->findChildren<list_Form2 *>().size(), 2);
    for (list_Form2 *p : main->mdiArea()->findChildren<list_Form2 *>()) {
        QCOMPARE(p->windowTitle(), QString("可租碟片列表"));
        QCOMPARE(shownNumbers(p).size(), 5);
    }
    // "选择可租碟片" opens one more picker, the rental window's own, and only once.
    drive::click(button(rental, "Button1_3"));
    drive::click(button(rental, "Button1_3"));
    QCOMPARE(main->mdiArea()->findChildren<list_Form2 *>().size(), 3);
    list_Form2 *own = ui::SharedIfOpen<list_Form2>();
    QVERIFY(own);
    QCOMPARE(main->mdiArea()->activeSubWindow()->widget(), own);
    QCOMPARE(shownNumbers(own).size(), 5);
    // A submit closes the rental window's picker; the menu's stay open.
    msg::Recorder rec;
    drive::type(rental->findChild<QLineEdit *>("Text1_0"), "张三");
    drive::click(button(rental, "Button1_1"));
    QCOMPARE(rec.texts(), QStringList{"数据提交完毕！"});
    QTRY_COMPARE(main->mdiArea()->findChildren<list_Form2 *>().size(), 2);
    QVERIFY(!ui::SharedIfOpen<list_Form2>());
    delete main;
}

QTEST_MAIN(TestPicker)
#include "tst_picker.moc"
