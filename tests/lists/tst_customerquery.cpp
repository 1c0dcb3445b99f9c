// The customer query window and its result window, driven with keys and clicks: the boxes,
// the digit check on leaving a date box, the date tests of "查询", reset, the criteria handed
// over, the rows listed, paging, and the rental status window opened from a result.
#include <QtTest>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "app/main_mdiform.h"
#include "data/shop/lookuplists.h"
#include "hoverpad/usercontrol1.h"
#include "lists/openers.h"
#include "lists/qkh_form.h"
#include "lists/qkh_list_form.h"
#include "rental/driving.h"
#include "rental/input_form3.h"
#include "support/programfolder.h"
#include "ui/messages.h"
#include "ui/reloadflag.h"
#include "ui/twips.h"
#include "ui/windowhost.h"

using testsupport::ProgramFolder;

namespace {

const QString kMissing = QStringLiteral("此日期不存在，请重填！");
const QString kIncomplete = QStringLiteral("日期请填完全！");

QComboBox *box(QWidget *w, int i) { return w->findChild<QComboBox *>(QStringLiteral("Combo1_%1").arg(i)); }
QLineEdit *text(QWidget *w, int i) { return w->findChild<QLineEdit *>(QStringLiteral("Text1_%1").arg(i)); }
UserControl1 *button(QWidget *w, const char *name) { return w->findChild<UserControl1 *>(QString::fromLatin1(name)); }
QString label(QWidget *w, const QString &name) { return w->findChild<QLabel *>(name)->text(); }

QStringList items(QComboBox *b)
{
    QStringList out;
    for (int i = 0; i < b->count(); ++i)
        out << b->itemText(i);
    return out;
}

Qkh_Form *openQuery()
{
    lists::OpenCustomerQuery();
    Qkh_Form *w = ui::SharedIfOpen<Qkh_Form>();
    if (w && !QTest::qWaitForWindowActive(w))
        qWarning("query window not active");
    return w;
}

// Types into a date box the way the clerk does (Chinese and full-width through the input method).
void typeInto(QComboBox *b, const QString &value)
{
    drive::type(b->lineEdit(), value);
}

// The six date boxes in the order of the criteria: from year, month, day; to year, month, day.
const int kDateBoxes[6] = {1, 2, 3, 6, 5, 4};

void typeDates(QWidget *w, const QStringList &parts)
{
    for (int i = 0; i < 6 && i < parts.size(); ++i) {
        if (!parts[i].isEmpty())
            typeInto(box(w, kDateBoxes[i]), parts[i]);
    }
}

// Customer numbers in the rows the result window shows.
QStringList shownNumbers(ui::PagedListForm *w)
{
    QStringList out;
    for (int r = 1; r <= w->rowsPerPage(); ++r) {
        if (!w->grid()->cellText(r, 0).isEmpty())
            out << w->grid()->cellText(r, 0);
    }
    return out;
}

void addFixture(const ProgramFolder &f)
{
    f.exec(QStringLiteral(
        "INSERT INTO table2 (id, t1, t2, t3, s1, s2, t4) VALUES "
        "(1, '张三', '11010519850203001X', '金卡', '2005-02-03', 1, 100), "
        "(2, '张三丰', '110105198502030022', '银卡', '2005-02-10', 2, 0), "
        "(3, '李四', '110105198502030033', '金卡', '2005-03-01', 1, 50), "
        "(4, '王五', '110105198502030044', '银卡', '2004-12-31', 1, 0), "
        "(5000000001, '张大千', '110105198502030055', '银卡', '2005-02-28', 4, 0)"));
}

} // namespace

class TestCustomerQuery : public QObject
{
    Q_OBJECT
private slots:
    void init() { ui::ReloadFlag::clear(); }
    void cleanup();
    void layoutAndBoxes();
    void digitCheckOnLeaving_data();
    void digitCheckOnLeaving();
    void dateTestsOfTheQuery_data();
    void dateTestsOfTheQuery();
    void resetEmptiesEveryBox();
    void criteriaHandedOver();
    void rowsListed_data();
    void rowsListed();
    void cardTypeTypedIsSearchedAsTyped_data();
    void cardTypeTypedIsSearchedAsTyped();
    void pagingAndANewQuery();
    void fromTheMenuInTheWorkspace();
};

void TestCustomerQuery::cleanup()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (qobject_cast<Qkh_Form *>(w) || qobject_cast<Qkh_list_Form *>(w) || qobject_cast<input_Form3 *>(w))
            ui::CloseWindow(w);
    }
    QApplication::processEvents();
    QTRY_VERIFY(!ui::SharedIfOpen<Qkh_Form>() && !ui::SharedIfOpen<Qkh_list_Form>());
}

void TestCustomerQuery::layoutAndBoxes()
{
    ProgramFolder f;
    f.exec(QStringLiteral("INSERT INTO table3 (s3) VALUES ('VIP卡'), ('金卡')"));
    QVERIFY(db::LoadLookupLists().ok());
    Qkh_Form *w = openQuery();
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("客户查询"));
    QCOMPARE(w->size(), QSize(ui::twips(6435), ui::twips(4665)));
    QCOMPARE(label(w, "Label1_0"), QStringLiteral("身份证号："));
    QCOMPARE(label(w, "Label1_1"), QStringLiteral("姓    名："));
    QCOMPARE(label(w, "Label1_2"), QStringLiteral("办证类型："));
    QCOMPARE(label(w, "Label1_3"), QStringLiteral("租碟日期："));
    for (int i = 0; i < 6; ++i)
        QCOMPARE(label(w, QStringLiteral("Label2_%1").arg(i)), QString("年月日").at(i % 3));
    QCOMPARE(button(w, "button1")->Caption(), QStringLiteral("重置"));
    QCOMPARE(button(w, "button2")->Caption(), QStringLiteral("查询"));

    QCOMPARE(items(box(w, 0)), (QStringList{"", "VIP卡", "金卡"}));
    QStringList years;
    for (int y = 2000; y <= testsupport::Today().year(); ++y)
        years << QString::number(y);
    QStringList months, days;
    for (int i = 1; i <= 12; ++i)
        months << QString::number(i);
    for (int i = 1; i <= 31; ++i)
        days << QString::number(i);
    for (int i = 0; i <= 6; ++i) {
        QVERIFY(box(w, i)->isEditable());
        QCOMPARE(box(w, i)->currentText(), QString());
    }
    for (int i : {1, 6})
        QCOMPARE(items(box(w, i)), years);
    for (int i : {2, 5})
        QCOMPARE(items(box(w, i)), months);
    for (int i : {3, 4})
        QCOMPARE(items(box(w, i)), days);
    // The from-date row stands above the to-date row, each year, month, day from the left.
    QVERIFY(box(w, 1)->x() < box(w, 2)->x() && box(w, 2)->x() < box(w, 3)->x());
    QVERIFY(box(w, 6)->x() < box(w, 5)->x() && box(w, 5)->x() < box(w, 4)->x());
    QVERIFY(box(w, 1)->y() < box(w, 6)->y());
    // Everything fits inside the window.
    for (QWidget *child : w->findChildren<QWidget *>()) {
        if (child->isVisible() && child->parentWidget() == w)
            QVERIFY2(w->rect().contains(child->geometry()), qPrintable(child->objectName()));
    }
    // The menu brings the same window back.
    lists::OpenCustomerQuery();
    QCOMPARE(ui::SharedIfOpen<Qkh_Form>(), w);
}

void TestCustomerQuery::digitCheckOnLeaving_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message"); // empty: passes
    const QString hint = QStringLiteral("\r\n不填请保持空格。");
    QTest::newRow("month, full-width digit") << 2 << "１" << "月请填入数字，如2！" + hint;
    QTest::newRow("month, letter") << 5 << "a" << "月请填入填入数字，如2！" + hint;
    QTest::newRow("month, full-width letter") << 2 << "ｂ" << "月请填入数字，如2！" + hint;
    QTest::newRow("month, digits") << 5 << "12" << "";
    QTest::newRow("year, full-width digits") << 1 << "２００５" << "年请填入数字，如2000！" + hint;
    QTest::newRow("year, letter O") << 6 << "2OO5" << "年请填入填入数字，如1980！" + hint;
    QTest::newRow("year, minus") << 6 << "-2005" << "年请填入数字，如2000！" + hint;
    QTest::newRow("day, Chinese") << 3 << "十六" << "日请填入数字，如16！" + hint;
    QTest::newRow("day, letter after digits") << 4 << "16x" << "日请填入填入数字，如16！" + hint;
    QTest::newRow("day, blanks only") << 4 << "   " << "";
    QTest::newRow("card type is not checked") << 0 << "abc" << "";
}

void TestCustomerQuery::digitCheckOnLeaving()
{
    QFETCH(int, index);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    ProgramFolder f;
    Qkh_Form *w = openQuery();
    msg::Recorder rec;
    typeInto(box(w, index), typed);
    QCOMPARE(box(w, index)->currentText(), typed);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::qWait(10);
    QCOMPARE(rec.texts(), message.isEmpty() ? QStringList{} : QStringList{message});
    if (!message.isEmpty()) {
        QTRY_COMPARE(QApplication::focusWidget(), box(w, index));
        QCOMPARE(box(w, index)->lineEdit()->selectedText(), typed.left(20));
    }
    QVERIFY(!ui::SharedIfOpen<Qkh_list_Form>());
}

void TestCustomerQuery::dateTestsOfTheQuery_data()
{
    QTest::addColumn<QStringList>("dates"); // from y m d, to y m d
    QTest::addColumn<QString>("message");   // empty: the query runs
    QTest::addColumn<int>("selected");      // the box selected after the message
    QTest::newRow("2000-2-29 passes") << QStringList{"2000", "2", "29", "", "", ""} << "" << -1;
    QTest::newRow("2001-2-29, day") << QStringList{"2001", "2", "29", "", "", ""} << kMissing << 3;
    QTest::newRow("2005-13-1, month") << QStringList{"2005", "13", "1", "", "", ""} << kMissing << 2;
    QTest::newRow("day 0") << QStringList{"2005", "3", "0", "", "", ""} << kMissing << 3;
    QTest::newRow("to 2001-2-29, day") << QStringList{"", "", "", "2001", "2", "29"} << kMissing << 4;
    QTest::newRow("to 2005-13-1, month") << QStringList{"", "", "", "2005", "13", "1"} << kMissing << 5;
    QTest::newRow("year 99999") << QStringList{"99999", "1", "1", "", "", ""} << kMissing << 1;
    QTest::newRow("month 99999") << QStringList{"", "", "", "2005", "99999", "1"} << kMissing << 5;
    QTest::newRow("day 99999") << QStringList{"2005", "1", "99999", "", "", ""} << kMissing << 3;
    QTest::newRow("year only: month") << QStringList{"2005", "", "", "", "", ""} << kIncomplete << 2;
    QTest::newRow("year and month: day") << QStringList{"2005", "2", "", "", "", ""} << kIncomplete << 3;
    QTest::newRow("year and day: month") << QStringList{"2005", "", "3", "", "", ""} << kIncomplete << 2;
    QTest::newRow("month and day: year") << QStringList{"", "2", "3", "", "", ""} << kIncomplete << 1;
    QTest::newRow("day only: year") << QStringList{"", "", "3", "", "", ""} << kIncomplete << 1;
    QTest::newRow("to year only: month") << QStringList{"", "", "", "2005", "", ""} << kIncomplete << 5;
    QTest::newRow("to month only: year") << QStringList{"", "", "", "", "2", ""} << kIncomplete << 6;
    QTest::newRow("to year and month: day") << QStringList{"", "", "", "2005", "2", ""} << kIncomplete << 4;
    QTest::newRow("from fine, to partial") << QStringList{"2005", "2", "3", "2005", "", "9"} << kIncomplete << 5;
    QTest::newRow("from is tested first") << QStringList{"2005", "2", "", "2005", "2", "30"} << kIncomplete << 3;
    QTest::newRow("both complete") << QStringList{"2005", "2", "3", "2005", "12", "31"} << "" << -1;
}

void TestCustomerQuery::dateTestsOfTheQuery()
{
    QFETCH(QStringList, dates);
    QFETCH(QString, message);
    QFETCH(int, selected);
    ProgramFolder f;
    addFixture(f);
    Qkh_Form *w = openQuery();
    msg::Recorder rec;
    typeDates(w, dates);
    drive::click(button(w, "button2"));
    QTest::qWait(10);
    // Digits only: leaving the boxes raised nothing; the query's own test speaks.
    QCOMPARE(rec.texts(), message.isEmpty() ? QStringList{} : QStringList{message});
    if (message.isEmpty()) {
        QVERIFY(ui::SharedIfOpen<Qkh_list_Form>());
        return;
    }
    QVERIFY(!ui::SharedIfOpen<Qkh_list_Form>());
    QTRY_COMPARE(QApplication::focusWidget(), box(w, selected));
    QLineEdit *edit = box(w, selected)->lineEdit();
    QCOMPARE(edit->selectedText(), edit->text().left(20));
}

void TestCustomerQuery::resetEmptiesEveryBox()
{
    ProgramFolder f;
    f.exec(QStringLiteral("INSERT INTO table3 (s3) VALUES ('金卡')"));
    QVERIFY(db::LoadLookupLists().ok());
    Qkh_Form *w = openQuery();
    drive::type(text(w, 0), QStringLiteral("110105"));
    drive::type(text(w, 1), QStringLiteral("张"));
    box(w, 0)->setCurrentIndex(1);
    typeDates(w, {"2005", "2", "3", "2006", "1", "1"});
    drive::click(button(w, "button1"));
    QCOMPARE(text(w, 0)->text(), QString());
    QCOMPARE(text(w, 1)->text(), QString());
    for (int i = 0; i <= 6; ++i)
        QCOMPARE(box(w, i)->currentText(), QString());
    QCOMPARE(w->criteriaText(), QStringLiteral("@@@@@@@@@--@@@--"));
    // The lists stay for the next query.
    QCOMPARE(box(w, 0)->count(), 2);
    QCOMPARE(box(w, 1)->count(), testsupport::Today().year() - 2000 + 1);
}

void TestCustomerQuery::criteriaHandedOver()
{
    ProgramFolder f;
    f.exec(QStringLiteral("INSERT INTO table3 (s3) VALUES ('银卡'), ('金卡')"));
    QVERIFY(db::LoadLookupLists().ok());
    Qkh_Form *w = openQuery();
    drive::type(text(w, 1), QStringLiteral(" 张 "));
    drive::focus(box(w, 0));
    QTest::keyClick(box(w, 0), Qt::Key_Down); // the first entry after the empty one
    QCOMPARE(box(w, 0)->currentText(), QStringLiteral("银卡"));
    typeDates(w, {" 2005", "2", "3 ", "", "", ""});
    msg::Recorder rec;
    drive::click(button(w, "button2"));
    QCOMPARE(rec.texts(), QStringList{});
    auto *result = ui::SharedIfOpen<Qkh_list_Form>();
    QVERIFY(result);
    QCOMPARE(result->windowTitle(), QStringLiteral("客户查询结果"));
    QCOMPARE(result->criteriaText(), QStringLiteral("@@@张@@@银卡@@@2005-2-3@@@--"));
    // The query window stays open.
    QCOMPARE(ui::SharedIfOpen<Qkh_Form>(), w);
    QVERIFY(w->isVisible());
}

void TestCustomerQuery::rowsListed_data()
{
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type"); // entry of Combo1_0: 0 empty, 1 金卡, 2 银卡
    QTest::addColumn<QStringList>("dates");
    QTest::addColumn<QStringList>("numbers");
    const QStringList none{"", "", "", "", "", ""};
    QTest::newRow("everyone") << "" << "" << 0 << none
                              << QStringList{"000003", "5000000001", "000002", "000001", "000004"};
    QTest::newRow("identity card wins over the name")
        << "11010519850203001x" << "李四" << 2 << QStringList{"2006", "1", "1", "", "", ""} << QStringList{"000001"};
    QTest::newRow("name part") << "" << "张" << 0 << none << QStringList{"5000000001", "000002", "000001"};
    QTest::newRow("name and card type") << "" << "张" << 2 << none << QStringList{"5000000001", "000002"};
    QTest::newRow("card type") << "" << "" << 1 << none << QStringList{"000003", "000001"};
    QTest::newRow("between two dates") << "" << "" << 0 << QStringList{"2005", "2", "3", "2005", "2", "28"}
                                       << QStringList{"5000000001", "000002", "000001"};
    QTest::newRow("from a date") << "" << "" << 0 << QStringList{"2005", "2", "10", "", "", ""}
                                 << QStringList{"000003", "5000000001", "000002"};
    QTest::newRow("up to a date") << "" << "" << 0 << QStringList{"", "", "", "2005", "2", "9"}
                                  << QStringList{"000001", "000004"};
    QTest::newRow("from after to") << "" << "" << 0 << QStringList{"2005", "3", "1", "2005", "2", "1"} << QStringList{};
    QTest::newRow("name and dates") << "" << "张" << 0 << QStringList{"2005", "2", "4", "2005", "12", "31"}
                                    << QStringList{"5000000001", "000002"};
}

void TestCustomerQuery::rowsListed()
{
    QFETCH(QString, card);
    QFETCH(QString, name);
    QFETCH(int, type);
    QFETCH(QStringList, dates);
    QFETCH(QStringList, numbers);
    ProgramFolder f;
    addFixture(f);
    f.exec(QStringLiteral("INSERT INTO table3 (s3) VALUES ('金卡'), ('银卡')"));
    QVERIFY(db::LoadLookupLists().ok());
    Qkh_Form *w = openQuery();
    if (!card.isEmpty())
        drive::type(text(w, 0), card);
    if (!name.isEmpty())
        drive::type(text(w, 1), name);
    drive::focus(box(w, 0));
    for (int i = 0; i < type; ++i)
        QTest::keyClick(box(w, 0), Qt::Key_Down);
    typeDates(w, dates);
    msg::Recorder rec;
    drive::click(button(w, "button2"));
    QCOMPARE(rec.texts(), QStringList{});
    auto *result = ui::SharedIfOpen<Qkh_list_Form>();
    QVERIFY(result);
    QCOMPARE(shownNumbers(result), numbers);
    QCOMPARE(label(result, "Label1_2"), numbers.isEmpty() ? QStringLiteral("共 0 页/ 0 记录")
                                                          : QStringLiteral("共 1 页/ %1 记录").arg(numbers.size()));
    QVERIFY(!button(result, "button2")->isVisible()); // no delete
    QCOMPARE(button(result, "button1_1")->isVisible(), !numbers.isEmpty());
}

// A card type typed that starts a stored one stays what was typed, whether keyed or
// committed at once by an input method, and finds the customers of exactly that type.
void TestCustomerQuery::cardTypeTypedIsSearchedAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("oneCommit");
    QTest::addColumn<QStringList>("numbers");
    QTest::newRow("金, committed") << QStringLiteral("金") << true << QStringList{"000006"};
    QTest::newRow("VIP, keys") << QStringLiteral("VIP") << false << QStringList{"000007"};
    QTest::newRow("vip卡, other case") << QStringLiteral("vip卡") << false << QStringList{"000008"};
}

void TestCustomerQuery::cardTypeTypedIsSearchedAsTyped()
{
    QFETCH(QString, typed);
    QFETCH(bool, oneCommit);
    QFETCH(QStringList, numbers);
    ProgramFolder f;
    addFixture(f);
    f.exec(QStringLiteral("INSERT INTO table2 (id, t1, t2, t3, s1, s2, t4) VALUES "
                          "(6, '赵六', '110105198502030066', '金', '2005-02-03', 1, 0), "
                          "(7, '钱七', '110105198502030077', 'VIP', '2005-02-03', 1, 0), "
                          "(8, '孙八', '110105198502030088', 'VIP卡', '2005-02-03', 1, 0)"));
    f.exec(QStringLiteral("INSERT INTO table3 (s3) VALUES ('金卡'), ('银卡'), ('VIP卡')"));
    QVERIFY(db::LoadLookupLists().ok());
    Qkh_Form *w = openQuery();
    if (oneCommit) {
        drive::focus(box(w, 0));
        QInputMethodEvent commit;
        commit.setCommitString(typed);
        QApplication::sendEvent(box(w, 0)->lineEdit(), &commit);
    } else {
        typeInto(box(w, 0), typed);
    }
    QCOMPARE(box(w, 0)->currentText(), typed);
    msg::Recorder rec;
    drive::click(button(w, "button2"));
    auto *result = ui::SharedIfOpen<Qkh_list_Form>();
    QVERIFY(result);
    QCOMPARE(result->criteriaText(), QStringLiteral("@@@@@@%1@@@--@@@--").arg(typed));
    QCOMPARE(shownNumbers(result), numbers);
}

// A result of 75 customers pages like every list; a new query shows its first page, and the
// list follows changes when it becomes active again.
void TestCustomerQuery::pagingAndANewQuery()
{
    ProgramFolder f;
    f.exec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 100) "
                          "INSERT INTO table2 (id, t1, t2, s1, s2) SELECT i, CASE WHEN i <= 75 THEN '赵' ELSE '钱' END || i, "
                          "'card' || i, date('2005-01-01', '+' || i || ' days'), 1 FROM k"));
    Qkh_Form *w = openQuery();
    drive::type(text(w, 1), QStringLiteral("赵"));
    drive::click(button(w, "button2"));
    auto *result = ui::SharedIfOpen<Qkh_list_Form>();
    QVERIFY(result);
    QCOMPARE(label(result, "Label1_2"), QStringLiteral("共 3 页/ 75 记录"));
    QCOMPARE(label(result, "Label1_3"), QStringLiteral("1"));
    QCOMPARE(result->grid()->cellText(1, 1), QStringLiteral("赵75"));
    drive::click(button(result, "button1_1"));
    drive::click(button(result, "button1_1"));
    QCOMPARE(label(result, "Label1_3"), QStringLiteral("3"));
    QCOMPARE(shownNumbers(result).size(), 15);
    QCOMPARE(result->grid()->cellText(15, 0), QStringLiteral("000001"));
    drive::click(button(result, "button1_1")); // past the last page stays on it
    QCOMPARE(label(result, "Label1_3"), QStringLiteral("3"));

    // The next query starts on page 1, in the same window.
    drive::type(text(w, 1), QStringLiteral("钱"));
    drive::click(button(w, "button2"));
    QCOMPARE(ui::SharedIfOpen<Qkh_list_Form>(), result);
    QCOMPARE(label(result, "Label1_2"), QStringLiteral("共 1 页/ 25 记录"));
    QCOMPARE(label(result, "Label1_3"), QStringLiteral("1"));
    QCOMPARE(result->shownPage(), qint64(1));
    QCOMPARE(result->grid()->cellText(1, 1), QStringLiteral("钱100"));
}

// From the menu inside the main window: one query window, one result window, and a double-click
// on a customer whose number needs more than 32 bits opens that customer's status window.
void TestCustomerQuery::fromTheMenuInTheWorkspace()
{
    ProgramFolder f;
    addFixture(f);
    f.exec(QStringLiteral("INSERT INTO table1 (id, t13, t7, s1, s3) VALUES (3, '碟三', 1, '2005-02-28', '张大千')"));
    f.exec(QStringLiteral("INSERT INTO table4 (discid, discname, khid, s1) VALUES (3, '碟三', 5000000001, '2005-02-28')"));
    main_MDIForm main;
    main.resize(1100, 800);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QAction *item = main.menuItem(QStringLiteral("menu2_2"));
    QVERIFY(item->isEnabled());
    item->trigger();
    item->trigger();
    QCOMPARE(main.mdiArea()->subWindowList().size(), 1);
    auto *w = qobject_cast<Qkh_Form *>(main.mdiArea()->activeSubWindow()->widget());
    QVERIFY(w);
    QCOMPARE(w->parentWidget()->windowTitle(), QStringLiteral("客户查询"));

    drive::type(text(w, 1), QStringLiteral("张"));
    typeDates(w, {"2005", "2", "20", "", "", ""});
    drive::click(button(w, "button2"));
    QCOMPARE(main.mdiArea()->subWindowList().size(), 2);
    auto *result = qobject_cast<Qkh_list_Form *>(main.mdiArea()->activeSubWindow()->widget());
    QVERIFY(result);
    QCOMPARE(result->windowTitle(), QStringLiteral("客户查询结果"));
    QCOMPARE(shownNumbers(result), QStringList{"5000000001"});
    QCOMPARE(result->grid()->cellText(1, 3), QStringLiteral("银卡"));
    QCOMPARE(result->grid()->cellText(1, 6), QStringLiteral("2005-02-28"));

    // A second query reuses the result window; it loads on becoming active.
    main.mdiArea()->setActiveSubWindow(main.mdiArea()->subWindowList().first());
    typeDates(w, {"", "", "1", "", "", ""});
    drive::click(button(w, "button2"));
    QCOMPARE(main.mdiArea()->subWindowList().size(), 2);
    QCOMPARE(main.mdiArea()->activeSubWindow()->widget(), result);
    QCOMPARE(shownNumbers(result), (QStringList{"5000000001", "000002", "000001"}));

    drive::doubleClickCell(result->grid(), 1, 2);
    QCOMPARE(main.mdiArea()->subWindowList().size(), 3);
    auto *status = qobject_cast<input_Form3 *>(main.mdiArea()->activeSubWindow()->widget());
    QVERIFY(status);
    QCOMPARE(status->customerId(), qint64(5000000001));
    QCOMPARE(text(status, 0)->text(), QStringLiteral("张大千"));
    QCOMPARE(status->findChild<ui::ListGrid *>(QStringLiteral("Grid2"))->cellText(1, 1), QStringLiteral("碟三"));
    // An empty row opens nothing.
    main.mdiArea()->setActiveSubWindow(main.mdiArea()->subWindowList().at(1));
    drive::doubleClickCell(result->grid(), 10, 2);
    QCOMPARE(main.mdiArea()->subWindowList().size(), 3);
}

QTEST_MAIN(TestCustomerQuery)
#include "tst_customerquery.moc"
