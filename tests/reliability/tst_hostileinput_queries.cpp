// The filter boxes of the rentable-disc picker, the disc query and the customer query take
// the hostile corpus, typed and pasted: every box cuts at a whole character, a refused number
// or date says so and lists nothing new, and every result is exactly what a literal match over
// the table gives (instr() for parts, = for whole values, letter case of A-Z ignored).
#include <QApplication>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include "data/store/connection.h"
#include "data/shop/customerchecks.h"
#include "data/search/customerindex.h"
#include "data/search/discindex.h"
#include "data/store/programdir.h"
#include "hostilecases.h"
#include "lists/openers.h"
#include "lists/qdisc_form.h"
#include "lists/qdisc_list_form.h"
#include "lists/qkh_form.h"
#include "lists/qkh_list_form.h"
#include "rental/list_form2.h"
#include "support/closewindows.h"
#include "support/programfolder.h"
#include "ui/messages.h"
#include "ui/windowhost.h"

using hostile::Entry;
using testsupport::HostileText;
using testsupport::ProgramFolder;

namespace {

// A text box or selection box of a filter and how its value selects rows.
struct FilterBox
{
    const char *name;
    const char *column;
    bool part; // anywhere in the column (instr), else the whole value (=)
};

const FilterBox kDiscBoxes[] = {{"Text1_1", "t13", true},   {"Combo1_0", "t14", true},  {"Combo1_1", "t11", true},
                                {"Combo1_2", "t18", false}, {"Combo1_3", "t20", false}, {"Combo1_4", "t10", false}};
const FilterBox kCustomerBoxes[] = {{"Text1_0", "t2", false}, {"Text1_1", "t1", true}, {"Combo1_0", "t3", false}};
const char *const kDateBoxes[] = {"Combo1_1", "Combo1_2", "Combo1_3", "Combo1_6", "Combo1_5", "Combo1_4"};

QStringList storedTexts()
{
    QStringList texts;
    for (const HostileText &t : testsupport::HostileTexts(ui::kLineTextLimit))
        texts << t.text;
    texts << QStringLiteral("o'brien's 'X' 之后") << QStringLiteral("axb") << QStringLiteral("100 percent")
          << QStringLiteral("C:/tmp") << QStringLiteral("abc") << QStringLiteral("卡") << QStringLiteral("1");
    return texts;
}

// Every corpus text in every text column; every third disc is out, rented by 王 with an
// open rental record, as a rental leaves it.
void addDiscs(const ProgramFolder &pf)
{
    pf.exec("INSERT INTO table2 (t1, s1, s2) VALUES ('王', '2026-03-01', 0)");
    const QVariant renter = pf.scalar("SELECT max(id) FROM table2");
    int i = 0;
    for (const QString &t : storedTexts()) {
        const bool out = ++i % 3 == 0;
        pf.exec("INSERT INTO table1 (t13, t14, t11, t18, t20, t10, s3, s1) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                {t, t, t, t, t, t, out ? QVariant(QStringLiteral("王")) : QVariant(),
                 out ? QVariant(QStringLiteral("2026-03-01")) : QVariant()});
        if (out)
            pf.exec("INSERT INTO table4 (discid, discname, khid, s1) VALUES ((SELECT max(id) FROM table1), ?, ?, '2026-03-01')",
                    {t, renter});
    }
}

void addCustomers(const ProgramFolder &pf)
{
    int i = 0;
    for (const QString &t : storedTexts()) {
        ++i;
        pf.exec("INSERT INTO table2 (t1, t2, t3, s1, s2) VALUES (?, ?, ?, ?, 1)",
                {t, t, t, i % 4 == 0 ? QVariant() : QVariant(QStringLiteral("2026-01-%1").arg(i % 28 + 1, 2, 10, QChar(u'0')))});
    }
}

// Filling the shop files every long text in the search indexes, which takes a while: it is
// done once per kind of shop and the file copied for every further case.
void fillShop(const ProgramFolder &pf, void (*fill)(const ProgramFolder &))
{
    static QTemporaryDir kept;
    static QMap<void (*)(const ProgramFolder &), QString> files;
    const QString copy = files.value(fill);
    if (!copy.isEmpty()) {
        QVERIFY(QFile::remove(pf.realFile()));
        QVERIFY(QFile::copy(copy, pf.realFile()));
        QFile::setPermissions(pf.realFile(), QFile::ReadOwner | QFile::WriteOwner);
        return;
    }
    fill(pf);
    {
        // Bitmaps built now, as after a bulk load, so no case builds them again.
        db::Connection c(pf.realFile());
        QVERIFY(db::RebuildDiscIndex(c));
        QVERIFY(db::RebuildCustomerIndex(c));
    }
    const QString made = kept.filePath(QString::number(files.size()) + QStringLiteral(".sqlite"));
    QVERIFY(QFile::copy(pf.realFile(), made));
    files.insert(fill, made);
}

// What a literal match over the table selects, sorted.
QList<qint64> literal(const ProgramFolder &pf, const QString &table, const QString &base, const FilterBox &b,
                      const QString &typed)
{
    QString sql = QStringLiteral("SELECT id FROM %1 WHERE %2").arg(table, base);
    QVariantList binds;
    if (!typed.isEmpty()) {
        sql += b.part ? QStringLiteral(" AND instr(lower(%1), lower(?)) > 0") : QStringLiteral(" AND lower(%1) = lower(?)");
        sql = sql.arg(QLatin1String(b.column));
        binds << typed;
    }
    QList<qint64> ids;
    for (const QVariantList &r : pf.rows(sql + QStringLiteral(" ORDER BY id"), binds))
        ids << r.first().toLongLong();
    return ids;
}

QList<qint64> listed(const ui::PagedListForm *w)
{
    QList<qint64> ids;
    for (int r = 1; r <= w->rowsPerPage(); ++r) {
        if (const qint64 id = w->rowRecord(r); id > 0)
            ids << id;
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

void emptyBoxes(QWidget *w, const QStringList &names)
{
    for (const QString &n : names)
        testsupport::Enter(hostile::box(w, n), QString(), Entry::Pasted);
}

} // namespace

class tst_hostileinput_queries : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void picker_data();
    void picker();
    void discQuery_data();
    void discQuery();
    void customerQuery_data();
    void customerQuery();

private:
    // Enters the entry into the box, then checks it holds it as its limit allows.
    QString enter(QWidget *w, const QString &boxName, const QString &entry, Entry how, const QString &window);
    QMap<QString, int> m_tried;
    int m_compared = 0;
};

void tst_hostileinput_queries::initTestCase()
{
    qRegisterMetaType<Entry>();
}

void tst_hostileinput_queries::cleanup()
{
    testsupport::DeleteAllWindows();
}

void tst_hostileinput_queries::cleanupTestCase()
{
    for (auto it = m_tried.cbegin(); it != m_tried.cend(); ++it)
        qInfo("%-34s %3d corpus entries typed or pasted", qPrintable(it.key()), it.value());
    qInfo("%d results compared with the literal match", m_compared);
}

QString tst_hostileinput_queries::enter(QWidget *w, const QString &boxName, const QString &entry, Entry how,
                                        const QString &window)
{
    bool ok = false;
    hostile::enterEntry(hostile::box(w, boxName), entry, how, &ok);
    if (!ok)
        return QString(QChar(0xFFFF)); // never a filter value: the caller fails
    ++m_tried[window + u' ' + boxName];
    return testsupport::TextOf(hostile::box(w, boxName));
}

// Every entry goes into the title and number boxes; the five selection boxes, which feed
// the same disc filter the disc query tries with every entry, take the entries in turn, as
// each case in the picker repaints its own grid of long texts and costs several seconds.
void tst_hostileinput_queries::picker_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<Entry>("how");
    QTest::addColumn<int>("selectionBox");
    int row = 0;
    for (const HostileText &t : testsupport::HostileTexts(ui::kLineTextLimit)) {
        if (t.typable)
            QTest::newRow(qPrintable(t.name + QStringLiteral(", typed"))) << t.name << Entry::Typed << 1 + row++ % 5;
        QTest::newRow(qPrintable(t.name + QStringLiteral(", pasted"))) << t.name << Entry::Pasted << 1 + row++ % 5;
    }
}

void tst_hostileinput_queries::picker()
{
    QFETCH(QString, entry);
    QFETCH(Entry, how);
    ProgramFolder pf;
    msg::Recorder rec;
    fillShop(pf, addDiscs);
    list_Form2 *w = list_Form2::openNew();
    const QString base = QStringLiteral("t13 IS NOT NULL AND s3 IS NULL");
    QFETCH(int, selectionBox);
    // One box filled at a time; the clerk empties it before the next.
    for (const FilterBox &b : {kDiscBoxes[0], kDiscBoxes[selectionBox]}) {
        const QString held = enter(w, QString::fromLatin1(b.name), entry, how, QStringLiteral("picker"));
        QVERIFY(held != QString(QChar(0xFFFF)));
        hostile::click(w, QStringLiteral("button3"));
        QCOMPARE(rec.texts(), QStringList{});
        QCOMPARE(listed(w), literal(pf, QStringLiteral("table1"), base, b, held.trimmed()));
        ++m_compared;
        emptyBoxes(w, {QString::fromLatin1(b.name)});
    }
    // The disc number box takes a whole number or nothing; anything else is refused and the
    // list stays as it was.
    const QList<qint64> before = listed(w);
    const QString number = enter(w, QStringLiteral("Text1_0"), entry, how, QStringLiteral("picker"));
    QVERIFY(number != QString(QChar(0xFFFF)));
    hostile::click(w, QStringLiteral("button3"));
    if (number.trimmed().isEmpty()) {
        QCOMPARE(rec.texts(), QStringList{});
        QCOMPARE(listed(w), literal(pf, QStringLiteral("table1"), base, kDiscBoxes[0], QString()));
    } else {
        QCOMPARE(rec.texts(), QStringList{DiscNumberFilterMessage()});
        QCOMPARE(listed(w), before);
    }
    QCOMPARE(pf.problems(), QString());
}

void tst_hostileinput_queries::discQuery_data()
{
    hostile::corpusRows(ui::kLineTextLimit);
}

void tst_hostileinput_queries::discQuery()
{
    QFETCH(QString, entry);
    QFETCH(Entry, how);
    ProgramFolder pf;
    msg::Recorder rec;
    fillShop(pf, addDiscs);
    lists::OpenDiscQuery();
    auto *w = ui::SharedIfOpen<Qdisc_Form>();
    QVERIFY(w);
    for (const FilterBox &b : kDiscBoxes) {
        hostile::click(w, QStringLiteral("button1")); // reset
        const QString held = enter(w, QString::fromLatin1(b.name), entry, how, QStringLiteral("disc query"));
        QVERIFY(held != QString(QChar(0xFFFF)));
        hostile::click(w, QStringLiteral("button2"));
        QCOMPARE(rec.texts(), QStringList{});
        auto *result = ui::SharedIfOpen<Qdisc_list_Form>();
        QVERIFY(result);
        QCOMPARE(listed(result), literal(pf, QStringLiteral("table1"), QStringLiteral("t13 IS NOT NULL"), b, held.trimmed()));
        ++m_compared;
    }
    hostile::click(w, QStringLiteral("button1"));
    const QString number = enter(w, QStringLiteral("Text1_0"), entry, how, QStringLiteral("disc query"));
    QVERIFY(number != QString(QChar(0xFFFF)));
    hostile::click(w, QStringLiteral("button2"));
    QCOMPARE(rec.texts(), number.trimmed().isEmpty() ? QStringList{} : QStringList{Qdisc_Form::numberMessage()});
    QCOMPARE(pf.problems(), QString());
}

void tst_hostileinput_queries::customerQuery_data()
{
    hostile::corpusRows(ui::kLineTextLimit);
}

void tst_hostileinput_queries::customerQuery()
{
    QFETCH(QString, entry);
    QFETCH(Entry, how);
    ProgramFolder pf;
    msg::Recorder rec;
    fillShop(pf, addCustomers);
    lists::OpenCustomerQuery();
    auto *w = ui::SharedIfOpen<Qkh_Form>();
    QVERIFY(w);
    for (const FilterBox &b : kCustomerBoxes) {
        hostile::click(w, QStringLiteral("button1")); // reset
        const QString held = enter(w, QString::fromLatin1(b.name), entry, how, QStringLiteral("customer query"));
        QVERIFY(held != QString(QChar(0xFFFF)));
        hostile::click(w, QStringLiteral("button2"));
        QCOMPARE(rec.texts(), QStringList{});
        auto *result = ui::SharedIfOpen<Qkh_list_Form>();
        QVERIFY(result);
        QCOMPARE(listed(result), literal(pf, QStringLiteral("table2"), QStringLiteral("t1 IS NOT NULL"), b, held.trimmed()));
        ++m_compared;
    }
    // A date box takes digits only, checked as it is left; a date part alone is refused by
    // the query before anything is read.
    const db::DatePart parts[] = {db::DatePart::Year, db::DatePart::Month, db::DatePart::Day};
    for (int i = 0; i < 6; ++i) {
        // The result window took the front: the clerk comes back to the query window first.
        hostile::activate(w);
        hostile::click(w, QStringLiteral("button1"));
        const QString name = QString::fromLatin1(kDateBoxes[i]);
        const QString held = enter(w, name, entry, how, QStringLiteral("customer query"));
        QVERIFY(held != QString(QChar(0xFFFF)));
        rec.clear();
        hostile::box(w, QStringLiteral("Text1_1"))->setFocus(Qt::MouseFocusReason);
        QApplication::processEvents();
        QApplication::processEvents();
        const QString problem = held.trimmed().isEmpty() ? QString() : db::DatePartProblem(parts[i % 3], held);
        QCOMPARE(rec.texts(), problem.isEmpty() ? QStringList{} : QStringList{problem});
        if (!problem.isEmpty()) {
            // A refused box keeps its text and the focus, its first 20 characters selected.
            auto *edit = qobject_cast<QLineEdit *>(hostile::box(w, name));
            QCOMPARE(QApplication::focusWidget(), edit->parentWidget());
            QCOMPARE(edit->text(), held);
            QCOMPARE(edit->selectionStart(), 0);
            QCOMPARE(edit->selectedText(), held.left(20));
        }
        rec.clear();
        // The query refuses a lone date part; pressing it leaves a refused box once more.
        hostile::click(w, QStringLiteral("button2"));
        QStringList expected;
        if (!held.trimmed().isEmpty())
            expected << DateIncompleteMessage();
        if (!problem.isEmpty())
            expected << problem;
        QCOMPARE(rec.texts(), expected);
        rec.clear();
    }
    QCOMPARE(pf.problems(), QString());
}

QTEST_MAIN(tst_hostileinput_queries)
#include "tst_hostileinput_queries.moc"
