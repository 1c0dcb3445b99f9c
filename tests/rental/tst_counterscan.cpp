// The counter windows driven by a barcode scanner: digits and Return a few milliseconds
// apart into the scan box of the rental window and of the quick-return window, with no
// mouse; then the list shown and the rows stored are read back.
#include <QtTest>

#include <QLabel>
#include <QLineEdit>

#include "data/safety/invariants.h"
#include "hoverpad/usercontrol1.h"
#include "rental/input_form2.h"
#include "rental/openers.h"
#include "rental/prerentlist.h"
#include "rental/quickreturn_form.h"
#include "support/closewindows.h"
#include "support/programfolder.h"
#include "ui/listgrid.h"
#include "ui/messages.h"
#include "ui/reloadflag.h"
#include "ui/windowhost.h"
#include "driving.h"
#include "rentals.h"

using testsupport::ProgramFolder;
using namespace rentals;

namespace {

QLineEdit *scanBox(QWidget *w) { return w->findChild<QLineEdit *>(QStringLiteral("ScanBox")); }
QString scanMessage(QWidget *w) { return w->findChild<QLabel *>(QStringLiteral("ScanMessage"))->text(); }
ui::ListGrid *grid(QWidget *w) { return w->findChild<ui::ListGrid *>(QStringLiteral("Grid1")); }
UserControl1 *button(QWidget *w, int i) { return w->findChild<UserControl1 *>(QStringLiteral("Button1_%1").arg(i)); }

// As a scanner types: each key 3 ms after the last, then Return, into whatever has the
// focus (the scan box must have kept it).
void scan(const QString &code)
{
    QWidget *target = QApplication::focusWidget();
    QVERIFY2(target && target->objectName() == QStringLiteral("ScanBox"), "the scan box has lost the focus");
    QTest::keyClicks(target, code, Qt::NoModifier, 3);
    QTest::keyClick(target, Qt::Key_Return, Qt::NoModifier, 3);
    QApplication::processEvents();
}

QList<qint64> column0(QWidget *w)
{
    QList<qint64> out;
    for (int r = 1; r <= grid(w)->rowCount(); ++r)
        out << grid(w)->cellText(r, 0).toLongLong();
    return out;
}

// Discs 1..5 on the shelf, 6 a deleted disc's slot, 7 out with 张三 since 2026-03-01,
// and one with a number beyond 32 bits.
const qint64 kBig = (qint64(1) << 40) + 3;
void arrange(const ProgramFolder &f)
{
    addCustomer(f, 12, QStringLiteral("张三"), 50);
    for (int d = 1; d <= 5; ++d)
        addDisc(f, d, QStringLiteral("碟%1").arg(d));
    f.exec(QStringLiteral("INSERT INTO table1 (id) VALUES (6)"));
    addDisc(f, 7, QStringLiteral("碟7"));
    rent(f, 7, 12, QStringLiteral("2026-03-01"));
    addDisc(f, kBig, QStringLiteral("远碟"));
}

template <class W>
W *showAndFocus(W *w)
{
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w))
        qWarning("window not active");
    scanBox(w)->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
    return w;
}

} // namespace

class TestCounterScan : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void scanToRent_data();
    void scanToRent();
    void the101stScannedDiscIsRefused();
    void scannedCustomerIsLoaded();
    void scanToReturn_data();
    void scanToReturn();
    void quickReturnAndItsUndoByKeys();
};

void TestCounterScan::cleanup()
{
    testsupport::DeleteAllWindows();
    ui::ReloadFlag::clear();
}

void TestCounterScan::scanToRent_data()
{
    QTest::addColumn<QStringList>("codes");
    QTest::addColumn<QList<qint64>>("listed");
    QTest::addColumn<QString>("said"); // after the last scan
    QTest::newRow("rentable") << QStringList{"000003"} << QList<qint64>{3} << QStringLiteral("已添加：000003 碟3");
    QTest::newRow("rentable, digits only") << QStringList{"2", "4"} << QList<qint64>{2, 4} << QStringLiteral("已添加：000004 碟4");
    QTest::newRow("out") << QStringList{"000007"} << QList<qint64>{}
                         << QStringLiteral("碟片 000007 已租出：张三，2026-03-01 起。");
    QTest::newRow("deleted") << QStringList{"000006"} << QList<qint64>{} << QStringLiteral("碟片 000006 已删除。");
    QTest::newRow("unknown") << QStringList{"000099"} << QList<qint64>{} << QStringLiteral("没有编号为 000099 的碟片。");
    QTest::newRow("twice") << QStringList{"1", "000001"} << QList<qint64>{1} << QStringLiteral("碟片 000001 已在预租列表中。");
    QTest::newRow("not a number") << QStringList{"1x"} << QList<qint64>{} << QStringLiteral("无法识别的编号：1x");
    QTest::newRow("beyond 32 bits") << QStringList{QString::number(kBig)} << QList<qint64>{kBig}
                                    << QStringLiteral("已添加：%1 远碟").arg(kBig);
}

void TestCounterScan::scanToRent()
{
    QFETCH(QStringList, codes);
    QFETCH(QList<qint64>, listed);
    QFETCH(QString, said);
    ProgramFolder f;
    arrange(f);
    msg::Recorder rec;
    rental::OpenRentalWindow();
    input_Form2 *w = showAndFocus(ui::SharedIfOpen<input_Form2>());
    for (const QString &code : codes)
        scan(code);
    QCOMPARE(scanMessage(w), said);
    QCOMPARE(column0(w), listed);
    QCOMPARE(rental::PreRent().PreRentCount(), listed.size());
    // No box took the focus, and the next scan works at once.
    QVERIFY(rec.boxes().isEmpty());
    scan(QStringLiteral("000005"));
    QCOMPARE(column0(w), listed + QList<qint64>{5});
}

void TestCounterScan::the101stScannedDiscIsRefused()
{
    ProgramFolder f;
    f.exec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 101) "
                          "INSERT INTO table1 (t13, t38, t7, t18) SELECT '碟' || i, 'A1', 1, 'DVD' FROM k"));
    msg::Recorder rec;
    rental::OpenRentalWindow();
    input_Form2 *w = showAndFocus(ui::SharedIfOpen<input_Form2>());
    for (int d = 1; d <= 101; ++d)
        scan(QString::number(d));
    QCOMPARE(rental::PreRent().PreRentCount(), 100);
    QCOMPARE(grid(w)->rowCount(), 100);
    QCOMPARE(grid(w)->cellText(100, 0), QStringLiteral("000100"));
    QCOMPARE(scanMessage(w), QStringLiteral("预租列表已满（最多 100 张碟片），碟片 000101 未添加。"));
    QVERIFY(rec.boxes().isEmpty());
}

void TestCounterScan::scannedCustomerIsLoaded()
{
    ProgramFolder f;
    arrange(f);
    msg::Recorder rec;
    rental::OpenRentalWindow();
    input_Form2 *w = showAndFocus(ui::SharedIfOpen<input_Form2>());
    scan(QStringLiteral("C000099"));
    QCOMPARE(scanMessage(w), QStringLiteral("客户 000099 已不存在！"));
    QCOMPARE(w->customerTag(), 0);
    scan(QStringLiteral("C000012"));
    QCOMPARE(w->customerTag(), 12);
    QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("Text1_0"))->text(), QStringLiteral("张三"));
    QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("Text1_39"))->text(), QStringLiteral("50"));
    // Scanning goes on: a disc for that customer, then the commit stores it with them.
    scan(QStringLiteral("000002"));
    QCOMPARE(column0(w), QList<qint64>{2});
    drive::click(button(w, 1));
    QCOMPARE(f.scalar(QStringLiteral("SELECT khid FROM table4 WHERE discid = 2")).toLongLong(), 12);
    QCOMPARE(f.problems(), QString());
}

void TestCounterScan::scanToReturn_data()
{
    QTest::addColumn<QStringList>("codes");
    QTest::addColumn<QList<qint64>>("listed");
    QTest::addColumn<QString>("said");
    QTest::newRow("out") << QStringList{"7"} << QList<qint64>{7} << QStringLiteral("000007 碟7：张三 租于 2026-03-01");
    QTest::newRow("on the shelf") << QStringList{"3"} << QList<qint64>{} << QStringLiteral("碟片 000003 未租出，在架上。");
    QTest::newRow("deleted") << QStringList{"6"} << QList<qint64>{} << QStringLiteral("碟片 000006 已删除。");
    QTest::newRow("unknown") << QStringList{"99"} << QList<qint64>{} << QStringLiteral("没有编号为 000099 的碟片。");
    QTest::newRow("twice") << QStringList{"7", "000007"} << QList<qint64>{7} << QStringLiteral("碟片 000007 已在还碟列表中。");
    QTest::newRow("customer card") << QStringList{"C000012"} << QList<qint64>{}
                                   << QStringLiteral("请扫描碟片编号：C000012 不是碟片编号。");
}

void TestCounterScan::scanToReturn()
{
    QFETCH(QStringList, codes);
    QFETCH(QList<qint64>, listed);
    QFETCH(QString, said);
    ProgramFolder f;
    arrange(f);
    msg::Recorder rec;
    rental::OpenQuickReturns();
    auto *w = showAndFocus(ui::SharedIfOpen<rental::quickReturn_Form>());
    for (const QString &code : codes)
        scan(code);
    QCOMPARE(scanMessage(w), said);
    QCOMPARE(column0(w), listed);
    QVERIFY(rec.boxes().isEmpty());
    if (!listed.isEmpty()) {
        // Customer, rental date and days out (the clock shows 2026-03-15).
        QCOMPARE(grid(w)->cellText(1, 3), QStringLiteral("张三"));
        QCOMPARE(grid(w)->cellText(1, 4), QStringLiteral("2026-03-01"));
        QCOMPARE(grid(w)->cellText(1, 5), QStringLiteral("14"));
    }
}

void TestCounterScan::quickReturnAndItsUndoByKeys()
{
    ProgramFolder f;
    arrange(f);
    msg::Recorder rec;
    // Three discs rented by scanning, for the customer scanned first.
    rental::OpenRentalWindow();
    input_Form2 *rent = showAndFocus(ui::SharedIfOpen<input_Form2>());
    scan(QStringLiteral("C000012"));
    for (const char *d : {"1", "2", "3"})
        scan(QString::fromLatin1(d));
    drive::click(button(rent, 1));
    QCOMPARE(rec.lastText(), QStringLiteral("数据提交完毕！"));
    // The line no longer speaks of the list just committed.
    QCOMPARE(scanMessage(rent), QString());
    const auto snapshot = [&f] {
        return rows(f, QStringLiteral("SELECT 'd', id, t13, s1, s3, s4 FROM table1 UNION ALL "
                                      "SELECT 'k', id, t1, s1, s2, s3 FROM table2 UNION ALL "
                                      "SELECT 'r', id, discid, khid, s2, s3 FROM table4 ORDER BY 1, 2"));
    };
    const auto before = snapshot();

    rental::OpenQuickReturns();
    auto *w = showAndFocus(ui::SharedIfOpen<rental::quickReturn_Form>());
    QVERIFY(!button(w, 1)->isEnabled());
    for (const char *d : {"3", "7", "1", "2"})
        scan(QString::fromLatin1(d));
    QCOMPARE(column0(w), (QList<qint64>{3, 7, 1, 2}));
    drive::click(button(w, 0));
    QCOMPARE(scanMessage(w), QStringLiteral("已还碟 4 张。"));
    QCOMPARE(grid(w)->rowCount(), 0);
    QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM table4 WHERE s2 IS NULL")).toInt(), 0);
    QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM table1 WHERE s3 IS NOT NULL")).toInt(), 0);
    QCOMPARE(f.scalar(QStringLiteral("SELECT s3 FROM table2 WHERE id = 12")).toString(), QStringLiteral("√"));
    QCOMPARE(f.problems(), QString());

    drive::click(button(w, 1));
    QCOMPARE(scanMessage(w), QStringLiteral("已撤销 4 张碟片的还碟。"));
    QCOMPARE(snapshot(), before);
    QCOMPARE(f.problems(), QString());
    QVERIFY(!button(w, 1)->isEnabled());

    // Returned again, then disc 2 rented again: the undo says why and changes nothing.
    for (const char *d : {"1", "2"})
        scan(QString::fromLatin1(d));
    drive::click(button(w, 0));
    showAndFocus(rent);
    scan(QStringLiteral("C000012"));
    scan(QStringLiteral("2"));
    drive::click(button(rent, 1));
    const auto afterRent = snapshot();
    rec.clear();
    drive::click(button(w, 1));
    QCOMPARE(rec.lastText(), QStringLiteral("碟片 000002 还碟后已再次租出，未撤销任何还碟。"));
    QCOMPARE(snapshot(), afterRent);
    QCOMPARE(f.problems(), QString());
}

QTEST_MAIN(TestCounterScan)
#include "tst_counterscan.moc"
