#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTabWidget>
#include <QTest>

#include <unistd.h>

#include "data/store/connection.h"
#include "data/store/formatting.h"
#include "filefaults.h"
#include "rental/driving.h"
#include "rental/input_form2.h"
#include "rental/input_form3.h"
#include "rental/list_form2.h"
#include "rental/prerentlist.h"
#include "rental/quickreturn_form.h"
#include "rental/rentals.h"
#include "support/closewindows.h"
#include "support/filedigest.h"
#include "support/programfolder.h"
#include "support/typing.h"
#include "ui/listgrid.h"
#include "ui/messages.h"
#include "ui/reloadflag.h"
#include "ui/windowhost.h"

using faults::FaultKind;
using testsupport::ProgramFolder;

// The rental window's submit, the picker's add to the pre-rent list and the rental status
// window's return, refund and card invalidation meet a data file that is read-only, held by
// another program, missing, cut short, not a database, or full: each names the reason, writes
// nothing, keeps what the clerk typed, picked or ticked, and works once the fault is gone.
//
// Root may write any file, so this program runs as "nobody" when started as root.

namespace {

ui::ListGrid *gridOf(QWidget *w, const QString &name = QStringLiteral("Grid1"))
{
    auto *g = w ? w->findChild<ui::ListGrid *>(name) : nullptr;
    if (!g)
        qFatal("no grid %s", qPrintable(name));
    return g;
}

QStringList column(ui::ListGrid *g, int col)
{
    QStringList out;
    for (int r = 1; r <= g->rowCount(); ++r)
        out << g->cellText(r, col);
    return out;
}

QList<qint64> preRentIds()
{
    QList<qint64> ids;
    for (int r = 1; r <= rental::PreRent().PreRentCount(); ++r)
        ids << rental::PreRent().PreRentIds(r);
    return ids;
}

// Picks picker rows first..last and presses "出    租".
void pick(list_Form2 *picker, int first, int last)
{
    drive::selectRows(picker->grid(), first, last);
    faults::Click(picker, QStringLiteral("button2"));
}

const QString kName = QStringLiteral("王小明");
const QString kCard = QStringLiteral("110105198502301234");
const QString kCardType = QStringLiteral("金卡");
const QString kRemark = QStringLiteral("周末还");

// What a refused action must leave as it was, and what a good one must have done, for the
// window an action case opens.
struct Scene
{
    ProgramFolder *pf = nullptr;
    QPointer<QWidget> window;
    QPointer<list_Form2> picker;
    QList<qint64> discs;      // picked or ticked
    QList<qint64> listed;     // the pre-rent list before the action
    QString total;            // the disc count shown before the action
    qint64 customer = 0;
};

struct ActionCase
{
    QString name;
    QString successText; // shown by a successful action; empty when it shows nothing
    bool writes;         // false: the action only reads, so a file that can be read serves it
    std::function<void(Scene &)> open;
    std::function<void(Scene &)> act;
    std::function<bool(Scene &)> kept;
    std::function<bool(Scene &)> done;
};

// A customer with a deposit, a card and three discs out, rented on three days.
void customerWithDiscsOut(Scene &s)
{
    ProgramFolder &pf = *s.pf;
    s.customer = pf.scalar("SELECT max(id) + 1 FROM table2").toLongLong();
    rentals::addCustomer(pf, s.customer, kName, 100, kCardType);
    const QList<QVariantList> free = pf.rows("SELECT id FROM table1 WHERE t13 IS NOT NULL AND s3 IS NULL ORDER BY id LIMIT 3");
    for (int i = 0; i < free.size(); ++i)
        rentals::rent(pf, free[i][0].toLongLong(), s.customer, testsupport::Today().addDays(-3 - i).toString(Qt::ISODate));
    auto *w = input_Form3::openForCustomer(s.customer);
    s.window = w;
    if (!w || gridOf(w, "Grid2")->rowCount() != 3)
        qFatal("the customer's discs out are not shown");
}

// The quick-return window with the customer's three discs scanned into its list.
void discsScannedForReturn(Scene &s)
{
    customerWithDiscsOut(s);
    const QList<QVariantList> out = s.pf->rows("SELECT discid FROM table4 WHERE khid = ? AND s2 IS NULL ORDER BY id", {s.customer});
    auto *w = rental::quickReturn_Form::shared();
    s.window = w;
    for (const QVariantList &row : out) {
        s.discs << row[0].toLongLong();
        faults::Enter(w, "ScanBox", db::FormatRecordNumber(row[0].toLongLong()));
        QTest::keyClick(w->findChild<QLineEdit *>("ScanBox"), Qt::Key_Return);
    }
    if (w->listed().size() != 3)
        qFatal("the scanned discs are not listed");
}

bool discsOutWith(Scene &s, bool out)
{
    bool each = s.pf->scalar("SELECT count(*) FROM table4 WHERE khid = ? AND s2 IS NULL", {s.customer}).toInt() == (out ? 3 : 0);
    for (qint64 id : s.discs)
        each = each && s.pf->scalar("SELECT s3 FROM table1 WHERE id = ?", {id}).isNull() != out;
    return each;
}

QList<ActionCase> actionCases()
{
    QList<ActionCase> cases;
    cases << ActionCase{
        QStringLiteral("rental window: submit"), QStringLiteral("数据提交完毕！"), true,
        [](Scene &s) {
            input_Form2 *w = input_Form2::shared();
            s.window = w;
            faults::Enter(w, "Text1_0", kName);
            faults::Enter(w, "Text1_1", kCard);
            faults::Enter(w, "Text1_26", kCardType);
            faults::Enter(w, "Text1_39", QStringLiteral("100"));
            faults::Enter(w, "Text1_40", kRemark);
            drive::click(faults::Button(w, "Button1_3"));
            s.picker = ui::SharedIfOpen<list_Form2>();
            pick(s.picker, 2, 4);
            s.discs = preRentIds();
            s.listed = s.discs;
            s.total = faults::TextOf(w, "Label4");
        },
        [](Scene &s) { faults::Click(s.window, QStringLiteral("Button1_1")); },
        [](Scene &s) {
            QStringList numbers;
            for (qint64 id : s.listed)
                numbers << db::FormatRecordNumber(id);
            return s.window && s.window->isVisible() && faults::TextOf(s.window, "Text1_0") == kName
                && faults::TextOf(s.window, "Text1_1") == kCard && faults::TextOf(s.window, "Text1_26") == kCardType
                && faults::TextOf(s.window, "Text1_39") == QStringLiteral("100") && faults::TextOf(s.window, "Text1_40") == kRemark
                && preRentIds() == s.listed && column(gridOf(s.window), 0) == numbers
                && faults::TextOf(s.window, "Label4") == s.total && s.picker;
        },
        [](Scene &s) {
            const qint64 customer = s.pf->scalar("SELECT id FROM table2 WHERE t2 = ?", {kCard}).toLongLong();
            bool each = s.pf->scalar("SELECT count(*) FROM table2 WHERE t2 = ? AND t1 = ? AND t3 = ? AND t4 = 100 AND t5 = ?",
                                     {kCard, kName, kCardType, kRemark}).toInt() == 1
                && s.pf->scalar("SELECT count(*) FROM table4 WHERE khid = ?", {customer}).toInt() == s.listed.size();
            for (qint64 id : s.listed) {
                each = each && s.pf->scalar("SELECT count(*) FROM table4 WHERE khid = ? AND discid = ? AND s2 IS NULL", {customer, id}).toInt() == 1
                    && s.pf->scalar("SELECT s3 FROM table1 WHERE id = ?", {id}).toString() == kName;
            }
            return each && rental::PreRent().PreRentCount() == 0 && faults::TextOf(s.window, "Text1_0").isEmpty();
        }};
    cases << ActionCase{
        QStringLiteral("picker: add to the pre-rent list"), QStringLiteral("已添加至预租列表！"), false,
        [](Scene &s) {
            input_Form2 *w = input_Form2::shared();
            s.window = w;
            faults::Enter(w, "Text1_0", kName);
            drive::click(faults::Button(w, "Button1_3"));
            s.picker = ui::SharedIfOpen<list_Form2>();
            pick(s.picker, 1, 1);
            s.listed = preRentIds();
            s.total = faults::TextOf(w, "Label4");
            drive::selectRows(s.picker->grid(), 3, 5);
            for (int r = 3; r <= 5; ++r)
                s.discs << s.picker->rowRecord(r);
        },
        [](Scene &s) { faults::Click(s.picker, QStringLiteral("button2")); },
        [](Scene &s) {
            return s.window && s.picker && faults::TextOf(s.window, "Text1_0") == kName && preRentIds() == s.listed
                && gridOf(s.window)->rowCount() == s.listed.size() && faults::TextOf(s.window, "Label4") == s.total
                && s.picker->selectedRow() == 3 && s.picker->grid()->RowSel() == 5;
        },
        [](Scene &s) { return preRentIds() == s.listed + s.discs && gridOf(s.window)->rowCount() == s.listed.size() + 3; }};
    cases << ActionCase{
        QStringLiteral("status window: return"), QString(), true,
        [](Scene &s) {
            customerWithDiscsOut(s);
            ui::ListGrid *g = gridOf(s.window, "Grid2");
            s.total = faults::TextOf(s.window, "Label6");
            for (int r : {1, 3}) {
                drive::clickCell(g, r, 8);
                s.discs << g->cellText(r, 0).toLongLong();
            }
        },
        [](Scene &s) { faults::Click(s.window, QStringLiteral("Button1_1")); },
        [](Scene &s) {
            if (!s.window)
                return false;
            ui::ListGrid *g = gridOf(s.window, "Grid2");
            return column(g, 8) == QStringList{QStringLiteral("√"), QString(), QStringLiteral("√")}
                && faults::Button(s.window, "Button1_1")->isEnabled() && faults::TextOf(s.window, "Label6") == s.total;
        },
        [](Scene &s) {
            bool each = s.pf->scalar("SELECT count(*) FROM table4 WHERE khid = ? AND s2 IS NULL", {s.customer}).toInt() == 1;
            for (qint64 id : s.discs) {
                each = each && s.pf->scalar("SELECT count(*) FROM table4 WHERE khid = ? AND discid = ? AND s2 = '√' AND s3 = ?",
                                            {s.customer, id, testsupport::Today().toString(Qt::ISODate)}).toInt() == 1
                    && s.pf->scalar("SELECT s3 FROM table1 WHERE id = ?", {id}).isNull();
            }
            return each && gridOf(s.window, "Grid2")->rowCount() == 1 && !faults::Button(s.window, "Button1_1")->isEnabled();
        }};
    cases << ActionCase{
        QStringLiteral("quick returns: submit"), QString(), true, discsScannedForReturn,
        [](Scene &s) { faults::Click(s.window, QStringLiteral("Button1_0")); },
        [](Scene &s) {
            auto *w = qobject_cast<rental::quickReturn_Form *>(s.window.data());
            QList<qint64> listed;
            for (const db::OpenRental &o : w ? w->listed() : QList<db::OpenRental>{})
                listed << o.disc;
            return w && listed == s.discs && gridOf(w)->rowCount() == 3 && !faults::Button(w, "Button1_1")->isEnabled();
        },
        [](Scene &s) {
            return discsOutWith(s, false) && gridOf(s.window)->rowCount() == 0 && faults::Button(s.window, "Button1_1")->isEnabled();
        }};
    cases << ActionCase{
        QStringLiteral("quick returns: undo"), QString(), true,
        [](Scene &s) {
            discsScannedForReturn(s);
            faults::Click(s.window, QStringLiteral("Button1_0"));
        },
        [](Scene &s) { faults::Click(s.window, QStringLiteral("Button1_1")); },
        [](Scene &s) { return s.window && faults::Button(s.window, "Button1_1")->isEnabled(); },
        [](Scene &s) { return discsOutWith(s, true) && !faults::Button(s.window, "Button1_1")->isEnabled(); }};
    cases << ActionCase{
        QStringLiteral("status window: deposit refund"), QString(), true,
        customerWithDiscsOut,
        [](Scene &s) { faults::Click(s.window, QStringLiteral("Button1_0")); },
        [](Scene &s) {
            return s.window && faults::TextOf(s.window, "Text1_39") == QStringLiteral("100") && faults::Button(s.window, "Button1_0")->isEnabled();
        },
        [](Scene &s) {
            return s.pf->scalar("SELECT count(*) FROM table6 WHERE khid = ? AND s1 = 100", {s.customer}).toInt() == 1
                && s.pf->scalar("SELECT t4 FROM table2 WHERE id = ?", {s.customer}).toInt() == 0
                && faults::TextOf(s.window, "Text1_39").isEmpty() && !faults::Button(s.window, "Button1_0")->isEnabled();
        }};
    cases << ActionCase{
        QStringLiteral("status window: card invalidation"), QString(), true,
        customerWithDiscsOut,
        [](Scene &s) { faults::Click(s.window, QStringLiteral("Button1_2")); },
        [](Scene &s) { return s.window && faults::TextOf(s.window, "Text1_26") == kCardType; },
        [](Scene &s) {
            return s.pf->scalar("SELECT count(*) FROM table5 WHERE khid = ? AND s1 = ?", {s.customer, kCardType}).toInt() == 1
                && s.pf->scalar("SELECT t3 FROM table2 WHERE id = ?", {s.customer}).isNull()
                && faults::TextOf(s.window, "Text1_26").isEmpty();
        }};
    cases << ActionCase{
        QStringLiteral("status window: go on renting"), QString(), false,
        [](Scene &s) {
            customerWithDiscsOut(s);
            // A new customer half typed in the rental window meanwhile.
            input_Form2 *rental = input_Form2::shared();
            faults::Enter(rental, "Text1_0", QStringLiteral("李四"));
        },
        [](Scene &s) { faults::Click(s.window, QStringLiteral("Button1_3")); },
        [](Scene &s) {
            return s.window && s.window->isVisible()
                && faults::TextOf(input_Form2::shared(), "Text1_0") == QStringLiteral("李四");
        },
        [](Scene &s) {
            input_Form2 *rental = input_Form2::shared();
            return !s.window && rental->customerTag() == s.customer && faults::TextOf(rental, "Text1_0") == kName
                && faults::TextOf(rental, "Text1_39") == QStringLiteral("100");
        }};
    return cases;
}

} // namespace

Q_DECLARE_METATYPE(ActionCase)
Q_DECLARE_METATYPE(faults::FaultKind)

class tst_faults_rental : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void actionMeetsFault_data();
    void actionMeetsFault();

private:
    QStringList m_outcomes;
};

void tst_faults_rental::initTestCase()
{
    // Root writes read-only files; the read-only fault would mean nothing.
    QVERIFY(::geteuid() != 0);
}

void tst_faults_rental::cleanup()
{
    testsupport::DeleteAllWindows();
    rental::PreRent().clear();
    db::Connection::setTestPragmas({});
    ui::ReloadFlag::clear();
}

void tst_faults_rental::cleanupTestCase()
{
    for (const QString &o : std::as_const(m_outcomes))
        qInfo("%s", qPrintable(o));
}

void tst_faults_rental::actionMeetsFault_data()
{
    QTest::addColumn<ActionCase>("action");
    QTest::addColumn<FaultKind>("fault");
    for (const ActionCase &a : actionCases()) {
        for (const FaultKind &f : faults::FaultKinds())
            QTest::newRow(qPrintable(a.name + QStringLiteral(", ") + f.name)) << a << f;
    }
}

void tst_faults_rental::actionMeetsFault()
{
    QFETCH(ActionCase, action);
    QFETCH(FaultKind, fault);
    ProgramFolder pf(ProgramFolder::GeneratedDemoFile);
    faults::OpenDemoShop(pf);
    msg::Recorder rec;
    Scene s;
    s.pf = &pf;
    action.open(s);
    rec.clear(); // the picker's own "added" box while the scene was set
    QVERIFY(action.kept(s));

    const QString file = pf.realFile();
    QString error;
    const QByteArray before = testsupport::ContentDigest(file, &error);
    QVERIFY2(!before.isEmpty(), qPrintable(error));

    std::unique_ptr<faults::FileFault> faulty = fault.make();
    faulty->apply(file);
    const QByteArray faultyBytes = faults::BytesOf(file);
    action.act(s);
    const QStringList said = faults::InformationTexts(rec);
    const QStringList success = action.successText.isEmpty() ? QStringList{} : QStringList{action.successText};
    QString outcome;
    if (said == success && action.done(s)) {
        // A read needs no write; a write that fits into the pages the file has needs no room.
        QVERIFY2(!action.writes || fault.name == QStringLiteral("full"), "a write went through a faulty file");
        outcome = action.writes ? QStringLiteral("done completely (needed no room)") : QStringLiteral("done (reading was enough)");
    } else {
        QCOMPARE(said.size(), 1);
        QVERIFY2(said.first().contains(fault.reason), qPrintable(said.first()));
        QVERIFY2(said.first().contains(QFileInfo(file).fileName()), qPrintable(said.first()));
        QVERIFY2(action.kept(s), "what the clerk entered, picked or ticked is gone");
        if (faulty->leavesFileToCompare())
            QVERIFY2(faults::BytesOf(file) == faultyBytes, "the faulty file was written to");
        else
            QVERIFY2(!QFileInfo::exists(file), "a missing file was created anew");
        outcome = QStringLiteral("reported: ") + said.first().section(QLatin1Char('\n'), 0, 0);
    }
    faulty->remove(file);
    faulty.reset();

    if (outcome.startsWith(QStringLiteral("reported"))) {
        // Nothing of the refused action reached the file.
        QCOMPARE(testsupport::ContentDigest(file), before);
        // The window goes on: the same action works now, once.
        rec.clear();
        action.act(s);
        QCOMPARE(faults::InformationTexts(rec), success);
        QVERIFY2(action.done(s), "the second try did not do everything");
    }
    m_outcomes << QStringLiteral("%1 / %2: %3").arg(action.name, fault.name, outcome);
    QCOMPARE(pf.problems(), QString());
}

int main(int argc, char *argv[])
{
    if (faults::IsLockHolder(argc, argv)) {
        QCoreApplication app(argc, argv);
        return faults::HoldLock(argc, argv);
    }
    faults::RunAsNobody();
    QApplication app(argc, argv);
    tst_faults_rental t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_faults_rental.moc"
