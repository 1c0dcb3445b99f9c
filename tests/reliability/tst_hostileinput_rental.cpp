// The rental window's five fields take the hostile corpus, typed and pasted: the field
// checks refuse what they must, a refused deposit writes nothing, and an accepted rental
// stores exactly what the boxes held, trimmed, in the customer, the rental records and the
// discs; the card type offered by the drop-down afterwards is the one stored.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMap>
#include <QTest>

#include "data/shop/customerchecks.h"
#include "data/store/dates.h"
#include "data/shop/rentals.h"
#include "data/shop/scans.h"
#include "hostilecases.h"
#include "rental/input_form2.h"
#include "rental/openers.h"
#include "rental/prerentlist.h"
#include "rental/quickreturn_form.h"
#include "support/closewindows.h"
#include "support/programfolder.h"
#include "ui/messages.h"
#include "ui/windowhost.h"

using hostile::Entry;
using testsupport::ProgramFolder;

namespace {

enum Field { Name = 0, Card = 1, CardType = 26, Deposit = 39, Remark = 40 };
const int kFields[] = {Name, Card, CardType, Deposit, Remark};

QWidget *field(QWidget *w, int index)
{
    return hostile::box(w, QStringLiteral("Text1_%1").arg(index));
}

QVariant storedText(const QString &held)
{
    const QString t = held.trimmed();
    return t.isEmpty() ? QVariant() : QVariant(t);
}

} // namespace

class tst_hostileinput_rental : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void cleanupTestCase();
    void rentalWindow_data();
    void rentalWindow();
    void scanBoxes_data();
    void scanBoxes();

private:
    QMap<QString, int> m_tried;
    int m_stored = 0;
};

void tst_hostileinput_rental::cleanup()
{
    testsupport::DeleteAllWindows();
}

void tst_hostileinput_rental::cleanupTestCase()
{
    for (auto it = m_tried.cbegin(); it != m_tried.cend(); ++it)
        qInfo("%-34s %3d corpus entries typed or pasted", qPrintable(it.key()), it.value());
    qInfo("%d rentals stored and read back", m_stored);
}

void tst_hostileinput_rental::rentalWindow_data()
{
    hostile::corpusRows(25);
}

void tst_hostileinput_rental::rentalWindow()
{
    QFETCH(QString, entry);
    QFETCH(Entry, how);
    ProgramFolder pf;
    msg::Recorder rec;
    pf.exec("INSERT INTO table1 (t13, t7, t18) VALUES ('碟一', 1, 'DVD'), ('O''Brien %_', 2, 'VCD')");
    rental::OpenRentalWindow();
    auto *w = ui::SharedIfOpen<input_Form2>();
    QVERIFY(w);
    QVERIFY(!w->AddToPreRentList({1, 2}).isEmpty());
    hostile::activate(w);

    // The clerk fills the fields in turn, moving on by clicking the next one. A refused
    // identity card shows its message once, keeps its text and the focus with its first 20
    // characters selected; the clerk then empties it, as the message asks. The deposit is
    // filled last and left by pressing "√提交".
    const int order[] = {Name, Card, CardType, Remark, Deposit};
    QMap<int, QString> held;
    for (int i = 0; i < 5; ++i) {
        const int index = order[i];
        bool ok = false;
        hostile::enterEntry(field(w, index), entry, how, &ok);
        QVERIFY(ok);
        held.insert(index, testsupport::TextOf(field(w, index)));
        ++m_tried[QStringLiteral("rental Text1_%1").arg(index)];
        if (index == Deposit)
            break;
        QCOMPARE(rec.texts(), QStringList{});
        auto *edit = qobject_cast<QLineEdit *>(field(w, index));
        field(w, order[i + 1])->setFocus(Qt::MouseFocusReason);
        QApplication::processEvents();
        QApplication::processEvents();
        const QString problem = index == Card && !held[Card].trimmed().isEmpty() ? db::IdentityCardProblem(held[Card]) : QString();
        if (problem.isEmpty()) {
            QCOMPARE(rec.texts(), QStringList{});
            QCOMPARE(QApplication::focusWidget(), field(w, order[i + 1]));
            continue;
        }
        QCOMPARE(rec.texts(), QStringList{problem});
        QCOMPARE(QApplication::focusWidget(), edit);
        QCOMPARE(edit->text(), held[Card]);
        QCOMPARE(edit->selectionStart(), 0);
        QCOMPARE(edit->selectedText(), held[Card].left(20));
        rec.clear();
        testsupport::Enter(edit, QString(), Entry::Pasted);
        held[Card].clear();
        field(w, order[i + 1])->setFocus(Qt::MouseFocusReason);
        QApplication::processEvents();
        QApplication::processEvents();
        QCOMPARE(rec.texts(), QStringList{});
    }
    QCOMPARE(testsupport::TextOf(field(w, Name)), held[Name]);

    hostile::click(w, QStringLiteral("Button1_1"));
    const QString name = held[Name].trimmed();
    const QString depositProblem = held[Deposit].trimmed().isEmpty() ? QString() : db::DepositProblem(held[Deposit]);
    if (name.isEmpty() || !depositProblem.isEmpty()) {
        // The submit refuses; pressing it left the deposit, so a refused one says so too.
        QStringList expected{name.isEmpty() ? db::RenterNameMissingMessage() : depositProblem};
        if (!depositProblem.isEmpty())
            expected << depositProblem;
        QCOMPARE(rec.texts(), expected);
        QCOMPARE(pf.scalar("SELECT count(*) FROM table2").toInt(), 0);
        QCOMPARE(pf.scalar("SELECT count(*) FROM table4").toInt(), 0);
        QCOMPARE(pf.scalar("SELECT count(*) FROM table1 WHERE s3 IS NOT NULL").toInt(), 0);
        QCOMPARE(pf.problems(), QString());
        if (name.isEmpty())
            return;
        // The clerk empties the refused deposit and submits again.
        QCOMPARE(QApplication::focusWidget(), field(w, Deposit));
        rec.clear();
        testsupport::Enter(field(w, Deposit), QString(), Entry::Pasted);
        held[Deposit].clear();
        hostile::click(w, QStringLiteral("Button1_1"));
    }
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("数据提交完毕！")});
    ++m_stored;
    const QString today = db::toStoredDate(testsupport::Today());
    const auto customers = pf.rows("SELECT id, t1, t2, t3, s4, t4, s5, t5, s1, s2 FROM table2");
    QCOMPARE(customers.size(), 1);
    const QVariantList &c = customers.first();
    QCOMPARE(c[1], QVariant(name));
    QCOMPARE(c[2].isNull() ? QVariant() : c[2], storedText(held[Card]));
    const QVariant type = storedText(held[CardType]);
    QCOMPARE(c[3].isNull() ? QVariant() : c[3], type);
    QCOMPARE(c[4].toString(), type.isValid() ? today : QString());
    const QString deposit = held[Deposit].trimmed();
    QCOMPARE(c[5].toLongLong(), deposit.isEmpty() ? 0 : deposit.toLongLong());
    QCOMPARE(c[6].toString(), deposit.isEmpty() ? QString() : today);
    QCOMPARE(c[7].isNull() ? QVariant() : c[7], storedText(held[Remark]));
    QCOMPARE(c[8].toString(), today);
    QCOMPARE(c[9].toLongLong(), qint64(3));
    const auto records = pf.rows("SELECT discid, discname, khid, s1 FROM table4 ORDER BY id");
    QCOMPARE(records.size(), 2);
    QCOMPARE(records[1][1].toString(), QStringLiteral("O'Brien %_"));
    for (const QVariantList &r : records) {
        QCOMPARE(r[2], c[0]);
        QCOMPARE(r[3].toString(), today);
    }
    const auto discs = pf.rows("SELECT s3, s1, s4 FROM table1 ORDER BY id");
    for (const QVariantList &d : discs) {
        QCOMPARE(d[0].toString(), name);
        QCOMPARE(d[1].toString(), today);
        QCOMPARE(d[2].toInt(), 1);
    }
    if (type.isValid()) {
        QCOMPARE(pf.scalar("SELECT count(*) FROM table3 WHERE s3 = ? COLLATE BINARY", {type}).toInt(), 1);
        // The drop-down offers the stored card type, and choosing it fills the field with it.
        QWidget *typeField = field(w, CardType);
        typeField->setFocus(Qt::MouseFocusReason);
        QApplication::processEvents();
        auto *combo = w->findChild<QComboBox *>(QStringLiteral("Combo1"));
        QVERIFY(combo && combo->isVisible());
        const int item = combo->findText(type.toString(), Qt::MatchExactly | Qt::MatchCaseSensitive);
        QVERIFY(item > 0);
        combo->setFocus(Qt::MouseFocusReason);
        combo->setCurrentIndex(item - 1);
        QTest::keyClick(combo, Qt::Key_Down);
        QApplication::processEvents();
        QCOMPARE(testsupport::TextOf(typeField), type.toString());
    }
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("数据提交完毕！")});
    QCOMPARE(pf.problems(), QString());
}

void tst_hostileinput_rental::scanBoxes_data()
{
    hostile::corpusRows(40);
}

// The scan boxes of the rental and the quick-return windows: whatever is typed or pasted
// and sent with Return lists nothing unless it reads as a disc number, opens no box, writes
// nothing, and the next real scan works.
void tst_hostileinput_rental::scanBoxes()
{
    QFETCH(QString, entry);
    QFETCH(Entry, how);
    ProgramFolder pf;
    msg::Recorder rec;
    pf.exec("INSERT INTO table1 (t13, t7, t18) VALUES ('碟一', 1, 'DVD'), ('O''Brien %_', 2, 'VCD')");
    pf.exec("INSERT INTO table2 (t1, s1, s2) VALUES ('张三', '2026-03-01', 2)");
    pf.exec("INSERT INTO table4 (discid, discname, khid, s1) VALUES (2, 'O''Brien %_', 1, '2026-03-01')");
    pf.exec("UPDATE table1 SET s1 = '2026-03-01', s3 = '张三', s4 = 1 WHERE id = 2");
    const auto stored = [&pf] { return pf.rows("SELECT * FROM table1") + pf.rows("SELECT * FROM table2") + pf.rows("SELECT * FROM table4"); };
    const auto before = stored();
    rental::OpenRentalWindow();
    auto *rent = ui::SharedIfOpen<input_Form2>();
    rental::OpenQuickReturns();
    auto *back = ui::SharedIfOpen<rental::quickReturn_Form>();
    for (QWidget *w : {static_cast<QWidget *>(rent), static_cast<QWidget *>(back)}) {
        hostile::activate(w);
        QWidget *box = hostile::box(w, QStringLiteral("ScanBox"));
        bool ok = false;
        const QString typed = hostile::enterEntry(box, entry, how, &ok);
        QVERIFY(ok);
        ++m_tried[w->objectName() + QStringLiteral(" ScanBox")];
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(rec.texts(), QStringList{});
        QVERIFY(!hostile::box(w, QStringLiteral("ScanMessage"))->property("text").toString().isEmpty()
                || typed.trimmed().isEmpty());
        const db::ScanCode code = db::ParseScanCode(typed);
        const bool disc = code.kind == db::ScanCode::Kind::Disc;
        if (w == rent)
            QCOMPARE(rental::PreRent().PreRentCount(), disc && code.number == 1 ? 1 : 0);
        else
            QCOMPARE(back->listed().size(), disc && code.number == 2 ? 1 : 0);
        QCOMPARE(QApplication::focusWidget(), box);
        testsupport::Enter(box, w == rent ? QStringLiteral("1") : QStringLiteral("2"), Entry::Typed);
        QTest::keyClick(box, Qt::Key_Return);
        if (w == rent)
            QCOMPARE(rental::PreRent().PreRentCount(), 1);
        else
            QCOMPARE(back->listed().size(), 1);
    }
    QCOMPARE(rec.texts(), QStringList{});
    QCOMPARE(stored(), before);
    QCOMPARE(pf.problems(), QString());
}

QTEST_MAIN(tst_hostileinput_rental)
#include "tst_hostileinput_rental.moc"
