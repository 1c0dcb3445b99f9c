#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include <unistd.h>

#include "data/store/connection.h"
#include "filefaults.h"
#include "hoverpad/usercontrol1.h"
#include "lists/kh_list_form1.h"
#include "lists/kh_list_form2.h"
#include "lists/list_form.h"
#include "lists/list_form3.h"
#include "lists/openers.h"
#include "lists/qdisc_form.h"
#include "lists/qdisc_list_form.h"
#include "lists/qkh_form.h"
#include "lists/qkh_list_form.h"
#include "rental/list_form2.h"
#include "rental/openers.h"
#include "support/closewindows.h"
#include "support/programfolder.h"
#include "ui/messages.h"
#include "ui/reloadflag.h"
#include "ui/windowhost.h"

using faults::FaultKind;
using testsupport::ProgramFolder;

// A list window loads a page (opened, turned, reloaded after a change, queried again) from a
// data file that is read-only, held by another program, missing, cut short, not a database,
// or full: a file that cannot be read is reported, the page that was shown stays shown as it
// was, and paging works again once the file is back.
//
// Root may write any file, so this program runs as "nobody" when started as root.

namespace {

// Everything a list window shows of its page.
struct Shown
{
    QStringList cells;
    QVector<qint64> records;
    QString counter, page;
    qint64 currentPage = 0, shownPage = 0;
    bool pagingUsable = false;

    bool operator==(const Shown &o) const
    {
        return cells == o.cells && records == o.records && counter == o.counter && page == o.page
            && currentPage == o.currentPage && shownPage == o.shownPage && pagingUsable == o.pagingUsable;
    }
    bool empty() const
    {
        return std::all_of(cells.cbegin(), cells.cend(), [](const QString &c) { return c.isEmpty(); })
            && std::all_of(records.cbegin(), records.cend(), [](qint64 r) { return r == 0; });
    }
    int rows() const { return int(std::count_if(records.cbegin(), records.cend(), [](qint64 r) { return r > 0; })); }
    QString describe() const { return QStringLiteral("page %1 (%2), %3 rows").arg(page, counter).arg(rows()); }
};

Shown shown(ui::PagedListForm *w)
{
    Shown s;
    ui::ListGrid *g = w->grid();
    for (int r = 1; r <= g->rowCount(); ++r) {
        for (int c = 0; c < g->columnCount(); ++c)
            s.cells << g->cellText(r, c);
    }
    s.records = w->rowRecords();
    s.counter = w->findChild<QLabel *>(QStringLiteral("Label1_2"))->text();
    s.page = w->findChild<QLabel *>(QStringLiteral("Label1_3"))->text();
    s.currentPage = w->currentPage();
    s.shownPage = w->shownPage();
    const UserControl1 *next = faults::Button(w, QStringLiteral("button1_1"));
    s.pagingUsable = next->isVisible() && next->isEnabled();
    return s;
}

// The window of kind W that the opener adds to those open before.
template <typename W>
W *opened(void (*opener)())
{
    QList<QWidget *> before = QApplication::topLevelWidgets();
    opener();
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *l = qobject_cast<W *>(w); l && !before.contains(w))
            return l;
    }
    return nullptr;
}

struct ListCase
{
    QString name;
    std::function<ui::PagedListForm *()> open; // as the menu or the query window opens it
    std::function<void()> query;               // the list's query button, where it has one
};

QList<ListCase> listCases()
{
    return {
        {QStringLiteral("all discs"), []() -> ui::PagedListForm * { return opened<list_Form>(lists::OpenAllDiscsList); }},
        {QStringLiteral("rented discs"), []() -> ui::PagedListForm * { return opened<list_Form3>(lists::OpenRentedDiscsList); }},
        {QStringLiteral("rentable-disc picker"), []() -> ui::PagedListForm * { return opened<list_Form2>(rental::OpenRentableDiscsList); },
         [] {
             for (QWidget *w : QApplication::topLevelWidgets()) {
                 if (qobject_cast<list_Form2 *>(w))
                     faults::Click(w, QStringLiteral("button3"));
             }
         }},
        {QStringLiteral("all customers"), []() -> ui::PagedListForm * { return opened<kh_list_Form1>(lists::OpenAllCustomersList); }},
        {QStringLiteral("unreturned customers"), []() -> ui::PagedListForm * { return opened<kh_list_Form2>(lists::OpenUnreturnedCustomersList); }},
        {QStringLiteral("disc query result"),
         []() -> ui::PagedListForm * {
             lists::OpenDiscQuery();
             faults::Click(ui::SharedIfOpen<Qdisc_Form>(), QStringLiteral("button2"));
             return ui::SharedIfOpen<Qdisc_list_Form>();
         },
         [] { faults::Click(ui::SharedIfOpen<Qdisc_Form>(), QStringLiteral("button2")); }},
        {QStringLiteral("customer query result"),
         []() -> ui::PagedListForm * {
             lists::OpenCustomerQuery();
             faults::Click(ui::SharedIfOpen<Qkh_Form>(), QStringLiteral("button2"));
             return ui::SharedIfOpen<Qkh_list_Form>();
         },
         [] { faults::Click(ui::SharedIfOpen<Qkh_Form>(), QStringLiteral("button2")); }},
    };
}

enum class Load { FirstOpen, NextPage, Reload, Query, OpenRow };

// The windows shown on their own (no main window in these tests).
QList<QWidget *> shownWindows()
{
    QList<QWidget *> out;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible())
            out << w;
    }
    return out;
}

// Double-clicks the first row: the list opens the disc for correction or the customer's
// rental status; what it opened is returned.
QList<QWidget *> openFirstRow(ui::PagedListForm *w)
{
    const QList<QWidget *> before = shownWindows();
    QTest::mouseDClick(w->grid()->viewport(), Qt::LeftButton, {}, w->grid()->cellRect(1, 1).center());
    QApplication::processEvents();
    QList<QWidget *> opened;
    for (QWidget *x : shownWindows()) {
        if (!before.contains(x))
            opened << x;
    }
    return opened;
}

// The window becoming the active one, as a click on it inside the main window makes it.
void activate(ui::PagedListForm *w)
{
    w->activate();
    QApplication::processEvents();
}

} // namespace

Q_DECLARE_METATYPE(ListCase)
Q_DECLARE_METATYPE(Load)
Q_DECLARE_METATYPE(faults::FaultKind)

class tst_faults_lists : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void pageMeetsFault_data();
    void pageMeetsFault();
    void newQueryMeetsFault_data();
    void newQueryMeetsFault();

private:
    QStringList m_outcomes;
};

void tst_faults_lists::initTestCase()
{
    // Root writes read-only files; the read-only fault would mean nothing.
    QVERIFY(::geteuid() != 0);
}

void tst_faults_lists::cleanup()
{
    testsupport::DeleteAllWindows();
    db::Connection::setTestPragmas({});
    ui::ReloadFlag::clear();
}

void tst_faults_lists::cleanupTestCase()
{
    for (const QString &o : std::as_const(m_outcomes))
        qInfo("%s", qPrintable(o));
}

void tst_faults_lists::pageMeetsFault_data()
{
    QTest::addColumn<ListCase>("list");
    QTest::addColumn<Load>("load");
    QTest::addColumn<FaultKind>("fault");
    const std::pair<Load, const char *> loads[] = {
        {Load::FirstOpen, "first open"}, {Load::NextPage, "next page"}, {Load::Reload, "reload after a change"},
        {Load::Query, "the same query again"}, {Load::OpenRow, "double-click on a row"}};
    for (const ListCase &l : listCases()) {
        for (const auto &[load, loadName] : loads) {
            if (load == Load::Query && !l.query)
                continue;
            for (const FaultKind &f : faults::FaultKinds())
                QTest::newRow(qPrintable(QStringLiteral("%1, %2, %3").arg(l.name, QLatin1String(loadName), f.name))) << l << load << f;
        }
    }
}

void tst_faults_lists::pageMeetsFault()
{
    QFETCH(ListCase, list);
    QFETCH(Load, load);
    QFETCH(FaultKind, fault);
    ProgramFolder pf(ProgramFolder::GeneratedDemoFile);
    faults::OpenDemoShop(pf);
    // Enough discs out and customers owing for the rented and unreturned lists to have pages.
    pf.exec("UPDATE table1 SET s1 = '2025-06-01', s3 = '老顾客', s4 = s4 + 1 WHERE id IN "
            "(SELECT id FROM table1 WHERE t13 IS NOT NULL AND s3 IS NULL ORDER BY id LIMIT 40)");
    pf.exec("INSERT INTO table4 (discid, discname, khid, s1) SELECT id, t13, (SELECT min(id) FROM table2 WHERE t1 IS NOT NULL), s1 "
            "FROM table1 WHERE s3 = '老顾客'");
    pf.exec("UPDATE table2 SET s2 = s2 + 1, s3 = NULL WHERE t1 IS NOT NULL");
    msg::Recorder rec;
    const QString file = pf.realFile();

    std::unique_ptr<faults::FileFault> faulty = fault.make();
    QPointer<ui::PagedListForm> w;
    Shown before;
    QList<QWidget *> newWindows;
    if (load == Load::FirstOpen) {
        faulty->apply(file);
        w = list.open();
    } else {
        w = list.open();
        QVERIFY(w);
        QVERIFY2(rec.texts().isEmpty(), qPrintable(rec.texts().join('|')));
        before = shown(w);
        QVERIFY2(before.rows() == 30 && before.page == QStringLiteral("1"), qPrintable(before.describe()));
        faulty->apply(file);
        if (load == Load::NextPage) {
            faults::Click(w, QStringLiteral("button1_1"));
        } else if (load == Load::Query) {
            list.query();
        } else if (load == Load::OpenRow) {
            newWindows = openFirstRow(w);
        } else {
            ui::ReloadFlag::set();
            activate(w);
        }
    }
    QVERIFY(w);
    const Shown during = shown(w);
    const QStringList said = faults::InformationTexts(rec);
    QString outcome;
    if (said.isEmpty()) {
        // The file could be read: the page is whole, and the one asked for.
        QVERIFY2(during.rows() > 0, qPrintable(during.describe()));
        if (load == Load::OpenRow)
            QCOMPARE(newWindows.size(), 1);
        if (load == Load::Reload || load == Load::Query || load == Load::OpenRow)
            QVERIFY2(during == before, qPrintable(during.describe()));
        else
            QCOMPARE(during.page, load == Load::NextPage ? QStringLiteral("2") : QStringLiteral("1"));
        outcome = QStringLiteral("read: ") + during.describe();
    } else {
        QVERIFY2(said.size() == 1, qPrintable(said.join(QStringLiteral(" | "))));
        QVERIFY2(said.first().contains(fault.reason), qPrintable(said.first()));
        QVERIFY2(said.first().contains(QFileInfo(file).fileName()), qPrintable(said.first()));
        // Not emptied, not half-filled: what was shown stays as it was; nothing half-loaded opens.
        QVERIFY(newWindows.isEmpty());
        if (load == Load::FirstOpen)
            QVERIFY2(during.empty() && !during.pagingUsable, qPrintable(during.describe()));
        else
            QVERIFY2(during == before, qPrintable(QStringLiteral("shown before: %1, now: %2").arg(before.describe(), during.describe())));
        outcome = QStringLiteral("reported: ") + said.first().section(QLatin1Char('\n'), 0, 0);
    }
    faulty->remove(file);
    faulty.reset();

    // The file is back: the list goes on where the clerk left it.
    rec.clear();
    if (load == Load::FirstOpen) {
        // Opened again (or queried again): page 1, whole.
        QPointer<ui::PagedListForm> again = list.open();
        QVERIFY(again);
        const Shown now = shown(again);
        QVERIFY2(now.page == QStringLiteral("1") && now.rows() == 30 && now.pagingUsable, qPrintable(now.describe()));
    } else if (load == Load::NextPage) {
        if (said.isEmpty()) {
            // What was read from the faulty file is what the sound file holds.
            ui::ReloadFlag::set();
            activate(w);
            QVERIFY2(shown(w) == during, qPrintable(shown(w).describe()));
        } else {
            faults::Click(w, QStringLiteral("button1_1"));
        }
        const Shown second = shown(w);
        QVERIFY2(second.page == QStringLiteral("2") && second.rows() > 0 && second.records != before.records,
                 qPrintable(second.describe()));
        faults::Click(w, QStringLiteral("button1_0"));
        QVERIFY2(shown(w) == before, qPrintable(shown(w).describe()));
    } else if (load == Load::OpenRow) {
        QCOMPARE(openFirstRow(w).size(), 1);
        QVERIFY2(shown(w) == before, qPrintable(shown(w).describe()));
    } else {
        // The next change, or the query asked again, reloads it.
        if (load == Load::Query) {
            list.query();
        } else {
            ui::ReloadFlag::set();
            activate(w);
        }
        QVERIFY2(shown(w) == before, qPrintable(shown(w).describe()));
        faults::Click(w, QStringLiteral("button1_1"));
        QVERIFY2(shown(w).page == QStringLiteral("2"), qPrintable(shown(w).describe()));
    }
    QVERIFY2(rec.texts().isEmpty(), qPrintable(rec.texts().join('|')));
    m_outcomes << QStringLiteral("%1: %2").arg(QString::fromLatin1(QTest::currentDataTag()), outcome);
}

// A new query, with other criteria, whose first page cannot be read: the list keeps the
// criteria and the page it shows, so paging goes on in what is shown.
void tst_faults_lists::newQueryMeetsFault_data()
{
    QTest::addColumn<ListCase>("list");
    QTest::addColumn<FaultKind>("fault");
    for (const ListCase &l : listCases()) {
        if (!l.name.contains(QStringLiteral("query")))
            continue;
        for (const FaultKind &f : faults::FaultKinds()) {
            if (f.name == QStringLiteral("missing") || f.name == QStringLiteral("not a database"))
                QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(l.name, f.name))) << l << f;
        }
    }
}

void tst_faults_lists::newQueryMeetsFault()
{
    QFETCH(ListCase, list);
    QFETCH(FaultKind, fault);
    ProgramFolder pf(ProgramFolder::GeneratedDemoFile);
    faults::OpenDemoShop(pf);
    msg::Recorder rec;
    const QString file = pf.realFile();
    QPointer<ui::PagedListForm> w = list.open();
    QVERIFY(w);
    auto criteriaOf = [&w]() -> QString {
        if (auto *d = qobject_cast<Qdisc_list_Form *>(w.data()))
            return d->tag();
        return qobject_cast<Qkh_list_Form *>(w.data())->criteriaText();
    };
    QWidget *queryWindow = qobject_cast<Qdisc_list_Form *>(w.data())
        ? static_cast<QWidget *>(ui::SharedIfOpen<Qdisc_Form>())
        : static_cast<QWidget *>(ui::SharedIfOpen<Qkh_Form>());
    QVERIFY(queryWindow);
    const Shown first = shown(w);
    faults::Click(w, QStringLiteral("button1_1"));
    const Shown second = shown(w);
    QVERIFY2(second.page == QStringLiteral("2") && second.rows() > 0, qPrintable(second.describe()));
    const QString criteria = criteriaOf();

    // Title or name: a criterion of the new query.
    faults::Enter(queryWindow, QStringLiteral("Text1_1"), QStringLiteral("新"));
    std::unique_ptr<faults::FileFault> faulty = fault.make();
    faulty->apply(file);
    list.query();
    const QStringList said = faults::InformationTexts(rec);
    QVERIFY2(said.size() == 1 && said.first().contains(fault.reason), qPrintable(said.join(QStringLiteral(" | "))));
    QVERIFY2(shown(w) == second, qPrintable(shown(w).describe()));
    QCOMPARE(criteriaOf(), criteria);
    faulty->remove(file);
    faulty.reset();

    // Paging back shows page 1 of what is shown, not of the query that could not be read.
    rec.clear();
    faults::Click(w, QStringLiteral("button1_0"));
    QVERIFY2(shown(w) == first, qPrintable(shown(w).describe()));
    QCOMPARE(criteriaOf(), criteria);
    QVERIFY2(rec.texts().isEmpty(), qPrintable(rec.texts().join('|')));
}

int main(int argc, char *argv[])
{
    if (faults::IsLockHolder(argc, argv)) {
        QCoreApplication app(argc, argv);
        return faults::HoldLock(argc, argv);
    }
    faults::RunAsNobody();
    QApplication app(argc, argv);
    tst_faults_lists t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_faults_lists.moc"
