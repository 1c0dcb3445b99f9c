#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include "app/firstaccount_dialog.h"
#include "app/gz_loginer_form.h"
#include "app/gz_pwd_form.h"
#include "app/main_mdiform.h"
#include "app/password_form.h"
#include "data/search/discfilter.h"
#include "data/shop/catalogueimport.h"
#include "data/shop/csvexport.h"
#include "data/shop/discrecords.h"
#include "data/shop/shopexport.h"
#include "data/store/programdir.h"
#include "discs/input_form.h"
#include "hoverpad/usercontrol1.h"
#include "hostilecases.h"
#include "support/hostileinput.h"
#include "support/closewindows.h"
#include "support/programfolder.h"
#include "support/typing.h"
#include "ui/messages.h"
#include "ui/textlimit.h"

using testsupport::Entry;
using testsupport::HostileText;
using testsupport::ProgramFolder;
using hostile::box;
using hostile::boxProblem;
using hostile::click;
using hostile::corpusEntry;
using hostile::corpusText;

// Every text box of every window takes the hostile corpus, typed and pasted: no statement
// fails, and what is stored is exactly what the box holds (trimmed where the window trims),
// the box holding the text or its start cut at a whole character at the box's limit.

namespace {

struct DiscBox
{
    int index;
    const char *column;
    const char *lookupColumn; // table3 column of its list, or null
};
// The text fields of the disc entry window (the count takes digits only).
const DiscBox kDiscBoxes[] = {
    {11, "t13", nullptr}, {37, "t38", "s9"}, {16, "t18", "s11"}, {12, "t14", "s13"}, {17, "t11", "s8"},
    {18, "t10", "s6"},    {36, "t20", "s2"}, {40, "t41", nullptr}, {41, "t34", nullptr},
};

QWidget *discBox(QWidget *w, int index)
{
    return box(w, QStringLiteral("Text1_%1").arg(index));
}

QVariant stored(const QString &text)
{
    return text.trimmed().isEmpty() ? QVariant() : QVariant(text.trimmed());
}

} // namespace

class tst_hostileinput : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void cleanupTestCase();
    void discEntry_data();
    void discEntry();
    void discCorrection_data();
    void discCorrection();
    void login_data();
    void login();
    void accountWindows_data();
    void accountWindows();
    void firstAccount_data();
    void firstAccount();
    void discFilter_data();
    void discFilter();
    void catalogueImport_data();
    void catalogueImport();
    void shopExport_data();
    void shopExport();

private:
    void fillDiscWindow(QWidget *w, const QString &entry, Entry how);
    void checkDiscRow(const ProgramFolder &pf, const QMap<int, QString> &held, qint64 id);

    QMap<QString, int> m_tried; // box -> corpus entries tried
};

void tst_hostileinput::cleanup()
{
    testsupport::DeleteAllWindows();
}

void tst_hostileinput::cleanupTestCase()
{
    for (auto it = m_tried.cbegin(); it != m_tried.cend(); ++it)
        qInfo("%-34s %3d corpus entries typed or pasted, 0 statement errors, 0 wrong rows", qPrintable(it.key()), it.value());
}

void tst_hostileinput::fillDiscWindow(QWidget *w, const QString &entry, Entry how)
{
    for (const DiscBox &b : kDiscBoxes) {
        QWidget *field = discBox(w, b.index);
        const HostileText t = corpusEntry(entry, ui::LengthLimit(field));
        // Tens of thousands of characters are pasted, never typed.
        const Entry way = t.typable ? how : Entry::Pasted;
        testsupport::Enter(field, t.text, way);
        const QString problem = boxProblem(field, t.text, way);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        ++m_tried[QStringLiteral("disc entry %1").arg(field->objectName())];
    }
    testsupport::Enter(discBox(w, 22), QStringLiteral("1"), Entry::Typed);
}

// The row holds what each box held: trimmed, the synopsis exactly; an empty box leaves
// its column alone. Lookup values are listed once.
void tst_hostileinput::checkDiscRow(const ProgramFolder &pf, const QMap<int, QString> &heldBy, qint64 id)
{
    for (const DiscBox &b : kDiscBoxes) {
        const QString held = heldBy.value(b.index);
        const QVariant value = pf.scalar(QStringLiteral("SELECT %1 FROM table1 WHERE id = ?").arg(QLatin1String(b.column)), {id});
        if (b.index == 41) {
            if (!held.trimmed().isEmpty())
                QCOMPARE(value.toString(), held);
        } else if (!held.trimmed().isEmpty()) {
            QCOMPARE(value, stored(held));
        }
        if (b.lookupColumn && !held.trimmed().isEmpty()) {
            const int rows = pf.scalar(QStringLiteral("SELECT count(*) FROM table3 WHERE %1 = ? COLLATE BINARY")
                                           .arg(QLatin1String(b.lookupColumn)),
                                       {held.trimmed()}).toInt();
            QCOMPARE(rows, 1);
        }
    }
}

void tst_hostileinput::discEntry_data()
{
    hostile::corpusRows(15);
}

void tst_hostileinput::discEntry()
{
    QFETCH(QString, entry);
    QFETCH(Entry, how);
    ProgramFolder pf;
    msg::Recorder rec;
    auto *w = new input_Form;
    w->show();
    fillDiscWindow(w, entry, how);
    const bool titled = !testsupport::TextOf(discBox(w, 11)).trimmed().isEmpty();
    // Keep what the boxes hold: a successful add empties them.
    QMap<int, QString> held;
    for (const DiscBox &b : kDiscBoxes)
        held.insert(b.index, testsupport::TextOf(discBox(w, b.index)));
    click(w, QStringLiteral("button1_1"));
    if (!titled) {
        QCOMPARE(rec.texts(), QStringList{QStringLiteral("碟片名称不能为空！")});
        QCOMPARE(pf.scalar("SELECT count(*) FROM table1").toInt(), 0);
        QCOMPARE(testsupport::TextOf(discBox(w, 40)), held.value(40));
    } else {
        QCOMPARE(rec.texts(), QStringList{QStringLiteral("数据添加完成！")});
        checkDiscRow(pf, held, 1);
    }
    QCOMPARE(pf.problems(), QString());
}

void tst_hostileinput::discCorrection_data()
{
    hostile::corpusRows(15);
}

void tst_hostileinput::discCorrection()
{
    QFETCH(QString, entry);
    QFETCH(Entry, how);
    ProgramFolder pf;
    msg::Recorder rec;
    db::DiscFields before;
    before.title = QStringLiteral("原名");
    before.remark = QStringLiteral("原备注");
    QVERIFY(db::AddDisc(before).ok());
    input_Form *w = input_Form::openForCorrection(1);
    QVERIFY(w);
    fillDiscWindow(w, entry, how);
    QMap<int, QString> held;
    for (const DiscBox &b : kDiscBoxes)
        held.insert(b.index, testsupport::TextOf(discBox(w, b.index)));
    click(w, QStringLiteral("button1_1"));
    if (held.value(11).trimmed().isEmpty()) {
        QCOMPARE(rec.texts(), QStringList{QStringLiteral("碟片名称不能为空！")});
        QCOMPARE(pf.scalar("SELECT t13 FROM table1 WHERE id = 1").toString(), QStringLiteral("原名"));
    } else {
        QCOMPARE(rec.texts(), QStringList{QStringLiteral("数据更改完毕！")});
        checkDiscRow(pf, held, 1);
        if (held.value(40).trimmed().isEmpty())
            QCOMPARE(pf.scalar("SELECT t41 FROM table1 WHERE id = 1").toString(), QStringLiteral("原备注"));
    }
    QCOMPARE(pf.problems(), QString());
}

void tst_hostileinput::login_data()
{
    hostile::corpusRows(ui::kLineTextLimit);
}

void tst_hostileinput::login()
{
    QFETCH(QString, entry);
    QFETCH(Entry, how);
    ProgramFolder pf;
    msg::Recorder rec;
    new main_MDIForm;
    QPointer<Password_Form> w = Password_Form::open();
    const QString text = corpusText(entry, ui::kLineTextLimit);
    for (const char *name : {"Text1", "Text2"}) {
        testsupport::Enter(box(w, name), text, how);
        const QString problem = boxProblem(box(w, name), text, how);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        ++m_tried[QStringLiteral("login %1").arg(name)];
    }
    const QString user = testsupport::TextOf(box(w, "Text1")).trimmed();
    const QString password = testsupport::TextOf(box(w, "Text2"));
    // A user with a name of pattern characters must not let these texts in.
    pf.exec("INSERT INTO table7 (t1, t2) VALUES ('%', '%')");
    pf.exec("INSERT INTO table7 (t1, t2) VALUES (?, ?)", {user + QStringLiteral("x"), password});
    click(w, QStringLiteral("button1"));
    if (user.isEmpty()) {
        QCOMPARE(rec.texts(), QStringList{QStringLiteral("请输入用户名！")});
        QCOMPARE(pf.scalar("SELECT count(*) FROM table8").toInt(), 0);
        return;
    }
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("用户名或密码不正确！")});
    QVERIFY(w && w->isVisible());
    QCOMPARE(testsupport::TextOf(box(w, "Text2")), password);

    pf.exec("INSERT INTO table7 (t1, t2) VALUES (?, ?)",
            {user, password.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(password)});
    rec.clear();
    click(w, QStringLiteral("button1"));
    QCOMPARE(rec.texts(), QStringList{});
    QCOMPARE(db::Session::CurrentUser(), user);
    QCOMPARE(db::Session::CurrentPassword(), password);
    const auto logged = pf.rows("SELECT loginer_id, loginer FROM table8");
    QCOMPARE(logged.size(), 1);
    QCOMPARE(logged[0][0].toInt(), 3);
    QCOMPARE(logged[0][1].toString(), user);
    QCOMPARE(pf.problems(), QString());
}

void tst_hostileinput::accountWindows_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<Entry>("how");
    QTest::addColumn<bool>("rename");
    for (const HostileText &t : testsupport::HostileTexts(ui::kLineTextLimit)) {
        for (bool rename : {true, false}) {
            const QString window = rename ? QStringLiteral("rename, ") : QStringLiteral("password, ");
            if (t.typable)
                QTest::newRow(qPrintable(window + t.name + QStringLiteral(", typed"))) << t.name << Entry::Typed << rename;
            QTest::newRow(qPrintable(window + t.name + QStringLiteral(", pasted"))) << t.name << Entry::Pasted << rename;
        }
    }
}

void tst_hostileinput::accountWindows()
{
    QFETCH(QString, entry);
    QFETCH(Entry, how);
    QFETCH(bool, rename);
    ProgramFolder pf;
    msg::Recorder rec;
    pf.exec("INSERT INTO table7 (t1, t2) VALUES ('店主', 'pw')");
    pf.exec("INSERT INTO table7 (t1, t2) VALUES ('%', '%')");
    db::Session::setCurrentUser(QStringLiteral("店主"));
    db::Session::setCurrentPassword(QStringLiteral("pw"));
    QWidget *w = rename ? static_cast<QWidget *>(gz_Loginer_Form::showWindow())
                        : static_cast<QWidget *>(gz_PWD_Form::showWindow());
    const QString text = corpusText(entry, ui::kLineTextLimit);
    testsupport::Enter(box(w, "Text1"), QStringLiteral("店主"), Entry::Typed);
    testsupport::Enter(box(w, "Text2"), QStringLiteral("pw"), Entry::Typed);
    for (const char *name : {"Text3", "Text4"}) {
        testsupport::Enter(box(w, name), text, how);
        const QString problem = boxProblem(box(w, name), text, how);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        ++m_tried[QStringLiteral("%1 %2").arg(w->objectName(), name)];
    }
    const QString held = testsupport::TextOf(box(w, "Text3"));
    click(w, QStringLiteral("button1"));
    const auto rows = pf.rows("SELECT t1, t2 FROM table7 ORDER BY id");
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[1][0].toString(), QStringLiteral("%")); // the other user is untouched
    if (rename) {
        if (held.trimmed().isEmpty()) {
            QCOMPARE(rec.texts(), QStringList{QStringLiteral("新用户名不能为空！")});
            QCOMPARE(rows[0][0].toString(), QStringLiteral("店主"));
        } else {
            QCOMPARE(rec.texts(), QStringList{QStringLiteral("用户名更改完毕！")});
            QCOMPARE(rows[0][0].toString(), held.trimmed());
            QCOMPARE(db::Session::CurrentUser(), held.trimmed());
        }
    } else {
        QCOMPARE(rec.texts(), QStringList{QStringLiteral("新密码更改完毕！")});
        QCOMPARE(rows[0][1], held.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(held));
        QCOMPARE(db::Session::CurrentPassword(), held);
    }
    QCOMPARE(pf.problems(), QString());
}

void tst_hostileinput::firstAccount_data()
{
    hostile::corpusRows(ui::kLineTextLimit);
}

void tst_hostileinput::firstAccount()
{
    QFETCH(QString, entry);
    QFETCH(Entry, how);
    ProgramFolder pf;
    msg::Recorder rec;
    auto *w = new FirstAccount_Dialog;
    w->show();
    const QString text = corpusText(entry, ui::kLineTextLimit);
    for (const char *name : {"Text1", "Text2", "Text3"}) {
        testsupport::Enter(box(w, name), text, how);
        const QString problem = boxProblem(box(w, name), text, how);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        ++m_tried[QStringLiteral("first account %1").arg(name)];
    }
    const QString user = testsupport::TextOf(box(w, "Text1")).trimmed();
    const QString password = testsupport::TextOf(box(w, "Text2"));
    click(w, QStringLiteral("button1"));
    for (bool demo : {false, true}) {
        const auto rows = pf.rows("SELECT t1, t2 FROM table7", {}, demo);
        if (user.isEmpty()) {
            QCOMPARE(rec.texts(), QStringList{QStringLiteral("请输入用户名！")});
            QCOMPARE(rows.size(), 0);
            continue;
        }
        QCOMPARE(rec.texts(), QStringList{});
        QCOMPARE(w->result(), int(QDialog::Accepted));
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][0].toString(), user);
        QCOMPARE(rows[0][1], password.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(password));
        QCOMPARE(pf.problems(demo), QString());
    }
}

void tst_hostileinput::discFilter_data()
{
    QTest::addColumn<QString>("entry");
    for (const HostileText &t : testsupport::HostileTexts(15))
        QTest::newRow(qPrintable(t.name)) << t.name;
}

// The filter finds exactly the discs whose texts hold the typed text literally, letter
// case of A-Z ignored; whole-value filters find exactly the equal values.
void tst_hostileinput::discFilter()
{
    QFETCH(QString, entry);
    ProgramFolder pf;
    QStringList titles;
    for (const HostileText &t : testsupport::HostileTexts(15))
        titles << t.text;
    titles << QStringLiteral("o'brien's 'X' 之后") << QStringLiteral("axb") << QStringLiteral("100 percent")
           << QStringLiteral("C:/tmp") << QStringLiteral("abc");
    for (const QString &t : std::as_const(titles))
        pf.exec("INSERT INTO table1 (t13, t14, t11, t18, t20, t10) VALUES (?, ?, ?, ?, ?, ?)", {t, t, t, t, t, t});
    const QString typed = corpusText(entry, 15);
    auto asciiFolded = [](const QString &s) {
        QString out = s;
        for (QChar &c : out) {
            if (c.unicode() >= 'A' && c.unicode() <= 'Z')
                c = QChar(c.unicode() + 32);
        }
        return out;
    };
    QList<qint64> contains, equal;
    for (int i = titles.size() - 1; i >= 0; --i) {
        if (asciiFolded(titles[i]).contains(asciiFolded(typed)))
            contains << i + 1;
        if (asciiFolded(titles[i]) == asciiFolded(typed))
            equal << i + 1;
    }
    auto ids = [](const db::DiscFilter &f) {
        QList<qint64> out;
        auto page = db::ReadPage(db::DiscFilterQuery(f), 1, 1000);
        if (!page) {
            qWarning("%s", qPrintable(page.error()));
            return QList<qint64>{-1};
        }
        for (const QVariantList &row : page->rows)
            out << row.first().toLongLong();
        return out;
    };
    db::DiscFilter f;
    for (QString db::DiscFilter::*field : {&db::DiscFilter::title, &db::DiscFilter::starring, &db::DiscFilter::director}) {
        f = {};
        f.*field = typed;
        QCOMPARE(ids(f), contains);
    }
    for (QString db::DiscFilter::*field : {&db::DiscFilter::media, &db::DiscFilter::category, &db::DiscFilter::country}) {
        f = {};
        f.*field = typed;
        QCOMPARE(ids(f), equal);
    }
    m_tried[QStringLiteral("disc filter (six texts)")] += 1;
    QCOMPARE(pf.problems(), QString());
}

void tst_hostileinput::catalogueImport_data()
{
    QTest::addColumn<QString>("entry");
    for (const HostileText &t : testsupport::HostileTexts(db::FieldLimits::title))
        QTest::newRow(qPrintable(t.name)) << t.name;
}

// A catalogue line carrying the text in every field, written as the export writes CSV: a
// title or field the entry window would refuse is that line's problem and nothing is stored;
// otherwise every column holds the text as the entry window stores it.
void tst_hostileinput::catalogueImport()
{
    QFETCH(QString, entry);
    const QString text = corpusText(entry, db::FieldLimits::title);
    ProgramFolder pf;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.csv"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(db::CsvByteOrderMark() + db::CsvLine({QStringLiteral("碟名"), QStringLiteral("主角"), QStringLiteral("国家"),
                                                       QStringLiteral("碟片简介")})
                + db::CsvLine({text, text, text, text}));
    }
    auto file = db::ReadCatalogue(path);
    QVERIFY2(file.ok(), qPrintable(file.error()));
    const QString trimmed = text.trimmed();
    // A line of blanks only is an empty spreadsheet row, not a disc.
    QCOMPARE(file->lines.size(), trimmed.isEmpty() ? 0 : 1);
    const bool refused = trimmed.isEmpty() || trimmed.size() > db::FieldLimits::title
                         || text.size() > db::FieldLimits::synopsis;
    if (!trimmed.isEmpty())
        QCOMPARE(!file->lines.first().problems.isEmpty(), refused);
    auto imported = db::ImportCatalogue(*file, db::NoProgress());
    QVERIFY2(imported.ok(), qPrintable(imported.error()));
    QCOMPARE(*imported, refused ? 0 : 1);
    if (!refused) {
        const QVariantList row = pf.rows(QStringLiteral("SELECT t13, t14, t10, t34 FROM table1 WHERE t13 IS NOT NULL")).value(0);
        QCOMPARE(row, (QVariantList{trimmed, trimmed, trimmed, text}));
    }
    QCOMPARE(pf.problems(), QString());
}

void tst_hostileinput::shopExport_data()
{
    QTest::addColumn<QString>("text");
    for (const HostileText &t : testsupport::HostileTexts(db::FieldLimits::title))
        QTest::newRow(qPrintable(t.name)) << t.text;
    QTest::newRow("NUL") << QStringLiteral("前\u0000后");
}

// A disc stored by the entry window's rules with the text in its starring and synopsis comes
// out of 导出全部数据 as stored: read back with the import's CSV reader, field for field.
void tst_hostileinput::shopExport()
{
    QFETCH(QString, text);
    ProgramFolder pf;
    db::DiscFields f;
    f.title = QStringLiteral("碟");
    f.starring = text;
    f.synopsis = text;
    QVERIFY(db::AddDisc(f).ok());
    QTemporaryDir out;
    auto done = db::ExportShop(out.path(), db::NoProgress());
    QVERIFY2(done.ok(), qPrintable(done.error()));
    const db::ExportedTable &discs = db::ExportedTables().first();
    QFile file(QDir(done->folder).filePath(discs.file));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith(db::CsvByteOrderMark()));
    const QList<QStringList> records = db::ParseCsv(QString::fromUtf8(bytes.mid(3)));
    QCOMPARE(records.size(), 2);
    const QVariantList stored = pf.rows(QStringLiteral("SELECT t14, t34 FROM table1 WHERE t13 IS NOT NULL")).value(0);
    QCOMPARE(records.at(1).value(discs.columns.indexOf(QStringLiteral("t14"))), stored.value(0).toString());
    QCOMPARE(records.at(1).value(discs.columns.indexOf(QStringLiteral("t34"))), stored.value(1).toString());
    // The synopsis is stored as typed unless it is blank (a blank field never fills a column).
    QCOMPARE(stored.value(1).toString(), text.trimmed().isEmpty() ? QString() : text);
    m_tried[QStringLiteral("whole-shop export")] += 1;
}

QTEST_MAIN(tst_hostileinput)
#include "tst_hostileinput.moc"
