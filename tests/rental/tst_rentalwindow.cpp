// The rental window driven as the clerk uses it: typing the customer, picking discs in the
// picker, removing rows, submitting; then the rows stored in the file are read back.
#include <QtTest>

#include <QComboBox>
#include <QCryptographicHash>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "data/shop/lookuplists.h"
#include "rental/input_form2.h"
#include "rental/list_form2.h"
#include "rental/openers.h"
#include "rental/prerentlist.h"
#include "support/closewindows.h"
#include "support/programfolder.h"
#include "ui/pagedlistform.h"
#include "ui/messages.h"
#include "ui/reloadflag.h"
#include "ui/textlimit.h"
#include "ui/twips.h"
#include "ui/windowhost.h"
#include "driving.h"

using testsupport::ProgramFolder;
using ui::twips;

namespace {

const QString kToday = QStringLiteral("2026-03-15");
const QList<int> kFields = {0, 1, 26, 39, 40};

// Discs 1..n titled 碟<id>, one disc each.
void addDiscs(const ProgramFolder &f, int n)
{
    f.exec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < ?) "
                          "INSERT INTO table1 (t13, t38, t7, t18) SELECT '碟' || i, 'A1', 1, 'DVD' FROM k"),
           {n});
}

QLineEdit *edit(QWidget *w, int i) { return w->findChild<QLineEdit *>(QStringLiteral("Text1_%1").arg(i)); }
UserControl1 *button(QWidget *w, int i) { return w->findChild<UserControl1 *>(QStringLiteral("Button1_%1").arg(i)); }
QString total(QWidget *w) { return w->findChild<QLabel *>("Label4")->text(); }
ui::ListGrid *grid(QWidget *w) { return w->findChild<ui::ListGrid *>("Grid1"); }
QComboBox *combo(QWidget *w) { return w->findChild<QComboBox *>("Combo1"); }

input_Form2 *openRental()
{
    rental::OpenRentalWindow();
    input_Form2 *w = ui::SharedIfOpen<input_Form2>();
    if (w && !QTest::qWaitForWindowActive(w))
        qWarning("rental window not active");
    return w;
}

// Numbers of the pre-rent list, in grid order, checked against the grid itself.
QList<qint64> listed(QWidget *w)
{
    QList<qint64> ids;
    const rental::PreRentList &list = rental::PreRent();
    if (grid(w)->rowCount() != list.PreRentCount())
        return {-1};
    for (int r = 1; r <= list.PreRentCount(); ++r) {
        if (grid(w)->cellText(r, 0).toLongLong() != list.PreRentIds(r))
            return {-2};
        ids << list.PreRentIds(r);
    }
    return ids;
}

// Picks rows first..last of the page shown in the rental window's own picker.
void pick(input_Form2 *w, int first, int last, int page = 1)
{
    drive::click(button(w, 3));
    list_Form2 *picker = ui::SharedIfOpen<list_Form2>();
    QVERIFY(picker);
    if (page != picker->shownPage())
        picker->showPage(page);
    drive::selectRows(picker->grid(), first, last);
    drive::click(picker->findChild<UserControl1 *>("button2"));
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                       : QByteArray();
}

void typeCustomer(QWidget *w, const QStringList &values)
{
    for (int i = 0; i < kFields.size() && i < values.size(); ++i) {
        if (!values[i].isEmpty())
            drive::type(edit(w, kFields[i]), values[i]);
    }
}

} // namespace

class TestRentalWindow : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void layoutAndDesignTexts();
    void cardTypeDropDown();
    void fieldChecksOnLeaving_data();
    void fieldChecksOnLeaving();
    void nameRequired_data();
    void nameRequired();
    void rentalFromStartToEnd();
    void cardTypeTypedIsStoredAsTyped_data();
    void cardTypeTypedIsStoredAsTyped();
    void packagesAddUpInLabel4();
    void removingRows_data();
    void removingRows();
    void removedDiscCanBeAddedAgain();
    void refusedCommitKeepsEverything();
    void continuingForAStoredCustomer();
    void loadingReplacesTextsTypedBefore();
    void the101stDiscIsRefused();
    void numbersBeyond32Bits();
    void closingEmptiesTheList();
    void dataSwitchForgetsDiscsAndCustomer();
    void customerListButtonOpensAllCustomers();
};

void TestRentalWindow::cleanup()
{
    testsupport::DeleteAllWindows();
    ui::ReloadFlag::clear();
}

void TestRentalWindow::layoutAndDesignTexts()
{
    ProgramFolder f;
    input_Form2 *w = openRental();
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QString("租碟登记"));
    QCOMPARE(w->size(), QSize(twips(12030), twips(8730))); // with the scan line above the list
    const QList<int> maxLengths = {25, 20, 30, 6, 50};
    const QStringList labels = {"姓名", "身份证", "办证", "押金(元/RMB)", "备注"};
    for (int i = 0; i < kFields.size(); ++i) {
        QCOMPARE(ui::LengthLimit(edit(w, kFields[i])), maxLengths[i]);
        QCOMPARE(w->findChild<QLabel *>(QStringLiteral("Label1_%1").arg(kFields[i]))->text(), labels[i]);
    }
    QCOMPARE(w->findChild<QLabel *>("Label1_39")->toolTip(), QString("指月薪.不填为面议"));
    QCOMPARE(w->findChild<QLabel *>("Label2")->text(), QString("2026年3月15日"));
    QCOMPARE(w->findChild<QLabel *>("Label3")->text(), QString("碟数："));
    QCOMPARE(total(w), QString("0"));
    const QStringList captions = {"×重置", "√提交", "客户列表", "选择可租碟片", "移岀预租列表"};
    for (int i = 0; i < 5; ++i)
        QCOMPARE(button(w, i)->Caption(), captions[i]);
    QCOMPARE(button(w, 2)->toolTip(), QString("点击查看列表"));
    QVERIFY(!button(w, 4)->isEnabled());
    QVERIFY(!combo(w)->isVisible());
    const QStringList headers = {"碟片编号", "所属柜位", "碟片名称", "主角", "导演/监制", "碟装", "国别", "媒介类别", "内容类别", ""};
    const QList<int> widths = {820, 800, 1800, 1800, 1000, 500, 1000, 1000, 1000, 1000};
    QCOMPARE(grid(w)->columnCount(), 10);
    QCOMPARE(grid(w)->rowCount(), 0);
    for (int c = 0; c < 10; ++c) {
        QCOMPARE(grid(w)->cellText(0, c), headers[c]);
        QCOMPARE(grid(w)->columnWidth(c), twips(widths[c]));
    }
    QCOMPARE(w->findChild<QGroupBox *>("Frame1")->title(), QString("预租列表"));
    // Tab walks the five fields in order.
    drive::focus(edit(w, 0));
    for (int i = 1; i < kFields.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), edit(w, kFields[i]));
    }
    // The menu opens this one window again rather than a second.
    rental::OpenRentalWindow();
    QCOMPARE(ui::SharedIfOpen<input_Form2>(), w);
}

void TestRentalWindow::cardTypeDropDown()
{
    ProgramFolder f;
    f.exec("INSERT INTO table3 (s3) VALUES ('VIP卡'), ('金卡')");
    QVERIFY(db::LoadLookupLists().ok());
    input_Form2 *w = openRental();
    QLineEdit *type = edit(w, 26);
    drive::focus(type);
    QVERIFY(combo(w)->isVisible());
    QCOMPARE(combo(w)->geometry().topLeft(), QPoint(type->x() + twips(100), type->y() + type->height() + twips(100)));
    QCOMPARE(combo(w)->width(), twips(1500));
    QStringList items;
    for (int i = 0; i < combo(w)->count(); ++i)
        items << combo(w)->itemText(i);
    QCOMPARE(items, (QStringList{"", "VIP卡", "金卡"}));
    // Choosing an entry fills the field and gives it the focus back, without the drop-down.
    drive::focus(combo(w));
    QTest::keyClick(combo(w), Qt::Key_End);
    QApplication::processEvents();
    QCOMPARE(type->text(), QString("金卡"));
    QVERIFY(!combo(w)->isVisible());
    QCOMPARE(QApplication::focusWidget(), type);
    // Any other field hides it; coming back shows it again.
    drive::focus(edit(w, 0));
    drive::focus(type);
    QVERIFY(combo(w)->isVisible());
    drive::focus(edit(w, 40));
    QVERIFY(!combo(w)->isVisible());
    // A message box or another window taking the focus hides it, so a field check that puts
    // the focus back into another field never leaves it open there; the window's return to
    // the front with the card type focused shows it again.
    drive::focus(type);
    QVERIFY(combo(w)->isVisible());
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QApplication::processEvents();
    QVERIFY(!combo(w)->isVisible());
    QApplication::setActiveWindow(w);
    QApplication::processEvents();
    QCOMPARE(QApplication::focusWidget(), type);
    QVERIFY(combo(w)->isVisible());
}

void TestRentalWindow::fieldChecksOnLeaving_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message"); // empty: passes
    const QString digits = "请填入数字，如100！\r\n不填请保持空格。";
    const QString card = "身份证号码不正确！\r\n不填请保持空格。";
    QTest::newRow("deposit 100") << 39 << "100" << "";
    QTest::newRow("deposit 1O0") << 39 << "1O0" << "请填入填入数字，如100！\r\n不填请保持空格。";
    QTest::newRow("deposit -5") << 39 << "-5" << digits;
    QTest::newRow("deposit in Chinese") << 39 << "一百" << digits;
    QTest::newRow("deposit of blanks") << 39 << "   " << "";
    QTest::newRow("card of 15, 850230") << 1 << "110101850230123" << "";
    QTest::newRow("card of 18") << 1 << "110101198501011234" << "";
    QTest::newRow("card of 18, year 2000") << 1 << "110101200001011234" << card;
    QTest::newRow("card of 17") << 1 << "11010119850101123" << card;
    QTest::newRow("card of 18 ending in X") << 1 << "11010119850101123X" << card;
}

void TestRentalWindow::fieldChecksOnLeaving()
{
    QFETCH(int, field);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    ProgramFolder f;
    input_Form2 *w = openRental();
    msg::Recorder rec;
    drive::type(edit(w, field), typed);
    drive::focus(edit(w, 40));
    QTest::qWait(10);
    QCOMPARE(rec.texts(), message.isEmpty() ? QStringList{} : QStringList{message});
    QCOMPARE(edit(w, field)->text(), typed);
    if (!message.isEmpty()) {
        QTRY_COMPARE(QApplication::focusWidget(), edit(w, field));
        QCOMPARE(edit(w, field)->selectedText(), typed.left(20));
    }
}

void TestRentalWindow::nameRequired_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << "";
    QTest::newRow("blanks only") << "   ";
}

void TestRentalWindow::nameRequired()
{
    QFETCH(QString, name);
    ProgramFolder f;
    addDiscs(f, 2);
    input_Form2 *w = openRental();
    msg::Recorder rec;
    pick(w, 1, 1);
    w->activateWindow();
    typeCustomer(w, {name, "", "", "", "备注留着"});
    drive::click(button(w, 1));
    QCOMPARE(rec.texts(), (QStringList{"已添加至预租列表！", "请填入租碟人姓名！"}));
    QCOMPARE(QApplication::focusWidget(), edit(w, 0));
    QCOMPARE(edit(w, 40)->text(), QString("备注留着"));
    QCOMPARE(listed(w), QList<qint64>{2});
    QCOMPARE(f.scalar("SELECT count(*) FROM table2").toInt(), 0);
    QCOMPARE(f.scalar("SELECT count(*) FROM table4").toInt(), 0);
}

void TestRentalWindow::rentalFromStartToEnd()
{
    ProgramFolder f;
    addDiscs(f, 6);
    f.exec("UPDATE table1 SET t7 = 2, t14 = '周星驰' WHERE id = 5");
    input_Form2 *w = openRental();
    msg::Recorder rec;
    typeCustomer(w, {"张三", "110101850230123", "VIP卡", "100", "第一次来"});
    pick(w, 2, 4); // discs 5, 4, 3
    QCOMPARE(listed(w), (QList<qint64>{5, 4, 3}));
    QCOMPARE(grid(w)->cellText(1, 3), QString("周星驰"));
    QCOMPARE(total(w), QString("4"));
    QVERIFY(ui::SharedIfOpen<list_Form2>());
    drive::click(button(w, 1));
    QCOMPARE(rec.texts(), (QStringList{"已添加至预租列表！", "数据提交完毕！"}));

    const auto customer = f.rows("SELECT id, t1, t2, t3, s4, t4, s5, t5, s1, s2, s3 FROM table2");
    QCOMPARE(customer.size(), 1);
    QCOMPARE(customer[0].mid(1, 9), (QVariantList{"张三", "110101850230123", "VIP卡", kToday, 100, kToday, "第一次来", kToday, 4}));
    QVERIFY(customer[0][10].isNull());
    const qint64 khid = customer[0][0].toLongLong();
    QCOMPARE(f.rows("SELECT discid, discname, khid, s1 FROM table4 ORDER BY id"),
             (QList<QVariantList>{{5, "碟5", khid, kToday}, {4, "碟4", khid, kToday}, {3, "碟3", khid, kToday}}));
    QCOMPARE(f.rows("SELECT id, s1, s3, s4 FROM table1 WHERE s3 IS NOT NULL ORDER BY id"),
             (QList<QVariantList>{{3, kToday, "张三", 1}, {4, kToday, "张三", 1}, {5, kToday, "张三", 1}}));
    QCOMPARE(f.scalar("SELECT s3 FROM table3").toString(), QString("VIP卡"));

    // Back to a new customer with an empty list; the rental window's picker is closed.
    for (int i : kFields) {
        QVERIFY(edit(w, i)->text().isEmpty());
        QVERIFY(edit(w, i)->isEnabled());
    }
    QCOMPARE(w->customerTag(), qint64(0));
    QCOMPARE(total(w), QString("0"));
    QCOMPARE(listed(w), QList<qint64>{});
    QVERIFY(ui::ReloadFlag::isSet());
    QTRY_VERIFY(!ui::SharedIfOpen<list_Form2>());
}

// A card type that starts a stored one is rented under, and added to the list, as typed.
void TestRentalWindow::cardTypeTypedIsStoredAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("oneCommit");
    QTest::newRow("VIP, keys") << QStringLiteral("VIP") << false;
    QTest::newRow("金, committed") << QStringLiteral("金") << true;
    QTest::newRow("VIP卡金, committed") << QStringLiteral("VIP卡金") << true;
}

void TestRentalWindow::cardTypeTypedIsStoredAsTyped()
{
    QFETCH(QString, typed);
    QFETCH(bool, oneCommit);
    ProgramFolder f;
    addDiscs(f, 3);
    f.exec("INSERT INTO table3 (s3) VALUES ('VIP卡'), ('金卡')");
    QVERIFY(db::LoadLookupLists().ok());
    input_Form2 *w = openRental();
    msg::Recorder rec;
    typeCustomer(w, {"张三", "110101850230123", "", "100"});
    QLineEdit *type = edit(w, 26);
    if (oneCommit) {
        drive::focus(type);
        QInputMethodEvent commit;
        commit.setCommitString(typed);
        QApplication::sendEvent(type, &commit);
    } else {
        drive::type(type, typed);
    }
    QCOMPARE(type->text(), typed);
    pick(w, 1, 1);
    drive::click(button(w, 1));
    QCOMPARE(rec.texts(), (QStringList{"已添加至预租列表！", "数据提交完毕！"}));
    QCOMPARE(f.scalar("SELECT t3 FROM table2").toString(), typed);
    QCOMPARE(f.scalar("SELECT COUNT(*) FROM table3 WHERE s3 = ?", {typed}).toInt(), 1);
}

void TestRentalWindow::packagesAddUpInLabel4()
{
    ProgramFolder f;
    addDiscs(f, 3);
    f.exec("UPDATE table1 SET t7 = 2 WHERE id = 3");
    input_Form2 *w = openRental();
    msg::Recorder rec;
    pick(w, 1, 2); // discs 3 (two discs) and 2
    QCOMPARE(total(w), QString("3"));
    w->activateWindow();
    drive::clickCell(grid(w), 1, 0);
    drive::click(button(w, 4));
    QCOMPARE(total(w), QString("1"));
    QCOMPARE(listed(w), QList<qint64>{2});
    typeCustomer(w, {"李四"});
    drive::click(button(w, 1));
    QCOMPARE(f.scalar("SELECT s2 FROM table2").toInt(), 1);
    // Both packages rented: the customer's count grows by the three discs.
    pick(w, 1, 2);
    QCOMPARE(listed(w), (QList<qint64>{3, 1}));
    QCOMPARE(total(w), QString("3"));
    typeCustomer(w, {"李四"});
    f.exec("UPDATE table2 SET t2 = '110101850230123'");
    drive::type(edit(w, 1), "110101850230123");
    drive::click(button(w, 1));
    QCOMPARE(f.scalar("SELECT count(*) FROM table2").toInt(), 1);
    QCOMPARE(f.scalar("SELECT s2 FROM table2").toInt(), 4);
}

void TestRentalWindow::removingRows_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<QList<qint64>>("left");
    QTest::newRow("row 2 of 5") << 5 << "2 2" << QList<qint64>{5, 3, 2, 1};
    QTest::newRow("rows 2 to 4") << 5 << "2 4" << QList<qint64>{5, 1};
    QTest::newRow("rows 4 to 2, dragged upward") << 5 << "4 2" << QList<qint64>{5, 1};
    QTest::newRow("the last row") << 5 << "5 5" << QList<qint64>{5, 4, 3, 2};
    QTest::newRow("every row") << 5 << "1 5" << QList<qint64>{};
    QTest::newRow("the only row") << 1 << "1 1" << QList<qint64>{};
}

void TestRentalWindow::removingRows()
{
    QFETCH(int, rows);
    QFETCH(QString, gesture);
    QFETCH(QList<qint64>, left);
    ProgramFolder f;
    addDiscs(f, 5);
    input_Form2 *w = openRental();
    msg::Recorder rec;
    pick(w, 1, rows);
    w->activateWindow();
    const QStringList g = gesture.split(' ');
    // A click inside a row does not pick the whole row.
    drive::clickCell(grid(w), g[0].toInt(), 2);
    QVERIFY(!button(w, 4)->isEnabled());
    drive::selectRows(grid(w), g[0].toInt(), g[1].toInt());
    drive::click(button(w, 4));
    QCOMPARE(listed(w), left);
    QCOMPARE(rental::PreRent().PreRentCount(), int(left.size()));
    QCOMPARE(total(w), QString::number(left.size()));
    QCOMPARE(grid(w)->cellText(0, 2), QString("碟片名称"));
    // Nothing is selected any more: the button waits for the next whole-row pick.
    QVERIFY(!button(w, 4)->isEnabled());
}

void TestRentalWindow::removedDiscCanBeAddedAgain()
{
    ProgramFolder f;
    addDiscs(f, 5);
    input_Form2 *w = openRental();
    msg::Recorder rec;
    pick(w, 1, 5);
    w->activateWindow();
    drive::clickCell(grid(w), 2, 0);
    drive::click(button(w, 4));
    QCOMPARE(listed(w), (QList<qint64>{5, 3, 2, 1}));
    pick(w, 1, 5);
    QCOMPARE(listed(w), (QList<qint64>{5, 3, 2, 1, 4}));
    QCOMPARE(total(w), QString("5"));
    typeCustomer(w, {"王五"});
    drive::click(button(w, 1));
    QCOMPARE(f.scalar("SELECT group_concat(discid) FROM (SELECT discid FROM table4 ORDER BY id)").toString(),
             QString("5,3,2,1,4"));
}

void TestRentalWindow::refusedCommitKeepsEverything()
{
    ProgramFolder f;
    addDiscs(f, 4);
    input_Form2 *w = openRental();
    msg::Recorder rec;
    pick(w, 1, 3); // discs 4, 3, 2
    // Meanwhile disc 3 is deleted from the catalogue.
    f.exec("UPDATE table1 SET t13 = NULL, t38 = NULL, t7 = NULL WHERE id = 3");
    const QByteArray before = fileHash(f.realFile());
    const QStringList typed = {"张三", "110101850230123", "金卡", "100", "备注"};
    typeCustomer(w, typed);
    rec.clear();
    drive::click(button(w, 1));
    QCOMPARE(rec.texts(), QStringList{"以下碟片已不能出租（已删除或已租出）：000003\r\n请将其移岀预租列表后再提交！"});
    QCOMPARE(fileHash(f.realFile()), before);
    for (int i = 0; i < kFields.size(); ++i)
        QCOMPARE(edit(w, kFields[i])->text(), typed[i]);
    QCOMPARE(listed(w), (QList<qint64>{4, 3, 2}));
    QCOMPARE(total(w), QString("3"));
    QVERIFY(ui::SharedIfOpen<list_Form2>());
    // The clerk takes it out and submits again.
    w->activateWindow();
    drive::clickCell(grid(w), 2, 0);
    drive::click(button(w, 4));
    drive::click(button(w, 1));
    QCOMPARE(rec.lastText(), QString("数据提交完毕！"));
    QCOMPARE(f.scalar("SELECT group_concat(discid) FROM (SELECT discid FROM table4 ORDER BY id)").toString(), QString("4,2"));
}

void TestRentalWindow::continuingForAStoredCustomer()
{
    ProgramFolder f;
    addDiscs(f, 3);
    f.exec("INSERT INTO table2 (id, t1, t2, t3, s4, t4, s5, t5, s2, s3) VALUES "
           "(8, '赵六', '110101850230123', '金卡', '2025-01-01', 300, '2025-01-01', '常客', 2, '√'), "
           "(9, '别人', NULL, NULL, NULL, 0, NULL, NULL, 0, NULL)");
    msg::Recorder rec;
    rental::OpenRentalWindowForCustomer(8);
    input_Form2 *w = ui::SharedIfOpen<input_Form2>();
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowActive(w));
    const QStringList shown = {"赵六", "110101850230123", "金卡", "300", "常客"};
    for (int i = 0; i < kFields.size(); ++i) {
        QCOMPARE(edit(w, kFields[i])->text(), shown[i]);
        QCOMPARE(edit(w, kFields[i])->isEnabled(), kFields[i] == 40);
    }
    QTRY_COMPARE(QApplication::focusWidget(), edit(w, 40));
    QCOMPARE(w->customerTag(), qint64(8));
    drive::click(button(w, 0)); // reset does nothing for a stored customer
    QCOMPARE(edit(w, 0)->text(), QString("赵六"));
    pick(w, 1, 2);
    drive::type(edit(w, 40), "又来了");
    drive::click(button(w, 1));
    QCOMPARE(rec.lastText(), QString("数据提交完毕！"));
    QCOMPARE(f.rows("SELECT t1, t3, t4, t5, s1, s2, ifnull(s3, 'NULL') FROM table2 WHERE id = 8").value(0),
             (QVariantList{"赵六", "金卡", 300, "又来了", kToday, 4, "NULL"}));
    QCOMPARE(f.scalar("SELECT group_concat(DISTINCT khid) FROM table4").toString(), QString("8"));
    QCOMPARE(f.scalar("SELECT count(*) FROM table2").toInt(), 2);
    QCOMPARE(w->customerTag(), qint64(0));
    QVERIFY(edit(w, 0)->isEnabled() && edit(w, 0)->text().isEmpty());
    // After the submit the reset empties the fields again.
    typeCustomer(w, {"新人"});
    drive::click(button(w, 0));
    QVERIFY(edit(w, 0)->text().isEmpty());
}

void TestRentalWindow::loadingReplacesTextsTypedBefore()
{
    ProgramFolder f;
    f.exec("INSERT INTO table2 (id, t1, t2, s2) VALUES (1, '持证人', '110101850230123', 0), (2, '无证人', NULL, 0)");
    input_Form2 *w = openRental();
    // Texts typed for a new customer, then "继续租碟" for a customer without a card.
    typeCustomer(w, {"持证人", "110101850230123", "", "", ""});
    rental::OpenRentalWindowForCustomer(2);
    QCOMPARE(edit(w, 0)->text(), QString("无证人"));
    QVERIFY(edit(w, 1)->text().isEmpty());
    QVERIFY(edit(w, 1)->isEnabled());
    msg::Recorder rec;
    drive::click(button(w, 1));
    QCOMPARE(f.rows("SELECT id, t1, ifnull(t2, 'NULL'), ifnull(s1, 'NULL') FROM table2 ORDER BY id"),
             (QList<QVariantList>{{1, "持证人", "110101850230123", "NULL"}, {2, "无证人", "NULL", kToday}}));
    // A customer who cannot be read is reported and nothing changes.
    rec.clear();
    rental::OpenRentalWindowForCustomer(77);
    QCOMPARE(rec.texts(), QStringList{"客户 000077 已不存在！"});
    QCOMPARE(w->customerTag(), qint64(0));
}

void TestRentalWindow::the101stDiscIsRefused()
{
    ProgramFolder f;
    addDiscs(f, 130);
    input_Form2 *w = openRental();
    msg::Recorder rec;
    for (int page = 1; page <= 4; ++page)
        pick(w, 1, 30, page);
    QCOMPARE(rec.texts().mid(0, 3), QStringList(3, "已添加至预租列表！"));
    QCOMPARE(rec.texts().value(3), QString("预租列表最多放 100 张碟片：已添加 10 张，其余 20 张未添加！"));
    QCOMPARE(rental::PreRent().PreRentCount(), 100);
    QCOMPARE(grid(w)->rowCount(), 100);
    QCOMPARE(listed(w).last(), qint64(31));
    QCOMPARE(total(w), QString("100"));
    // Rows already listed still count as listed, not as refused.
    rec.clear();
    pick(w, 1, 30, 1);
    QCOMPARE(rec.texts(), QStringList{"已添加至预租列表！"});
    typeCustomer(w, {"大客户"});
    drive::click(button(w, 1));
    QCOMPARE(f.scalar("SELECT count(*) FROM table4").toInt(), 100);
    QCOMPARE(f.scalar("SELECT s2 FROM table2").toInt(), 100);
}

void TestRentalWindow::numbersBeyond32Bits()
{
    ProgramFolder f;
    const qint64 big = 5000000123LL;
    f.exec("INSERT INTO table1 (id, t13, t7) VALUES (?, '大号碟', 1), (?, '回绕碟', 1)", {big, big % 65536});
    input_Form2 *w = openRental();
    msg::Recorder rec;
    drive::click(button(w, 3));
    list_Form2 *picker = ui::SharedIfOpen<list_Form2>();
    QVERIFY(picker);
    drive::type(picker->findChild<QLineEdit *>("Text1_0"), QString::number(big));
    drive::click(picker->findChild<UserControl1 *>("button3"));
    QCOMPARE(picker->grid()->cellText(1, 0), QString::number(big));
    QCOMPARE(picker->grid()->cellText(2, 0), QString());
    drive::selectRows(picker->grid(), 1, 1);
    drive::click(picker->findChild<UserControl1 *>("button2"));
    QCOMPARE(listed(w), QList<qint64>{big});
    typeCustomer(w, {"大号客户"});
    drive::click(button(w, 1));
    QCOMPARE(rec.lastText(), QString("数据提交完毕！"));
    QCOMPARE(f.scalar("SELECT discid FROM table4").toLongLong(), big);
    QCOMPARE(f.scalar("SELECT id FROM table1 WHERE s3 = '大号客户'").toLongLong(), big);
}

void TestRentalWindow::closingEmptiesTheList()
{
    ProgramFolder f;
    addDiscs(f, 3);
    input_Form2 *w = openRental();
    msg::Recorder rec;
    pick(w, 1, 3);
    QCOMPARE(rental::PreRent().PreRentCount(), 3);
    ui::CloseWindow(w);
    QCOMPARE(rental::PreRent().PreRentCount(), 0);
    QTRY_VERIFY(!ui::SharedIfOpen<input_Form2>());
    input_Form2 *again = openRental();
    QCOMPARE(listed(again), QList<qint64>{});
    QCOMPARE(total(again), QString("0"));
}

void TestRentalWindow::dataSwitchForgetsDiscsAndCustomer()
{
    ProgramFolder f;
    addDiscs(f, 3);
    f.exec("INSERT INTO table2 (id, t1) VALUES (4, '赵六')");
    rental::OpenRentalWindowForCustomer(4);
    input_Form2 *w = ui::SharedIfOpen<input_Form2>();
    msg::Recorder rec;
    pick(w, 1, 2);
    ui::DataSwitch::announce();
    QCOMPARE(listed(w), QList<qint64>{});
    QCOMPARE(total(w), QString("0"));
    QCOMPARE(w->customerTag(), qint64(0));
    QVERIFY(edit(w, 0)->text().isEmpty() && edit(w, 0)->isEnabled());
}

void TestRentalWindow::customerListButtonOpensAllCustomers()
{
    ProgramFolder f;
    f.exec("INSERT INTO table2 (id, t1, s1, s2, s3) VALUES (3, '已还', '2026-03-01', 2, '√'), (4, '未还', '2026-03-10', 1, NULL)");
    input_Form2 *w = openRental();
    QVERIFY(w);
    // Each press opens a list window of its own, every customer in it, newest rental first.
    for (int open = 1; open <= 2; ++open) {
        drive::click(button(w, 2));
        QList<ui::PagedListForm *> lists;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *l = qobject_cast<ui::PagedListForm *>(top); l && l->isVisible())
                lists << l;
        QCOMPARE(lists.size(), open);
        ui::PagedListForm *list = lists.last();
        QCOMPARE(list->windowTitle(), QString("全部客户列表"));
        QCOMPARE(list->grid()->cellText(1, 1), QString("未还"));
        QCOMPARE(list->grid()->cellText(2, 1), QString("已还"));
    }
}

QTEST_MAIN(TestRentalWindow)
#include "tst_rentalwindow.moc"
