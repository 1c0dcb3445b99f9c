// The customer lists: who is in them, their order and paging over equal dates, the kept
// counts whatever writes the customers, a file of the first release, and the windows.
#include <QtTest>

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "app/main_mdiform.h"
#include "data/shop/customerlists.h"
#include "data/store/pagedquery.h"
#include "data/store/schema.h"
#include "hoverpad/usercontrol1.h"
#include "lists/kh_list_form1.h"
#include "lists/kh_list_form2.h"
#include "rental/input_form3.h"
#include "support/pagewalk.h"
#include "support/programfolder.h"
#include "ui/reloadflag.h"

using testsupport::ProgramFolder;

namespace {

const QString kAll = QStringLiteral("t1 IS NOT NULL");
const QString kOut = QStringLiteral("t1 IS NOT NULL AND s3 IS NULL AND s2 > 0");

// n customers numbered from 1; last rental on one of `days` dates (NULL for every 50th:
// never rented), every third settled, every seventh with no discs rented.
void addCustomers(const ProgramFolder &f, int n, int days = 4)
{
    f.exec(QStringLiteral(
               "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < ?) "
               "INSERT INTO table2 (id, t1, t2, t3, t4, s1, s2, s3) "
               "SELECT i, '客户' || i, '1101051985023' || (i % 100), '金卡', 100, "
               "CASE WHEN i % 50 = 0 THEN NULL ELSE date('2026-03-15', '-' || (i * 7 % ?) || ' days') END, "
               "CASE WHEN i % 7 = 0 THEN 0 ELSE i % 5 + 1 END, CASE WHEN i % 3 = 0 THEN '√' END FROM k"),
           {n, days});
}

QList<qint64> expectedIds(const ProgramFolder &f, const QString &where)
{
    QList<qint64> ids;
    for (const QVariantList &r : f.rows(QStringLiteral("SELECT id FROM table2 WHERE %1 ORDER BY s1 DESC, id DESC").arg(where)))
        ids << r.first().toLongLong();
    return ids;
}

QList<qint64> wholeList(const db::PagedQuery &q)
{
    auto first = db::ReadPage(q, 1, 30);
    if (!first)
        return {-1};
    QList<qint64> all = testsupport::IdsOf(*first);
    for (qint64 page = 2; page <= first->pageCount; ++page)
        all += testsupport::IdsOf(db::ReadPage(q, page, 30).value());
    return all;
}

UserControl1 *button(QWidget *w, const QString &name) { return w->findChild<UserControl1 *>(name); }
QString label(QWidget *w, int i) { return w->findChild<QLabel *>(QStringLiteral("Label1_%1").arg(i))->text(); }

void click(UserControl1 *b)
{
    QVERIFY(b && b->isVisible() && b->isEnabled());
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
}

QStringList shownNumbers(ui::PagedListForm *w)
{
    QStringList out;
    for (int r = 1; r <= w->rowsPerPage(); ++r) {
        if (!w->grid()->cellText(r, 0).isEmpty())
            out << w->grid()->cellText(r, 0);
    }
    return out;
}

} // namespace

class TestCustomerLists : public QObject
{
    Q_OBJECT
private slots:
    void init() { ui::ReloadFlag::clear(); }
    void whoIsListed_data();
    void whoIsListed();
    void equalDatesPagedWithoutRepeatsOrGaps_data();
    void equalDatesPagedWithoutRepeatsOrGaps();
    void countsFollowEveryWrite_data();
    void countsFollowEveryWrite();
    void firstReleaseFileIsUpgraded();
    void filteredCustomers();
    void cells_data();
    void cells();
    void windowsFromTheMenus();
    void doubleClickOpensTheCustomer();
    void listWindowColumns();
};

void TestCustomerLists::whoIsListed_data()
{
    QTest::addColumn<QString>("values"); // t1, s2, s3 of one customer
    QTest::addColumn<bool>("inAll");
    QTest::addColumn<bool>("inUnreturned");
    QTest::newRow("discs out") << "'甲', 3, NULL" << true << true;
    QTest::newRow("settled") << "'甲', 3, '√'" << true << false;
    QTest::newRow("registered, no discs rented") << "'甲', 0, NULL" << true << false;
    QTest::newRow("discs rented NULL") << "'甲', NULL, NULL" << true << false;
    QTest::newRow("free slot") << "NULL, 3, NULL" << false << false;
}

void TestCustomerLists::whoIsListed()
{
    QFETCH(QString, values);
    QFETCH(bool, inAll);
    QFETCH(bool, inUnreturned);
    ProgramFolder f;
    f.exec(QStringLiteral("INSERT INTO table2 (id, t1, s2, s3, s1) VALUES (2, '乙', 1, NULL, '2026-01-01')"));
    f.exec(QStringLiteral("INSERT INTO table2 (id, t1, s2, s3, s1) VALUES (1, %1, '2026-03-01')").arg(values));
    for (const bool all : {true, false}) {
        auto page = db::ReadPage(all ? db::AllCustomersQuery() : db::UnreturnedCustomersQuery(), 1, 30);
        QVERIFY2(page.ok(), qPrintable(page.error()));
        const bool listed = all ? inAll : inUnreturned;
        QCOMPARE(testsupport::IdsOf(*page), listed ? (QList<qint64>{1, 2}) : QList<qint64>{2});
        QCOMPARE(page->recordCount, listed ? qint64(2) : qint64(1));
    }
}

void TestCustomerLists::equalDatesPagedWithoutRepeatsOrGaps_data()
{
    QTest::addColumn<bool>("all");
    QTest::addColumn<QString>("walk"); // f: forward with one reader, b: backward, o: each page alone
    QTest::addColumn<int>("customers");
    QTest::addColumn<int>("days");
    for (const auto &[customers, days] : {std::pair{200, 1}, std::pair{200, 3}, std::pair{5000, 4}}) {
        for (const bool all : {true, false}) {
            const QString list = QStringLiteral("%1 on %2 days, %3 ").arg(customers).arg(days).arg(all ? "all" : "unreturned");
            QTest::newRow(qPrintable(list + "forward")) << all << QStringLiteral("f") << customers << days;
            QTest::newRow(qPrintable(list + "backward")) << all << QStringLiteral("b") << customers << days;
            QTest::newRow(qPrintable(list + "each page alone")) << all << QStringLiteral("o") << customers << days;
        }
    }
}

void TestCustomerLists::equalDatesPagedWithoutRepeatsOrGaps()
{
    QFETCH(bool, all);
    QFETCH(QString, walk);
    QFETCH(int, customers);
    QFETCH(int, days);
    ProgramFolder f;
    addCustomers(f, customers, days);
    f.exec(QStringLiteral("UPDATE table2 SET t1 = NULL WHERE id % 11 = 0")); // free slots in between
    const db::PagedQuery q = all ? db::AllCustomersQuery() : db::UnreturnedCustomersQuery();
    const QList<qint64> expected = expectedIds(f, all ? kAll : kOut);
    const qint64 pages = db::PageCountFor(expected.size(), 30);
    QVERIFY(pages >= 3);

    testsupport::WalkEveryPage(q, expected, walk);
}

void TestCustomerLists::countsFollowEveryWrite_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("new customer") << "INSERT INTO table2 (t1, s1, s2) VALUES ('新客', '2026-03-15', 2)";
    QTest::newRow("blank row appended") << "INSERT INTO table2 DEFAULT VALUES";
    QTest::newRow("blank row filled by a rental")
        << "INSERT INTO table2 DEFAULT VALUES; UPDATE table2 SET t1 = '新客', s1 = '2026-03-15', s2 = s2 + 2, s3 = NULL "
           "WHERE id = (SELECT max(id) FROM table2)";
    QTest::newRow("settled customer rents again") << "UPDATE table2 SET s1 = '2026-03-15', s2 = s2 + 1, s3 = NULL WHERE id = 3";
    QTest::newRow("last disc returned") << "UPDATE table2 SET s3 = '√' WHERE id = 4";
    QTest::newRow("discs rented cleared") << "UPDATE table2 SET s2 = NULL WHERE id IN (1, 2)";
    QTest::newRow("never rented gets a date") << "UPDATE table2 SET s1 = '2026-03-14' WHERE id = 50";
    QTest::newRow("date cleared") << "UPDATE table2 SET s1 = NULL WHERE id BETWEEN 10 AND 20";
    QTest::newRow("name cleared") << "UPDATE table2 SET t1 = NULL WHERE id % 4 = 0";
    QTest::newRow("renumbered") << "UPDATE table2 SET id = id + 100000 WHERE id BETWEEN 100 AND 150";
    QTest::newRow("rows removed") << "DELETE FROM table2 WHERE id % 3 = 1";
    QTest::newRow("every row removed") << "DELETE FROM table2";
}

void TestCustomerLists::countsFollowEveryWrite()
{
    QFETCH(QString, change);
    ProgramFolder f;
    addCustomers(f, 1500, 5);
    for (const QString &sql : change.split(QStringLiteral("; ")))
        f.exec(sql);
    for (const bool all : {true, false}) {
        const QString where = all ? kAll : kOut;
        const db::PagedQuery q = all ? db::AllCustomersQuery() : db::UnreturnedCustomersQuery();
        const qint64 counted = f.scalar(QStringLiteral("SELECT count(*) FROM table2 WHERE ") + where).toLongLong();
        auto first = db::ReadPage(q, 1, 30);
        QVERIFY2(first.ok(), qPrintable(first.error()));
        QCOMPARE(first->recordCount, counted);
        QCOMPARE(wholeList(q), expectedIds(f, where));
    }
}

// A file written by the first release has no customer counts; opened by this one it is
// upgraded and lists its customers in order, and keeps counting afterwards.
void TestCustomerLists::firstReleaseFileIsUpgraded()
{
    ProgramFolder f;
    f.writeOldFile(1, {
        QStringLiteral("INSERT INTO table2 (id, t1, s1, s2, s3) VALUES "
                       "(1, '甲', '2026-03-01', 2, NULL), (2, '乙', '2026-03-05', 1, '√'), (3, '丙', '2026-03-01', 3, NULL), "
                       "(4, NULL, NULL, 0, NULL), (5, '丁', NULL, 0, NULL), (6, '戊', '2026-03-05', 1, NULL)"),
    });
    auto all = db::ReadPage(db::AllCustomersQuery(), 1, 30);
    QVERIFY2(all.ok(), qPrintable(all.error()));
    QCOMPARE(testsupport::IdsOf(*all), (QList<qint64>{6, 2, 3, 1, 5}));
    QCOMPARE(all->recordCount, qint64(5));
    auto out = db::ReadPage(db::UnreturnedCustomersQuery(), 1, 30);
    QVERIFY(out.ok());
    QCOMPARE(testsupport::IdsOf(*out), (QList<qint64>{6, 3, 1}));
    QCOMPARE(f.scalar(QStringLiteral("PRAGMA user_version")).toInt(), db::SchemaVersion());

    f.exec(QStringLiteral("UPDATE table2 SET t1 = '新', s1 = '2026-03-15', s2 = 1 WHERE id = 4"));
    QCOMPARE(testsupport::IdsOf(db::ReadPage(db::UnreturnedCustomersQuery(), 1, 30).value()), (QList<qint64>{4, 6, 3, 1}));
    QCOMPARE(db::ReadPage(db::AllCustomersQuery(), 1, 30)->recordCount, qint64(6));

    kh_list_Form2 w;
    ui::ReloadFlag::set();
    w.activate();
    QCOMPARE(label(&w, 2), QStringLiteral("共 1 页/ 4 记录"));
    QCOMPARE(shownNumbers(&w), (QStringList{"000004", "000006", "000003", "000001"}));
}

// What a customer query builds on: any condition, the same order, counted by the database.
void TestCustomerLists::filteredCustomers()
{
    ProgramFolder f;
    addCustomers(f, 400, 3);
    const QString where = QStringLiteral("t1 IS NOT NULL AND t2 = ? AND s1 BETWEEN ? AND ?");
    const QVariantList binds = {QStringLiteral("11010519850237"), QStringLiteral("2026-03-13"), QStringLiteral("2026-03-15")};
    const db::PagedQuery q = db::CustomerQuery(where, binds);
    QList<qint64> expected;
    for (const QVariantList &r : f.rows(QStringLiteral("SELECT id FROM table2 WHERE %1 ORDER BY s1 DESC, id DESC").arg(where), binds))
        expected << r.first().toLongLong();
    QVERIFY(expected.size() >= 2);
    QCOMPARE(wholeList(q), expected);
    db::PageReader reader;
    auto p = reader.read(q, 1, 1);
    QVERIFY(p.ok());
    QCOMPARE(p->recordCount, qint64(expected.size()));
    QCOMPARE(testsupport::IdsOf(reader.read(q, 2, 1).value()), QList<qint64>{expected[1]});
}

void TestCustomerLists::cells_data()
{
    QTest::addColumn<QVariantList>("row");
    QTest::addColumn<QStringList>("cells");
    const QVariant null;
    QTest::newRow("out")
        << QVariantList{12, QStringLiteral(" 张三 "), QStringLiteral("110105198502300"), QStringLiteral("金卡"), 3, 100,
                        QStringLiteral("2026-03-15"), null}
        << QStringList{"000012", "张三", "110105198502300", "金卡", "3", "100", "2026-03-15", "", ""};
    QTest::newRow("settled, long number")
        << QVariantList{1234567, "李四", null, null, 0, 0, "2025-12-31", QStringLiteral("√")}
        << QStringList{"1234567", "李四", "", "", "0", "0", "2025-12-31", "√", ""};
    QTest::newRow("never rented")
        << QVariantList{5000000001LL, "王", " ", null, null, null, null, null}
        << QStringList{"5000000001", "王", "", "", "", "", "", "", ""};
}

void TestCustomerLists::cells()
{
    QFETCH(QVariantList, row);
    QFETCH(QStringList, cells);
    QCOMPARE(db::CustomerListCells(row), cells);
}

void TestCustomerLists::windowsFromTheMenus()
{
    ProgramFolder f;
    addCustomers(f, 45, 3);
    main_MDIForm main;
    main.resize(1100, 800);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    for (const char *item : {"menu1_3", "menu3_4", "menu3_5", "menu3_4"}) {
        QAction *a = main.menuItem(QString::fromLatin1(item));
        QVERIFY(a->isEnabled());
        a->trigger();
    }
    const QList<QMdiSubWindow *> subs = main.mdiArea()->subWindowList();
    QCOMPARE(subs.size(), 4);
    const int all = int(expectedIds(f, kAll).size()), out = int(expectedIds(f, kOut).size());
    const struct { const char *cls; const char *caption; int records; } expected[] = {
        {"kh_list_Form2", "未还客户列表", out}, {"kh_list_Form1", "全部客户列表", all},
        {"kh_list_Form2", "未还客户列表", out}, {"kh_list_Form1", "全部客户列表", all}};
    for (int i = 0; i < 4; ++i) {
        auto *w = qobject_cast<kh_list_Form1 *>(subs[i]->widget());
        QVERIFY(w);
        QCOMPARE(w->metaObject()->className(), expected[i].cls);
        QCOMPARE(w->windowTitle(), QString::fromUtf8(expected[i].caption));
        QCOMPARE(label(w, 2), QStringLiteral("共 %1 页/ %2 记录").arg((expected[i].records + 29) / 30).arg(expected[i].records));
        QVERIFY(button(w, "button1_1")->isVisible());
        QVERIFY(!button(w, "button2")->isVisible()); // customers are never deleted from a list
    }
    auto *first = qobject_cast<kh_list_Form1 *>(subs[1]->widget());
    click(button(first, "button1_1"));
    QCOMPARE(shownNumbers(first).size(), all - 30);
}

void TestCustomerLists::doubleClickOpensTheCustomer()
{
    ProgramFolder f;
    f.exec(QStringLiteral("INSERT INTO table2 (id, t1, s1, s2) VALUES (12, '十二号', '2026-03-10', 1), (7, '七号', '2026-03-01', 2)"));
    f.exec(QStringLiteral("INSERT INTO table1 (id, t13, t7, s1, s3) VALUES (3, '碟三', 1, '2026-03-10', '十二号')"));
    f.exec(QStringLiteral("INSERT INTO table4 (discid, discname, khid, s1) VALUES (3, '碟三', 12, '2026-03-10')"));
    main_MDIForm main;
    main.resize(1100, 800);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.menuItem(QStringLiteral("menu3_5"))->trigger();
    auto *list = qobject_cast<kh_list_Form2 *>(main.mdiArea()->activeSubWindow()->widget());
    QVERIFY(list);
    QCOMPARE(list->grid()->cellText(1, 0), QStringLiteral("000012"));
    auto dclick = [&](int row, int col) {
        QTest::mouseDClick(list->grid()->viewport(), Qt::LeftButton, {}, list->grid()->cellRect(row, col).center());
    };
    dclick(5, 2); // an empty row
    QTest::mouseDClick(list->grid()->horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(20, 5));
    QCOMPARE(main.mdiArea()->subWindowList().size(), 1);

    dclick(1, 3);
    QCOMPARE(main.mdiArea()->subWindowList().size(), 2);
    auto *status = qobject_cast<input_Form3 *>(main.mdiArea()->activeSubWindow()->widget());
    QVERIFY(status);
    QCOMPARE(status->customerId(), qint64(12));
    QCOMPARE(status->findChild<QLineEdit *>(QStringLiteral("Text1_0"))->text(), QStringLiteral("十二号"));
    QCOMPARE(status->findChild<ui::ListGrid *>(QStringLiteral("Grid2"))->cellText(1, 1), QStringLiteral("碟三"));

    // Each double-click is a window of its own, also for the same customer.
    main.mdiArea()->setActiveSubWindow(main.mdiArea()->subWindowList().first());
    dclick(1, 0);
    dclick(2, 1);
    QCOMPARE(main.mdiArea()->subWindowList().size(), 4);
    auto *second = qobject_cast<input_Form3 *>(main.mdiArea()->activeSubWindow()->widget());
    QCOMPARE(second->customerId(), qint64(7));
}

void TestCustomerLists::listWindowColumns()
{
    ProgramFolder f;
    addCustomers(f, 3);
    kh_list_Form1 w;
    ui::ReloadFlag::set();
    w.activate();
    const QStringList headers = {"客户编号", "姓名", "身份证", "办证类型", "租碟累计/张", "押金/元", "租碟日期", "还清", ""};
    const QList<int> widths = {820, 900, 2200, 1800, 1100, 1000, 1200, 1000, 1000};
    QCOMPARE(w.grid()->columnCount(), 9);
    for (int c = 0; c < 9; ++c) {
        QCOMPARE(w.grid()->cellText(0, c), headers[c]);
        QCOMPARE(w.grid()->columnWidth(c), widths[c] / 15);
    }
    QCOMPARE(w.grid()->item(0, 2)->textAlignment(), int(Qt::AlignLeft | Qt::AlignVCenter));
    QCOMPARE(w.grid()->item(0, 4)->textAlignment(), int(Qt::AlignHCenter | Qt::AlignTop));
}

QTEST_MAIN(TestCustomerLists)
#include "tst_customerlists.moc"
