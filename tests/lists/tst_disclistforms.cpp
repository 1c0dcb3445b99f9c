// The disc list windows driven as the shop keeper uses them: paging, selecting whole rows,
// deleting, reloading after changes, and opening from the menu.
#include <QtTest>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "app/main_mdiform.h"
#include "ui/messages.h"
#include "hoverpad/usercontrol1.h"
#include "lists/list_form.h"
#include "lists/list_form3.h"
#include "ui/reloadflag.h"
#include "support/programfolder.h"

using testsupport::ProgramFolder;

namespace {

// Discs numbered 1..n; the discs in `rented` are out with 客户<id> since `since`.
void addDiscs(const ProgramFolder &f, int n, const QString &rentedWhere = QStringLiteral("0"),
              const QString &since = QStringLiteral("2026-03-01"))
{
    if (n <= 0)
        return;
    f.exec(QStringLiteral(
               "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < ?) "
               "INSERT INTO table1 (t13, t38, t7, t18, t14, t11, t10, t20) "
               "SELECT '碟' || i, 'A1', 1, 'DVD', '主角', '导演', '中国', '动作' FROM k"),
           {n});
    f.exec(QStringLiteral("UPDATE table1 SET s1 = ?, s3 = '客户' || id WHERE %1").arg(rentedWhere), {since});
}

UserControl1 *button(QWidget *w, const QString &name) { return w->findChild<UserControl1 *>(name); }
QString label(QWidget *w, int i) { return w->findChild<QLabel *>(QStringLiteral("Label1_%1").arg(i))->text(); }

void click(UserControl1 *b)
{
    QVERIFY(b && b->isVisible() && b->isEnabled());
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
}

QPoint at(ui::ListGrid *g, int row, int col) { return g->cellRect(row, col).center(); }

void clickCell(ui::ListGrid *g, int row, int col)
{
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, at(g, row, col));
}

void dragCells(ui::ListGrid *g, int row, int col, int toRow, int toCol)
{
    QTest::mousePress(g->viewport(), Qt::LeftButton, {}, at(g, row, col));
    const int step = toRow >= row ? 1 : -1;
    for (int r = row; r != toRow + step; r += step) {
        QMouseEvent move(QEvent::MouseMove, at(g, r, toCol), g->viewport()->mapToGlobal(at(g, r, toCol)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(g->viewport(), &move);
    }
    QTest::mouseRelease(g->viewport(), Qt::LeftButton, {}, at(g, toRow, toCol));
}

// Numbers shown in the grid's number column, empty rows left out.
QStringList shownNumbers(ui::PagedListForm *w)
{
    QStringList out;
    for (int r = 1; r <= w->rowsPerPage(); ++r) {
        if (!w->grid()->cellText(r, 0).isEmpty())
            out << w->grid()->cellText(r, 0);
    }
    return out;
}

// A list opened the way its opener does: flag set, shown, first activation.
template <typename W>
void openList(W &w)
{
    ui::ReloadFlag::set();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.activate();
}

} // namespace

class TestDiscListForms : public QObject
{
    Q_OBJECT
private slots:
    void init() { ui::ReloadFlag::clear(); }
    void firstPage_data();
    void firstPage();
    void pagingIsClamped_data();
    void pagingIsClamped();
    void recordNumbers();
    void wholeRowSelection_data();
    void wholeRowSelection();
    void activationReloadsThePageShown();
    void daysOut();
    void rentedListFollowsRentalState();
    void deleteFrame_data();
    void deleteFrame();
    void correctionFromADeepPage();
    void menusOpenNewWindows();
    void dataSwitchDropsTheRowSelection_data();
    void dataSwitchDropsTheRowSelection();
    void reloadAfterAChangeDropsTheRowSelection();
};

void TestDiscListForms::firstPage_data()
{
    QTest::addColumn<bool>("rentedList");
    QTest::addColumn<int>("discs");
    QTest::addColumn<QString>("counter");
    QTest::addColumn<int>("rowsShown");
    QTest::addColumn<int>("rowsOnPage2");
    for (const bool rented : {false, true}) {
        const char *list = rented ? "rented: " : "all: ";
        QTest::newRow(qPrintable(QString::fromLatin1(list) + "none")) << rented << 0 << QStringLiteral("共 0 页/ 0 记录") << 0 << 0;
        QTest::newRow(qPrintable(QString::fromLatin1(list) + "exactly 30")) << rented << 30 << QStringLiteral("共 1 页/ 30 记录") << 30 << 30;
        QTest::newRow(qPrintable(QString::fromLatin1(list) + "31")) << rented << 31 << QStringLiteral("共 2 页/ 31 记录") << 30 << 1;
    }
}

void TestDiscListForms::firstPage()
{
    QFETCH(bool, rentedList);
    QFETCH(int, discs);
    QFETCH(QString, counter);
    QFETCH(int, rowsShown);
    QFETCH(int, rowsOnPage2);
    ProgramFolder f;
    addDiscs(f, discs, rentedList ? QStringLiteral("1") : QStringLiteral("0"));
    if (rentedList)
        addDiscs(f, 5); // in the shop: never in the rented list
    std::unique_ptr<list_Form> w(rentedList ? new list_Form3 : new list_Form);
    // Before any load the paging buttons cannot be used: hidden in the rented list.
    QCOMPARE(button(w.get(), "button1_1")->isVisibleTo(w.get()), !rentedList);
    openList(*w);
    QCOMPARE(label(w.get(), 2), counter);
    QCOMPARE(shownNumbers(w.get()).size(), rowsShown);
    QCOMPARE(w->grid()->rowCount(), 30);
    QCOMPARE(button(w.get(), "button1_1")->isEnabled(), discs > 0);
    QCOMPARE(button(w.get(), "button1_1")->isVisible(), discs > 0 || !rentedList);
    QCOMPARE(button(w.get(), "button2")->isVisible(), discs > 0);
    QVERIFY(!button(w.get(), "button2")->isEnabled());
    if (discs == 0)
        return;
    QCOMPARE(w->grid()->cellText(1, 0), QStringLiteral("%1").arg(discs, 6, 10, QLatin1Char('0')));
    click(button(w.get(), "button1_1"));
    QCOMPARE(label(w.get(), 3), discs > 30 ? QStringLiteral("2") : QStringLiteral("1"));
    QCOMPARE(shownNumbers(w.get()).size(), rowsOnPage2);
    QCOMPARE(w->rowRecord(rowsOnPage2 + 1), qint64(0)); // the row after the last disc is empty
}

void TestDiscListForms::pagingIsClamped_data()
{
    QTest::addColumn<int>("clicksNext");
    QTest::addColumn<QString>("then");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("firstNumber");
    QTest::newRow("previous on page 1") << 0 << QStringLiteral("button1_0") << QStringLiteral("1") << QStringLiteral("000065");
    QTest::newRow("next on page 1") << 0 << QStringLiteral("button1_1") << QStringLiteral("2") << QStringLiteral("000035");
    QTest::newRow("next on the last page") << 2 << QStringLiteral("button1_1") << QStringLiteral("3") << QStringLiteral("000005");
    QTest::newRow("previous on the last page") << 2 << QStringLiteral("button1_0") << QStringLiteral("2") << QStringLiteral("000035");
}

void TestDiscListForms::pagingIsClamped()
{
    QFETCH(int, clicksNext);
    QFETCH(QString, then);
    QFETCH(QString, page);
    QFETCH(QString, firstNumber);
    ProgramFolder f;
    addDiscs(f, 65);
    list_Form w;
    openList(w);
    for (int i = 0; i < clicksNext; ++i)
        click(button(&w, "button1_1"));
    click(button(&w, then));
    QCOMPARE(label(&w, 3), page);
    QCOMPARE(w.currentPage(), page.toLongLong());
    QCOMPARE(w.grid()->cellText(1, 0), firstNumber);
    QCOMPARE(label(&w, 2), QStringLiteral("共 3 页/ 65 记录"));
}

void TestDiscListForms::recordNumbers()
{
    ProgramFolder f;
    f.exec(QStringLiteral("INSERT INTO table1 (id, t13) VALUES (7, '七'), (123456, '六位'), (1234567, '七位')"));
    list_Form w;
    openList(w);
    QCOMPARE(shownNumbers(&w), (QStringList{"1234567", "123456", "000007"}));
    QCOMPARE(w.rowRecord(1), qint64(1234567));
    QCOMPARE(w.rowRecord(3), qint64(7));
}

void TestDiscListForms::wholeRowSelection_data()
{
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("number cell") << QStringLiteral("click 3 0") << true;
    QTest::newRow("title cell") << QStringLiteral("click 3 2") << false;
    QTest::newRow("first data column") << QStringLiteral("click 3 1") << false;
    QTest::newRow("number cell, then another cell") << QStringLiteral("click 3 0;click 4 5") << false;
    QTest::newRow("number cell, then paging") << QStringLiteral("click 3 0;page") << false;
    QTest::newRow("drag down the number column") << QStringLiteral("drag 2 0 5 0") << true;
    QTest::newRow("drag up the number column") << QStringLiteral("drag 5 0 2 0") << true;
    QTest::newRow("drag across a row to the last column") << QStringLiteral("drag 2 1 2 10") << true;
    QTest::newRow("drag inside the row") << QStringLiteral("drag 2 2 2 9") << false;
}

void TestDiscListForms::wholeRowSelection()
{
    QFETCH(QString, gesture);
    QFETCH(bool, enabled);
    ProgramFolder f;
    addDiscs(f, 40);
    list_Form w;
    openList(w);
    for (const QString &step : gesture.split(QLatin1Char(';'))) {
        const QStringList a = step.split(QLatin1Char(' '));
        if (a[0] == QLatin1String("click"))
            clickCell(w.grid(), a[1].toInt(), a[2].toInt());
        else if (a[0] == QLatin1String("drag"))
            dragCells(w.grid(), a[1].toInt(), a[2].toInt(), a[3].toInt(), a[4].toInt());
        else
            click(button(&w, "button1_1"));
    }
    QCOMPARE(button(&w, "button2")->isEnabled(), enabled);
}

// Correcting a disc sets the reload flag; the list reloads the page it showed when it is
// activated again, and only then.
void TestDiscListForms::activationReloadsThePageShown()
{
    ProgramFolder f;
    addDiscs(f, 100);
    list_Form w, other;
    openList(w);
    openList(other);
    click(button(&w, "button1_1"));
    click(button(&w, "button1_1"));
    QCOMPARE(label(&w, 3), QStringLiteral("3"));
    QCOMPARE(w.grid()->cellText(1, 2), QStringLiteral("碟40"));

    f.exec(QStringLiteral("UPDATE table1 SET t13 = '纠正后' WHERE id = 40"));
    w.activate(); // no change announced: nothing is read
    QCOMPARE(w.grid()->cellText(1, 2), QStringLiteral("碟40"));

    ui::ReloadFlag::set();
    w.activate();
    QCOMPARE(label(&w, 3), QStringLiteral("3"));
    QCOMPARE(w.currentPage(), qint64(3));
    QCOMPARE(w.grid()->cellText(1, 2), QStringLiteral("纠正后"));
    QVERIFY(!ui::ReloadFlag::isSet());

    // The flag was used up by the first list: the other keeps what it shows.
    f.exec(QStringLiteral("UPDATE table1 SET t13 = '又改' WHERE id = 100"));
    other.activate();
    QCOMPARE(other.grid()->cellText(1, 2), QStringLiteral("碟100"));
}

void TestDiscListForms::daysOut()
{
    ProgramFolder f;
    addDiscs(f, 3);
    f.exec(QStringLiteral("UPDATE table1 SET s1 = '2026-03-15', s3 = '今天' WHERE id = 3"));
    f.exec(QStringLiteral("UPDATE table1 SET s1 = '2026-03-14', s3 = '昨天' WHERE id = 2"));
    for (const bool rentedList : {false, true}) {
        std::unique_ptr<list_Form> w(rentedList ? new list_Form3 : new list_Form);
        openList(*w);
        QCOMPARE(w->grid()->cellText(0, 9), QStringLiteral("租岀/天"));
        QCOMPARE(w->grid()->cellText(1, 9), QStringLiteral("0"));
        QCOMPARE(w->grid()->cellText(1, 10), QStringLiteral("今天"));
        QCOMPARE(w->grid()->cellText(2, 9), QStringLiteral("1"));
        QCOMPARE(w->grid()->cellText(2, 10), QStringLiteral("昨天"));
        QCOMPARE(w->grid()->cellText(3, 0), rentedList ? QString() : QStringLiteral("000001"));
        QCOMPARE(w->grid()->cellText(3, 9), QString());
        QCOMPARE(w->grid()->cellText(3, 10), QString());
    }
}

void TestDiscListForms::rentedListFollowsRentalState()
{
    ProgramFolder f;
    addDiscs(f, 40, QStringLiteral("id <= 31"));
    list_Form3 w;
    openList(w);
    QCOMPARE(label(&w, 2), QStringLiteral("共 2 页/ 31 记录"));
    QCOMPARE(w.grid()->cellText(1, 0), QStringLiteral("000031"));
    click(button(&w, "button1_1"));
    QCOMPARE(shownNumbers(&w), QStringList{"000001"});

    // A return clears s3 without announcing it; the list shows it at its next reload.
    f.exec(QStringLiteral("UPDATE table1 SET s1 = NULL, s3 = NULL WHERE id = 31"));
    click(button(&w, "button1_0"));
    QCOMPARE(label(&w, 2), QStringLiteral("共 1 页/ 30 记录"));
    QVERIFY(!shownNumbers(&w).contains(QStringLiteral("000031")));

    f.exec(QStringLiteral("UPDATE table1 SET s1 = '2026-03-15', s3 = '新客' WHERE id = 40"));
    ui::ReloadFlag::set();
    w.activate();
    QCOMPARE(label(&w, 2), QStringLiteral("共 2 页/ 31 记录"));
    QCOMPARE(w.grid()->cellText(1, 0), QStringLiteral("000040"));
    QCOMPARE(w.grid()->cellText(1, 10), QStringLiteral("新客"));
}

void TestDiscListForms::deleteFrame_data()
{
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QList<qint64>>("deleted");
    QTest::newRow("one whole row") << QStringLiteral("click 2 0") << true << QList<qint64>{49};
    QTest::newRow("rows 2 to 4") << QStringLiteral("drag 2 0 4 0") << true << QList<qint64>{47, 48, 49};
    QTest::newRow("cancelled") << QStringLiteral("click 2 0") << false << QList<qint64>{};
    QTest::newRow("dragged upward") << QStringLiteral("drag 4 0 2 0") << true << QList<qint64>{};
    // After a delete the button stays usable with no row selected: the press deletes nothing more.
    QTest::newRow("second press after a delete") << QStringLiteral("click 2 0;delete") << true << QList<qint64>{49};
    QTest::newRow("down into the empty rows") << QStringLiteral("page;drag 19 0 25 0") << true << QList<qint64>{1, 2};
}

void TestDiscListForms::deleteFrame()
{
    QFETCH(QString, gesture);
    QFETCH(bool, confirm);
    QFETCH(QList<qint64>, deleted);
    ProgramFolder f;
    addDiscs(f, 50);
    f.exec(QStringLiteral("INSERT INTO table4 (discid, discname, khid, s1, s2) VALUES "
                          "(49, '碟49', 1, '2026-03-01', '√'), (48, '碟48', 1, '2026-03-02', NULL), (10, '碟10', 1, '2026-03-02', NULL)"));
    msg::Recorder boxes;
    list_Form w;
    openList(w);
    for (const QString &step : gesture.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList a = step.split(QLatin1Char(' '));
        if (a[0] == QLatin1String("click"))
            clickCell(w.grid(), a[1].toInt(), a[2].toInt());
        else if (a[0] == QLatin1String("drag"))
            dragCells(w.grid(), a[1].toInt(), a[2].toInt(), a[3].toInt(), a[4].toInt());
        else if (a[0] == QLatin1String("page"))
            click(button(&w, "button1_1"));
        else
            click(button(&w, "button2"));
    }
    boxes.clear();
    boxes.setNextAnswer(confirm);
    click(button(&w, "button2"));

    QCOMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.boxes().first().kind, msg::Recorder::Box::Confirm);
    QCOMPARE(boxes.lastText(), QStringLiteral("确实要删除吗？"));
    QCOMPARE(boxes.boxes().first().title, QStringLiteral("系统提醒您："));
    QList<qint64> blank;
    for (const QVariantList &r : f.rows(QStringLiteral("SELECT id FROM table1 WHERE t13 IS NULL ORDER BY id")))
        blank << r.first().toLongLong();
    QCOMPARE(blank, deleted);
    // Rental records of deleted discs are marked with the day; others are left alone.
    for (const QVariantList &r : f.rows(QStringLiteral("SELECT discid, s2, s4 FROM table4"))) {
        const bool gone = deleted.contains(r[0].toLongLong());
        QCOMPARE(r[1].toString() == QStringLiteral("已删除"), gone);
        QCOMPARE(r[2].toString(), gone ? QStringLiteral("2026-03-15") : QString());
    }
    // The page shown was reloaded: the counter and rows follow the catalogue.
    if (!confirm)
        return;
    QCOMPARE(w.selectedRow(), 0);
    QVERIFY(!ui::ReloadFlag::isSet());
    QCOMPARE(label(&w, 2), QStringLiteral("共 %1 页/ %2 记录").arg(50 - deleted.size() > 30 ? 2 : 1).arg(50 - deleted.size()));
    for (qint64 id : deleted)
        QVERIFY(!shownNumbers(&w).contains(QStringLiteral("%1").arg(id, 6, 10, QLatin1Char('0'))));
}

void TestDiscListForms::correctionFromADeepPage()
{
    ProgramFolder f;
    addDiscs(f, 100);
    msg::Recorder boxes;
    main_MDIForm main;
    main.resize(1100, 800);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.menuItem(QStringLiteral("menu3_1"))->trigger();
    QMdiSubWindow *listFrame = main.mdiArea()->activeSubWindow();
    auto *list = qobject_cast<list_Form *>(listFrame->widget());
    QVERIFY(list);
    for (int i = 0; i < 3; ++i)
        click(button(list, "button1_1"));
    QCOMPARE(label(list, 3), QStringLiteral("4"));
    // Empty rows below the last disc open nothing.
    QTest::mouseDClick(list->grid()->viewport(), Qt::LeftButton, {}, at(list->grid(), 15, 2));
    QCOMPARE(main.mdiArea()->subWindowList().size(), 1);

    click(button(list, "button1_0"));
    QCOMPARE(label(list, 3), QStringLiteral("3"));
    QTest::mouseDClick(list->grid()->viewport(), Qt::LeftButton, {}, at(list->grid(), 1, 2));
    QCOMPARE(main.mdiArea()->subWindowList().size(), 2);
    QWidget *correction = main.mdiArea()->activeSubWindow()->widget();
    QCOMPARE(correction->windowTitle(), QStringLiteral("输入纠正"));
    auto *title = correction->findChild<QLineEdit *>(QStringLiteral("Text1_11"));
    QVERIFY(title);
    QCOMPARE(title->text(), QStringLiteral("碟40"));
    title->setText(QStringLiteral("纠正后"));
    click(button(correction, "button1_1"));
    QCOMPARE(boxes.lastText(), QStringLiteral("数据更改完毕！"));
    QCOMPARE(f.scalar(QStringLiteral("SELECT t13 FROM table1 WHERE id = 40")).toString(), QStringLiteral("纠正后"));

    main.mdiArea()->setActiveSubWindow(listFrame);
    QCOMPARE(label(list, 3), QStringLiteral("3"));
    QCOMPARE(list->grid()->cellText(1, 2), QStringLiteral("纠正后"));
    QVERIFY(!ui::ReloadFlag::isSet());
}

void TestDiscListForms::menusOpenNewWindows()
{
    ProgramFolder f;
    addDiscs(f, 45, QStringLiteral("id % 2 = 0"));
    main_MDIForm main;
    main.resize(1100, 800);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.menuItem(QStringLiteral("menu3_1"))->trigger();
    main.menuItem(QStringLiteral("menu3_1"))->trigger();
    main.menuItem(QStringLiteral("menu3_3"))->trigger();
    const QList<QMdiSubWindow *> subs = main.mdiArea()->subWindowList();
    QCOMPARE(subs.size(), 3);
    auto *first = qobject_cast<list_Form *>(subs[0]->widget());
    auto *second = qobject_cast<list_Form *>(subs[1]->widget());
    auto *rented = qobject_cast<list_Form3 *>(subs[2]->widget());
    QVERIFY(first && second && rented && first != second);
    QCOMPARE(first->windowTitle(), QStringLiteral("全部碟片列表"));
    QCOMPARE(rented->windowTitle(), QStringLiteral("未还碟片列表"));
    // Becoming the active window loaded each one's first page.
    QCOMPARE(label(first, 2), QStringLiteral("共 2 页/ 45 记录"));
    QCOMPARE(label(second, 2), QStringLiteral("共 2 页/ 45 记录"));
    QCOMPARE(label(rented, 2), QStringLiteral("共 1 页/ 22 记录"));
    QVERIFY(!ui::ReloadFlag::isSet());

    // A change elsewhere, then the user goes back to the first list's frame.
    f.exec(QStringLiteral("INSERT INTO table1 (t13) VALUES ('新到')"));
    ui::ReloadFlag::set();
    main.mdiArea()->setActiveSubWindow(subs[0]);
    QCOMPARE(label(first, 2), QStringLiteral("共 2 页/ 46 记录"));
    QCOMPARE(first->grid()->cellText(1, 2), QStringLiteral("新到"));
    QCOMPARE(label(second, 2), QStringLiteral("共 2 页/ 45 记录"));
}

void TestDiscListForms::dataSwitchDropsTheRowSelection_data()
{
    QTest::addColumn<QString>("gesture");
    QTest::newRow("top row") << QStringLiteral("click 1 0");
    QTest::newRow("rows 1 to 3") << QStringLiteral("drag 1 0 3 0");
}

// Rows picked in one data file must not be deleted from the other: after the switch the
// grid shows other discs, so the selection made before is gone and 删除 waits for a new one.
void TestDiscListForms::dataSwitchDropsTheRowSelection()
{
    QFETCH(QString, gesture);
    ProgramFolder f;
    addDiscs(f, 40);
    f.exec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 40) "
                          "INSERT INTO table1 (t13) SELECT '演示' || i FROM k"),
           {}, true);
    msg::Recorder boxes;
    main_MDIForm main;
    main.resize(1100, 800);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.menuItem(QStringLiteral("menu3_1"))->trigger();
    auto *list = qobject_cast<list_Form *>(main.mdiArea()->activeSubWindow()->widget());
    QVERIFY(list);
    const QStringList a = gesture.split(QLatin1Char(' '));
    if (a[0] == QLatin1String("click"))
        clickCell(list->grid(), a[1].toInt(), a[2].toInt());
    else
        dragCells(list->grid(), a[1].toInt(), a[2].toInt(), a[3].toInt(), a[4].toInt());
    QVERIFY(button(list, "button2")->isEnabled());

    main.menuItem(QStringLiteral("menu4_4"))->trigger();
    QCOMPARE(list->grid()->cellText(1, 2), QStringLiteral("演示40"));
    QVERIFY(!button(list, "button2")->isEnabled());
    QCOMPARE(list->selectedRow(), 0);
    QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM table1 WHERE t13 IS NOT NULL"), {}, true).toInt(), 40);
    main.menuItem(QStringLiteral("menu4_4"))->trigger();
}

// Another window adds a disc while a row is picked: on return the list reloads and the top
// row is now the new disc, which the earlier pick did not mean.
void TestDiscListForms::reloadAfterAChangeDropsTheRowSelection()
{
    ProgramFolder f;
    addDiscs(f, 40);
    msg::Recorder boxes;
    list_Form w;
    openList(w);
    clickCell(w.grid(), 1, 0);
    QVERIFY(button(&w, "button2")->isEnabled());
    QCOMPARE(w.grid()->cellText(1, 0), QStringLiteral("000040"));

    f.exec(QStringLiteral("INSERT INTO table1 (t13) VALUES ('新到')"));
    ui::ReloadFlag::set();
    w.activate();
    QCOMPARE(w.grid()->cellText(1, 2), QStringLiteral("新到"));
    click(button(&w, "button2"));
    QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM table1 WHERE t13 IS NOT NULL")).toInt(), 41);
}

QTEST_MAIN(TestDiscListForms)
#include "tst_disclistforms.moc"
