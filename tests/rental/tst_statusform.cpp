// The rental status window driven as the clerk uses it: ticking returns, submitting,
// refunding the deposit, invalidating the card, and two windows for one customer.
#include <QtTest>

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTabWidget>

#include "data/store/clock.h"
#include "hoverpad/usercontrol1.h"
#include "rental/input_form2.h"
#include "rental/input_form3.h"
#include "rentals.h"
#include "support/programfolder.h"
#include "ui/listgrid.h"
#include "ui/messages.h"
#include "ui/windowhost.h"
#include "data/store/programdir.h"

using testsupport::ProgramFolder;
using namespace rentals;

namespace {

const QString kToday = QStringLiteral("2026-03-15");

// A status window opened as the lists open it; closed (and deleted) at scope exit.
struct Window
{
    QPointer<input_Form3> w;
    explicit Window(qint64 customer) : w(input_Form3::openForCustomer(customer))
    {
        if (w && !QTest::qWaitForWindowExposed(w))
            qWarning("status window not shown");
    }
    ~Window()
    {
        if (w)
            w->close();
    }
    input_Form3 *operator->() const { return w; }
    operator input_Form3 *() const { return w; }
};

ui::ListGrid *grid(QWidget *w, int n) { return w->findChild<ui::ListGrid *>(QStringLiteral("Grid%1").arg(n)); }
UserControl1 *button(QWidget *w, int i) { return w->findChild<UserControl1 *>(QStringLiteral("Button1_%1").arg(i)); }
QLineEdit *field(QWidget *w, int i) { return w->findChild<QLineEdit *>(QStringLiteral("Text1_%1").arg(i)); }
QString label(QWidget *w, int i) { return w->findChild<QLabel *>(QStringLiteral("Label%1").arg(i))->text(); }

void click(UserControl1 *b)
{
    QVERIFY(b && b->isVisible() && b->isEnabled());
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
}

void clickCell(ui::ListGrid *g, int row, int col)
{
    auto *tab = qobject_cast<QTabWidget *>(g->window()->findChild<QTabWidget *>(QStringLiteral("SSTab1")));
    tab->setCurrentIndex(g->objectName() == QLatin1String("Grid1") ? 0 : 1);
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->cellRect(row, col).center());
}

QList<QStringList> rowsOf(ui::ListGrid *g)
{
    QList<QStringList> out;
    for (int r = 1; r <= g->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < g->columnCount(); ++c)
            cells << g->cellText(r, c);
        out << cells;
    }
    return out;
}

QStringList column(ui::ListGrid *g, int c)
{
    QStringList out;
    for (int r = 1; r <= g->rowCount(); ++r)
        out << g->cellText(r, c);
    return out;
}

// Customer 12 with three discs out (rented 5, 3 and 0 days ago) and one returned earlier.
void threeOut(const ProgramFolder &f)
{
    addCustomer(f, 12, QStringLiteral("张三"), 100, QStringLiteral("金卡"));
    addDisc(f, 1, QStringLiteral("月光传说"));
    addDisc(f, 2, QStringLiteral("江湖往事"), 2);
    addDisc(f, 3, QStringLiteral("风云"));
    addDisc(f, 4, QStringLiteral("少年"));
    const qint64 old = rent(f, 4, 12, QStringLiteral("2026-02-01"));
    f.exec(QStringLiteral("UPDATE table4 SET s2 = '√', s3 = '2026-02-04' WHERE id = ?"), {old});
    f.exec(QStringLiteral("UPDATE table1 SET s1 = NULL, s3 = NULL WHERE id = 4"));
    rent(f, 1, 12, QStringLiteral("2026-03-10"));
    rent(f, 2, 12, QStringLiteral("2026-03-12"));
    rent(f, 3, 12, kToday);
}

} // namespace

class TestStatusForm : public QObject
{
    Q_OBJECT
private slots:
    void showsTheCustomer();
    void fieldsLaidOutAsInTheRentalWindow();
    void tickTwoAndSubmit();
    void ticking_data();
    void ticking();
    void submitWithNothingTicked();
    void customerWhoNeverRented();
    void deletedDiscs();
    void refund_data();
    void refund();
    void invalidate();
    void twoWindowsForOneCustomer();
    void fieldChecksOnLeaving_data();
    void fieldChecksOnLeaving();
    void dataSwitchShowsTheOtherFile();
    void continueRentingHandsTheCustomerOver();
};

void TestStatusForm::showsTheCustomer()
{
    ProgramFolder f;
    threeOut(f);
    Window w(12);
    QVERIFY(w.w);
    QCOMPARE(w->windowTitle(), QStringLiteral("租碟状况"));
    QCOMPARE(w->property("Tag").toString(), QStringLiteral("12"));
    QCOMPARE(field(w, 0)->text(), QStringLiteral("张三"));
    QCOMPARE(field(w, 1)->text(), QStringLiteral("110105198502300"));
    QCOMPARE(field(w, 26)->text(), QStringLiteral("金卡"));
    QCOMPARE(field(w, 39)->text(), QStringLiteral("100"));
    QCOMPARE(field(w, 40)->text(), QStringLiteral("老顾客"));
    QCOMPARE(label(w, 2), QStringLiteral("2026年3月15日"));
    QCOMPARE(label(w, 4), QStringLiteral("5")); // 1 + 2 + 1 + 1 discs rented over time
    QCOMPARE(label(w, 6), QStringLiteral("4")); // 碟装 of the three out
    QCOMPARE(grid(w, 2)->cellText(0, 7), QStringLiteral("租岀/天"));
    QCOMPARE(grid(w, 2)->cellText(0, 8), QStringLiteral("归还"));
    QCOMPARE(rowsOf(grid(w, 2)),
             (QList<QStringList>{{"000003", "风云", "主角", "导演", "1", "DVD", "2026-03-15", "0", ""},
                                 {"000002", "江湖往事", "主角", "导演", "2", "DVD", "2026-03-12", "3", ""},
                                 {"000001", "月光传说", "主角", "导演", "1", "DVD", "2026-03-10", "5", ""}}));
    QCOMPARE(column(grid(w, 1), 0), (QStringList{"000003", "000002", "000001", "000004"}));
    QCOMPARE(column(grid(w, 1), 7), (QStringList{"0", "3", "5", "3"}));
    QCOMPARE(column(grid(w, 1), 8), (QStringList{"", "", "", "√"}));
    auto *tab = w->findChild<QTabWidget *>(QStringLiteral("SSTab1"));
    QCOMPARE(tab->tabText(0), QStringLiteral("租过碟片列表"));
    QCOMPARE(tab->tabText(1), QStringLiteral("未还碟片列表"));
    for (int i = 0; i < 4; ++i)
        QVERIFY(button(w, i)->isEnabled());
}

void TestStatusForm::fieldsLaidOutAsInTheRentalWindow()
{
    ProgramFolder f;
    threeOut(f);
    Window w(12);
    QVERIFY(w.w);
    input_Form2 *rental = input_Form2::shared();
    QVERIFY(rental);
    // Each field, its line and its caption where the rental window has them, counted from
    // the window's top left, and as large.
    auto place = [](QWidget *window, const QString &name) {
        auto *child = window->findChild<QWidget *>(name);
        return child ? QRect(child->mapTo(window, QPoint(0, 0)), child->size()) : QRect();
    };
    for (int i : {0, 1, 26, 39, 40}) {
        for (const QString &name : {QStringLiteral("Text1_%1"), QStringLiteral("Line1_%1"), QStringLiteral("Label1_%1")}) {
            const QString child = name.arg(i);
            QVERIFY2(place(w, child).isValid(), qPrintable(child));
            QCOMPARE(place(w, child), place(rental, child));
        }
        QCOMPARE(w->findChild<QLabel *>(QStringLiteral("Label1_%1").arg(i))->text(),
                 rental->findChild<QLabel *>(QStringLiteral("Label1_%1").arg(i))->text());
    }
    rental->close();
}

void TestStatusForm::tickTwoAndSubmit()
{
    ProgramFolder f;
    threeOut(f);
    Window w(12);
    clickCell(grid(w, 2), 1, 8);
    clickCell(grid(w, 2), 3, 1);
    QCOMPARE(column(grid(w, 2), 8), (QStringList{"√", "", "√"}));
    click(button(w, 1));

    // Discs 3 and 1 are back; disc 2 is still out and the customer not settled.
    const auto records = rows(f, QStringLiteral("SELECT discid, s2, s3 FROM table4 WHERE discid <> 4 ORDER BY discid"));
    QCOMPARE(records, (QList<QVariantList>{{1, QStringLiteral("√"), kToday},
                                           {2, QVariant(), QVariant()},
                                           {3, QStringLiteral("√"), kToday}}));
    QCOMPARE(rows(f, QStringLiteral("SELECT id FROM table1 WHERE s3 IS NOT NULL")), (QList<QVariantList>{{2}}));
    QVERIFY(f.scalar(QStringLiteral("SELECT s3 FROM table2 WHERE id = 12")).isNull());

    QCOMPARE(column(grid(w, 2), 0), QStringList{"000002"});
    QCOMPARE(column(grid(w, 1), 8), (QStringList{"√", "", "√", "√"}));
    QCOMPARE(column(grid(w, 1), 7), (QStringList{"0", "3", "5", "3"}));
    QCOMPARE(label(w, 6), QStringLiteral("2"));
    QVERIFY(!button(w, 1)->isEnabled());

    // Ticking the last one enables the submit again and settles the customer.
    clickCell(grid(w, 2), 1, 8);
    QVERIFY(button(w, 1)->isEnabled());
    click(button(w, 1));
    QCOMPARE(f.scalar(QStringLiteral("SELECT s3 FROM table2 WHERE id = 12")).toString(), QStringLiteral("√"));
    QCOMPARE(grid(w, 2)->rowCount(), 0);
    QCOMPARE(label(w, 6), QStringLiteral("0"));
}

void TestStatusForm::ticking_data()
{
    QTest::addColumn<QString>("clicks"); // "row col" pairs, then the submit
    QTest::addColumn<QStringList>("marks");
    QTest::addColumn<QList<qint64>>("returned");
    QTest::newRow("mark column") << "2 8" << QStringList{"", "√", ""} << QList<qint64>{2};
    QTest::newRow("title column") << "2 1" << QStringList{"", "√", ""} << QList<qint64>{2};
    QTest::newRow("number cell picks the row") << "2 0" << QStringList{"", "√", ""} << QList<qint64>{2};
    QTest::newRow("tick and untick") << "2 8;2 1" << QStringList{"", "", ""} << QList<qint64>{};
    QTest::newRow("other columns do nothing") << "1 2;2 5;3 7" << QStringList{"", "", ""} << QList<qint64>{};
    QTest::newRow("all three") << "1 8;2 8;3 1" << QStringList{"√", "√", "√"} << QList<qint64>{1, 2, 3};
}

void TestStatusForm::ticking()
{
    QFETCH(QString, clicks);
    QFETCH(QStringList, marks);
    QFETCH(QList<qint64>, returned);
    ProgramFolder f;
    threeOut(f);
    Window w(12);
    for (const QString &c : clicks.split(QLatin1Char(';'))) {
        const QStringList rc = c.split(QLatin1Char(' '));
        clickCell(grid(w, 2), rc[0].toInt(), rc[1].toInt());
    }
    QCOMPARE(column(grid(w, 2), 8), marks);
    QVERIFY(button(w, 1)->isEnabled());
    click(button(w, 1));
    QList<qint64> back;
    for (const QVariantList &r : rows(f, QStringLiteral("SELECT discid FROM table4 WHERE s3 = ? ORDER BY discid"), {kToday}))
        back << r.first().toLongLong();
    QCOMPARE(back, returned);
    QCOMPARE(grid(w, 2)->rowCount(), 3 - int(returned.size()));
    QCOMPARE(f.scalar(QStringLiteral("SELECT s3 FROM table2 WHERE id = 12")).toString(),
             returned.size() == 3 ? QStringLiteral("√") : QString());
}

void TestStatusForm::submitWithNothingTicked()
{
    ProgramFolder f;
    threeOut(f);
    Window w(12);
    const auto before = rows(f, QStringLiteral("SELECT * FROM table4 ORDER BY id"));
    // A change from elsewhere shows after the submit: the window reloads itself.
    f.exec(QStringLiteral("UPDATE table2 SET t5 = '改过' WHERE id = 12"));
    click(button(w, 1));
    QCOMPARE(rows(f, QStringLiteral("SELECT * FROM table4 ORDER BY id")), before);
    QVERIFY(f.scalar(QStringLiteral("SELECT s3 FROM table2 WHERE id = 12")).isNull());
    QCOMPARE(field(w, 40)->text(), QStringLiteral("改过"));
    QCOMPARE(grid(w, 2)->rowCount(), 3);
    QVERIFY(!button(w, 1)->isEnabled());
}

void TestStatusForm::customerWhoNeverRented()
{
    ProgramFolder f;
    addCustomer(f, 30, QStringLiteral("新客"));
    Window w(30);
    QCOMPARE(grid(w, 1)->rowCount(), 0);
    QCOMPARE(grid(w, 2)->rowCount(), 0);
    QCOMPARE(grid(w, 1)->columnCount(), 9);
    QCOMPARE(grid(w, 1)->cellText(0, 0), QStringLiteral("碟片编号"));
    QCOMPARE(label(w, 4), QStringLiteral("0"));
    QCOMPARE(label(w, 6), QStringLiteral("0"));
    QVERIFY(!button(w, 0)->isEnabled()); // no deposit
    QVERIFY(!button(w, 2)->isEnabled()); // no card type
    QCOMPARE(w->findChild<QTabWidget *>(QStringLiteral("SSTab1"))->currentIndex(), 0);
}

void TestStatusForm::deletedDiscs()
{
    ProgramFolder f;
    addCustomer(f, 5, QStringLiteral("李四"));
    addDisc(f, 7, QStringLiteral("丢了"));
    addDisc(f, 8, QStringLiteral("还了再删"));
    const qint64 lost = rent(f, 7, 5, QStringLiteral("2026-03-01"));
    const qint64 back = rent(f, 8, 5, QStringLiteral("2026-02-20"));
    f.exec(QStringLiteral("UPDATE table4 SET s2 = '√', s3 = '2026-02-25' WHERE id = ?"), {back});
    // Both discs deleted from the catalogue on 3月6日, as the disc delete does it.
    f.exec(QStringLiteral("UPDATE table4 SET s2 = '已删除', s4 = '2026-03-06' WHERE discid IN (7, 8)"));
    f.exec(QStringLiteral("UPDATE table1 SET t13 = NULL, t14 = NULL, t11 = NULL, t7 = NULL, t18 = NULL, s1 = NULL, s3 = NULL "
                          "WHERE id IN (7, 8)"));
    Q_UNUSED(lost);
    Window w(5);
    QCOMPARE(grid(w, 2)->rowCount(), 0);
    QCOMPARE(rowsOf(grid(w, 1)), (QList<QStringList>{{"000007", "丢了", "", "", "", "", "2026-03-01", "5", "*"},
                                                    {"000008", "还了再删", "", "", "", "", "2026-02-20", "5", "√*"}}));
}

void TestStatusForm::refund_data()
{
    QTest::addColumn<int>("deposit");
    QTest::newRow("no deposit") << 0;
    QTest::newRow("100 yuan") << 100;
}

void TestStatusForm::refund()
{
    QFETCH(int, deposit);
    ProgramFolder f;
    addCustomer(f, 7, QStringLiteral("王五"), deposit, QStringLiteral("银卡"));
    Window w(7);
    QCOMPARE(button(w, 0)->isEnabled(), deposit > 0);
    QCOMPARE(field(w, 39)->text(), deposit > 0 ? QString::number(deposit) : QString());
    if (deposit == 0)
        return;
    click(button(w, 0));
    QCOMPARE(rows(f, QStringLiteral("SELECT khid, s1, s2, s3 FROM table6")),
             (QList<QVariantList>{{7, 100, QStringLiteral("2025-07-01"), kToday}}));
    QCOMPARE(rows(f, QStringLiteral("SELECT t4, s5 FROM table2 WHERE id = 7")).first(), (QVariantList{0, QVariant()}));
    QCOMPARE(field(w, 39)->text(), QString());
    QVERIFY(!button(w, 0)->isEnabled());
    QCOMPARE(field(w, 26)->text(), QStringLiteral("银卡")); // the card is another matter
}

void TestStatusForm::invalidate()
{
    ProgramFolder f;
    msg::Recorder boxes;
    addCustomer(f, 9, QStringLiteral("赵六"), 50, QStringLiteral("钻石卡"));
    Window w(9);
    click(button(w, 2));
    QCOMPARE(rows(f, QStringLiteral("SELECT khid, s1, s2, s3 FROM table5")),
             (QList<QVariantList>{{9, QStringLiteral("钻石卡"), QStringLiteral("2025-06-01"), kToday}}));
    QCOMPARE(rows(f, QStringLiteral("SELECT t3, s4, t4 FROM table2 WHERE id = 9")).first(),
             (QVariantList{QVariant(), QVariant(), 50}));
    QCOMPARE(field(w, 26)->text(), QString());
    // It stays usable; pressed again it writes nothing and says nothing.
    click(button(w, 2));
    QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM table5")).toInt(), 1);
    QVERIFY(boxes.boxes().isEmpty());
}

// Two windows show the same customer; neither undoes nor repeats what the other did.
void TestStatusForm::twoWindowsForOneCustomer()
{
    ProgramFolder f;
    threeOut(f);
    Window a(12), b(12);
    clickCell(grid(a, 2), 1, 8);
    clickCell(grid(a, 2), 2, 8);
    click(button(a, 1));
    const auto afterA = rows(f, QStringLiteral("SELECT * FROM table4 ORDER BY id"));

    // b still shows three discs out; a day later it ticks one already returned and the third.
    db::Clock::setFixed(QDateTime(QDate(2026, 3, 16), QTime(9, 0)));
    QCOMPARE(grid(b, 2)->rowCount(), 3);
    clickCell(grid(b, 2), 1, 8);
    clickCell(grid(b, 2), 3, 8);
    click(button(b, 1));
    const auto records = rows(f, QStringLiteral("SELECT discid, s2, s3 FROM table4 WHERE discid <> 4 ORDER BY discid"));
    QCOMPARE(records, (QList<QVariantList>{{1, QStringLiteral("√"), QStringLiteral("2026-03-16")},
                                           {2, QStringLiteral("√"), kToday},
                                           {3, QStringLiteral("√"), kToday}}));
    QCOMPARE(f.scalar(QStringLiteral("SELECT s3 FROM table2 WHERE id = 12")).toString(), QStringLiteral("√"));
    QCOMPARE(grid(b, 2)->rowCount(), 0);
    Q_UNUSED(afterA);

    click(button(a, 0));
    click(button(b, 0));
    QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM table6")).toInt(), 1);
    QCOMPARE(field(b, 39)->text(), QString());
    QVERIFY(!button(b, 0)->isEnabled());
}

void TestStatusForm::fieldChecksOnLeaving_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    const QString hint = QStringLiteral("\r\n不填请保持空格。");
    QTest::newRow("deposit 100") << 39 << "100" << QString();
    QTest::newRow("deposit with a letter O") << 39 << "1O0" << QStringLiteral("请填入填入数字，如100！") + hint;
    QTest::newRow("deposit -5") << 39 << "-5" << QStringLiteral("请填入数字，如100！") + hint;
    QTest::newRow("identity card of 17 digits") << 1 << "11010519850230012" << QStringLiteral("身份证号码不正确！") + hint;
    QTest::newRow("identity card of 15 digits") << 1 << "110105850230123" << QString();
    QTest::newRow("name is not checked") << 0 << "x1O0" << QString();
}

void TestStatusForm::fieldChecksOnLeaving()
{
    QFETCH(int, index);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    ProgramFolder f;
    msg::Recorder boxes;
    addCustomer(f, 3, QStringLiteral("张三"), 100, QStringLiteral("金卡"));
    Window w(3);
    QVERIFY(QTest::qWaitForWindowActive(w));
    QLineEdit *e = field(w, index);
    e->setFocus();
    e->clear();
    QTest::keyClicks(e, typed);
    QTest::keyClick(e, Qt::Key_Tab);
    QTest::qWait(20);
    QCOMPARE(boxes.texts(), message.isEmpty() ? QStringList{} : QStringList{message});
    if (!message.isEmpty()) {
        QTRY_VERIFY(e->hasFocus());
        QCOMPARE(e->selectedText(), typed.left(20));
    }
    // Nothing typed here is stored.
    QCOMPARE(rows(f, QStringLiteral("SELECT t1, t2, t4 FROM table2 WHERE id = 3")).first(),
             (QVariantList{QStringLiteral("张三"), QStringLiteral("110105198502300"), 100}));
}

// After the switch to the demonstration data the window shows the customer of that number
// there, so nothing ticked or shown before acts on the other file.
void TestStatusForm::dataSwitchShowsTheOtherFile()
{
    ProgramFolder f;
    threeOut(f);
    f.exec(QStringLiteral("INSERT INTO table2 (id, t1, t4, s5, t3) VALUES (12, '演示客户', 0, NULL, NULL)"), {}, true);
    Window w(12);
    clickCell(grid(w, 2), 1, 8);
    db::DemoData::setEnabled(true);
    ui::DataSwitch::announce();
    QCOMPARE(field(w, 0)->text(), QStringLiteral("演示客户"));
    QCOMPARE(field(w, 39)->text(), QString());
    QCOMPARE(grid(w, 2)->rowCount(), 0);
    QCOMPARE(grid(w, 1)->rowCount(), 0);
    QVERIFY(!button(w, 0)->isEnabled());
    QVERIFY(!button(w, 2)->isEnabled());
    click(button(w, 1));
    QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM table4 WHERE s2 IS NULL")).toInt(), 3);

    db::DemoData::setEnabled(false);
    ui::DataSwitch::announce();
    QCOMPARE(field(w, 0)->text(), QStringLiteral("张三"));
    QCOMPARE(grid(w, 2)->rowCount(), 3);
    QVERIFY(button(w, 0)->isEnabled());
    QVERIFY(button(w, 2)->isEnabled());
}

void TestStatusForm::continueRentingHandsTheCustomerOver()
{
    ProgramFolder f;
    threeOut(f);
    Window w(12);
    click(button(w, 3));
    // The status window has done its part and closes; the rental window holds the customer.
    QTRY_VERIFY(w.w.isNull());
    auto *rental = ui::SharedIfOpen<input_Form2>();
    QVERIFY(rental);
    QCOMPARE(rental->customerTag(), qint64(12));
    QCOMPARE(field(rental, 0)->text(), QStringLiteral("张三"));
    QVERIFY(!field(rental, 0)->isEnabled());
    QCOMPARE(field(rental, 39)->text(), QStringLiteral("100"));
    QVERIFY(field(rental, 40)->isEnabled());
    delete rental;
}

QTEST_MAIN(TestStatusForm)
#include "tst_statusform.moc"
