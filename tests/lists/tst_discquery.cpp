// The disc query window and its result window driven as the shop keeper uses them: typing
// criteria, ticking boxes, choosing from the drop-downs, paging, correcting and deleting.
#include <QtTest>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

#include "app/main_mdiform.h"
#include "data/shop/lookuplists.h"
#include "hoverpad/usercontrol1.h"
#include "lists/openers.h"
#include "lists/qdisc_form.h"
#include "lists/qdisc_list_form.h"
#include "ui/messages.h"
#include "ui/reloadflag.h"
#include "ui/windowhost.h"
#include "support/programfolder.h"

using testsupport::ProgramFolder;

namespace {

// Discs 1..n titled 碟<i>; every disc whose number is in `titled` gets the title part 传说;
// discs where `rented` holds are out.
void addDiscs(const ProgramFolder &f, int n, const QString &titled = QStringLiteral("0"),
              const QString &rented = QStringLiteral("0"))
{
    f.exec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < ?) "
                          "INSERT INTO table1 (t13, t38, t7, t18, t14, t11, t10, t20) "
                          "SELECT '碟' || i, 'A1', 1, CASE WHEN i % 2 THEN 'DVD' ELSE 'VCD' END, '主角' || (i % 3), "
                          "'导演', CASE WHEN i % 5 THEN '中国' ELSE '香港' END, '动作' FROM k"),
           {n});
    f.exec(QStringLiteral("UPDATE table1 SET t13 = t13 || '传说' WHERE %1").arg(titled));
    f.exec(QStringLiteral("UPDATE table1 SET s1 = '2026-03-01', s3 = '客户' || id WHERE %1").arg(rented));
}

UserControl1 *button(QWidget *w, const QString &name) { return w->findChild<UserControl1 *>(name); }
QLineEdit *text(QWidget *w, int i) { return w->findChild<QLineEdit *>(QStringLiteral("Text1_%1").arg(i)); }
QComboBox *combo(QWidget *w, int i) { return w->findChild<QComboBox *>(QStringLiteral("Combo1_%1").arg(i)); }
QCheckBox *check(QWidget *w, int i) { return w->findChild<QCheckBox *>(QStringLiteral("Check%1").arg(i)); }
QString label(QWidget *w, int i) { return w->findChild<QLabel *>(QStringLiteral("Label1_%1").arg(i))->text(); }

void click(QWidget *b)
{
    QVERIFY(b && b->isVisible() && b->isEnabled());
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
}

void clickBox(QCheckBox *b)
{
    QVERIFY(b);
    // Where a user clicks a check box: on its square.
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
}

// Keys for ASCII; other text arrives as an input method commits it.
void keys(QWidget *target, const QString &t)
{
    for (const QChar c : t) {
        if (c.unicode() < 0x80) {
            QTest::keyClicks(target, QString(c));
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(QString(c));
            QApplication::sendEvent(target, &commit);
        }
    }
}

void type(QLineEdit *field, const QString &t)
{
    QVERIFY(field);
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    keys(field, t);
}

void typeInto(QComboBox *box, const QString &t)
{
    QVERIFY(box && box->lineEdit());
    box->setFocus();
    keys(box->lineEdit(), t);
}

// Picks entry `index` of a drop-down with the arrow keys, as a user would.
void choose(QComboBox *box, int index)
{
    QVERIFY(box);
    box->setFocus();
    for (int i = 0; i < box->count(); ++i)
        QTest::keyClick(box, Qt::Key_Up);
    for (int i = 0; i < index; ++i)
        QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(box->currentIndex(), index);
}

Qdisc_Form *queryWindow()
{
    lists::OpenDiscQuery();
    return ui::SharedIfOpen<Qdisc_Form>();
}

Qdisc_list_Form *resultWindow() { return ui::SharedIfOpen<Qdisc_list_Form>(); }

QStringList shownNumbers(ui::PagedListForm *w)
{
    QStringList out;
    for (int r = 1; r <= w->rowsPerPage(); ++r) {
        if (!w->grid()->cellText(r, 0).isEmpty())
            out << w->grid()->cellText(r, 0);
    }
    return out;
}

QString number(qint64 id) { return QStringLiteral("%1").arg(id, 6, 10, QLatin1Char('0')); }

void closeShared()
{
    for (QWidget *w : {static_cast<QWidget *>(ui::SharedIfOpen<Qdisc_list_Form>()),
                       static_cast<QWidget *>(ui::SharedIfOpen<Qdisc_Form>())}) {
        if (w) {
            QPointer<QWidget> gone = w;
            ui::CloseWindow(w);
            QTRY_VERIFY(gone.isNull());
        }
    }
}

} // namespace

class TestDiscQuery : public QObject
{
    Q_OBJECT
private slots:
    void init() { ui::ReloadFlag::clear(); }
    void cleanup() { closeShared(); }
    void windowAsLoaded();
    void numberWinsOverTheOtherCriteria_data();
    void numberWinsOverTheOtherCriteria();
    void checkBoxesNeverBothTicked_data();
    void checkBoxesNeverBothTicked();
    void emptyFirstEntryRemovesACriterion_data();
    void emptyFirstEntryRemovesACriterion();
    void criteriaText_data();
    void criteriaText();
    void numberThatIsNotAWholeNumber_data();
    void numberThatIsNotAWholeNumber();
    void typedTextMatchesLiterally_data();
    void typedTextMatchesLiterally();
    void partTypedIntoABoxIsSearchedAsTyped_data();
    void partTypedIntoABoxIsSearchedAsTyped();
    void resetEmptiesEverything();
    void pagingAndANewQueryOnPageOne();
    void correctionReloadsTheSameQuery();
    void deleteReloadsTheSameQuery();
    void menuOpensOneQueryWindow();
};

void TestDiscQuery::windowAsLoaded()
{
    ProgramFolder f;
    db::Lookups().StarringList.assign({QStringLiteral("刘德华"), QStringLiteral("周星驰")});
    db::Lookups().MediaList.assign({QStringLiteral("DVD"), QStringLiteral("VCD")});
    db::Lookups().CountryList.assign({QStringLiteral("中国")});
    Qdisc_Form *w = queryWindow();
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("碟片查询"));
    QCOMPARE(w->size(), QSize(6435 / 15, 5180 / 15));
    const QStringList lists[5] = {{QString(), QStringLiteral("刘德华"), QStringLiteral("周星驰")},
                                  {QString()},
                                  {QString(), QStringLiteral("DVD"), QStringLiteral("VCD")},
                                  {QString()},
                                  {QString(), QStringLiteral("中国")}};
    for (int i = 0; i < 5; ++i) {
        QStringList items;
        for (int k = 0; k < combo(w, i)->count(); ++k)
            items << combo(w, i)->itemText(k);
        QCOMPARE(items, lists[i]);
        QCOMPARE(combo(w, i)->currentText(), QString());
    }
    QCOMPARE(check(w, 1)->text(), QStringLiteral("可租碟片"));
    QCOMPARE(check(w, 2)->text(), QStringLiteral("未还碟片"));
    QCOMPARE(button(w, "button1")->Caption(), QStringLiteral("重置"));
    QCOMPARE(button(w, "button2")->Caption(), QStringLiteral("查询"));
    // One window for the program.
    QCOMPARE(queryWindow(), w);
}

void TestDiscQuery::numberWinsOverTheOtherCriteria_data()
{
    QTest::addColumn<QString>("typedNumber");
    QTest::addColumn<int>("tick");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("12 with a title that disc 12 lacks") << QStringLiteral("12") << 0 << QStringList{number(12)};
    QTest::newRow("12 with blanks around it") << QStringLiteral(" 12 ") << 0 << QStringList{number(12)};
    QTest::newRow("12 on the shelf, 未还碟片 ticked") << QStringLiteral("12") << 2 << QStringList{number(12)};
    QTest::newRow("20 out, 可租碟片 ticked") << QStringLiteral("20") << 1 << QStringList{number(20)};
    QTest::newRow("empty: the title counts") << QString() << 0 << QStringList{number(30), number(20), number(10)};
    QTest::newRow("0: the title counts") << QStringLiteral("0") << 0 << QStringList{number(30), number(20), number(10)};
    QTest::newRow("0 with 可租碟片") << QStringLiteral("0") << 1 << QStringList{number(30), number(10)};
    QTest::newRow("below 1: the title counts") << QStringLiteral("-4") << 0 << QStringList{number(30), number(20), number(10)};
    QTest::newRow("a free slot") << QStringLiteral("31") << 0 << QStringList{};
}

void TestDiscQuery::numberWinsOverTheOtherCriteria()
{
    QFETCH(QString, typedNumber);
    QFETCH(int, tick);
    QFETCH(QStringList, shown);
    ProgramFolder f;
    addDiscs(f, 31, QStringLiteral("id % 10 = 0"), QStringLiteral("id = 20"));
    f.exec(QStringLiteral("UPDATE table1 SET t13 = NULL WHERE id = 31"));
    Qdisc_Form *w = queryWindow();
    type(text(w, 0), typedNumber);
    type(text(w, 1), QStringLiteral("传说"));
    if (tick)
        clickBox(check(w, tick));
    click(button(w, "button2"));
    Qdisc_list_Form *result = resultWindow();
    QVERIFY(result);
    QCOMPARE(result->windowTitle(), QStringLiteral("碟片查询结果"));
    QCOMPARE(shownNumbers(result), shown);
    QCOMPARE(label(result, 2), QStringLiteral("共 %1 页/ %2 记录").arg(shown.isEmpty() ? 0 : 1).arg(shown.size()));
}

void TestDiscQuery::checkBoxesNeverBothTicked_data()
{
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<bool>("check1");
    QTest::addColumn<bool>("check2");
    QTest::newRow("1") << QList<int>{1} << true << false;
    QTest::newRow("2") << QList<int>{2} << false << true;
    QTest::newRow("1 then 2") << QList<int>{1, 2} << false << true;
    QTest::newRow("2 then 1") << QList<int>{2, 1} << true << false;
    QTest::newRow("1 twice") << QList<int>{1, 1} << false << false;
    QTest::newRow("1, 2, 2") << QList<int>{1, 2, 2} << false << false;
    QTest::newRow("2, 1, 1, 2") << QList<int>{2, 1, 1, 2} << false << true;
}

void TestDiscQuery::checkBoxesNeverBothTicked()
{
    QFETCH(QList<int>, clicks);
    QFETCH(bool, check1);
    QFETCH(bool, check2);
    ProgramFolder f;
    Qdisc_Form *w = queryWindow();
    for (int i : clicks) {
        clickBox(check(w, i));
        QVERIFY(!(check(w, 1)->isChecked() && check(w, 2)->isChecked()));
    }
    QCOMPARE(check(w, 1)->isChecked(), check1);
    QCOMPARE(check(w, 2)->isChecked(), check2);
    // The keyboard toggles them the same way.
    check(w, 1)->setFocus();
    QTest::keyClick(check(w, 1), Qt::Key_Space);
    check(w, 2)->setFocus();
    QTest::keyClick(check(w, 2), Qt::Key_Space);
    QVERIFY(!(check(w, 1)->isChecked() && check(w, 2)->isChecked()));
}

void TestDiscQuery::emptyFirstEntryRemovesACriterion_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("matching"); // discs the entry selects out of 30
    QTest::newRow("starring") << 0 << 1 << 10;
    QTest::newRow("media") << 2 << 2 << 15;
    QTest::newRow("country") << 4 << 2 << 6;
}

void TestDiscQuery::emptyFirstEntryRemovesACriterion()
{
    QFETCH(int, box);
    QFETCH(int, entry);
    QFETCH(int, matching);
    ProgramFolder f;
    addDiscs(f, 30);
    db::Lookups().StarringList.assign({QStringLiteral("主角0"), QStringLiteral("主角1")});
    db::Lookups().MediaList.assign({QStringLiteral("DVD"), QStringLiteral("VCD")});
    db::Lookups().CountryList.assign({QStringLiteral("中国"), QStringLiteral("香港")});
    Qdisc_Form *w = queryWindow();
    choose(combo(w, box), entry);
    click(button(w, "button2"));
    QCOMPARE(label(resultWindow(), 2), QStringLiteral("共 1 页/ %1 记录").arg(matching));
    choose(combo(w, box), 0);
    QCOMPARE(combo(w, box)->currentText(), QString());
    click(button(w, "button2"));
    QCOMPARE(label(resultWindow(), 2), QStringLiteral("共 1 页/ 30 记录"));
}

void TestDiscQuery::criteriaText_data()
{
    QTest::addColumn<QStringList>("typed"); // number, title, then the five boxes
    QTest::addColumn<QList<int>>("ticks");
    QTest::addColumn<QString>("tag");
    QTest::newRow("title and Check1")
        << QStringList{QString(), QStringLiteral("风云")} << QList<int>{1}
        << QStringLiteral("0@@@风云@@@@@@@@@@@@@@@@@@1@@@0");
    QTest::newRow("nothing") << QStringList{} << QList<int>{} << QStringLiteral("0@@@@@@@@@@@@@@@@@@@@@0@@@0");
    QTest::newRow("blanks trimmed, number as typed")
        << QStringList{QStringLiteral(" 7"), QStringLiteral("  风云 "), QStringLiteral(" 刘 "), QString(),
                       QStringLiteral("DVD ")}
        << QList<int>{2} << QStringLiteral(" 7@@@风云@@@刘@@@@@@DVD@@@@@@@@@0@@@1");
}

void TestDiscQuery::criteriaText()
{
    QFETCH(QStringList, typed);
    QFETCH(QList<int>, ticks);
    QFETCH(QString, tag);
    ProgramFolder f;
    Qdisc_Form *w = queryWindow();
    for (int i = 0; i < typed.size(); ++i) {
        if (i < 2)
            type(text(w, i), typed[i]);
        else
            typeInto(combo(w, i - 2), typed[i]);
    }
    for (int i : ticks)
        clickBox(check(w, i));
    click(button(w, "button2"));
    QCOMPARE(resultWindow()->tag(), tag);
    QCOMPARE(resultWindow()->property("Tag").toString(), tag);
}

void TestDiscQuery::numberThatIsNotAWholeNumber_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("letters") << QStringLiteral("abc");
    QTest::newRow("a point") << QStringLiteral("1.5");
    QTest::newRow("digits then a letter") << QStringLiteral("12a");
    QTest::newRow("full-width digits") << QStringLiteral("１２");
    QTest::newRow("too large to hold") << QStringLiteral("99999999999999999999");
    QTest::newRow("a sign alone") << QStringLiteral("-");
}

// Reported, the box gets the focus back with its text selected, and no query is made.
void TestDiscQuery::numberThatIsNotAWholeNumber()
{
    QFETCH(QString, typed);
    ProgramFolder f;
    addDiscs(f, 12);
    msg::Recorder boxes;
    Qdisc_Form *w = queryWindow();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    type(text(w, 0), typed);
    click(button(w, "button2"));
    QCOMPARE(boxes.texts(), QStringList{Qdisc_Form::numberMessage()});
    QCOMPARE(boxes.boxes().first().kind, msg::Recorder::Box::Information);
    QVERIFY(!resultWindow());
    QVERIFY(!ui::ReloadFlag::isSet());
    QTRY_VERIFY(text(w, 0)->hasFocus());
    QCOMPARE(text(w, 0)->selectedText(), typed.left(20));
    // Once corrected, the query runs.
    type(text(w, 0), QStringLiteral("12"));
    click(button(w, "button2"));
    QCOMPARE(shownNumbers(resultWindow()), QStringList{number(12)});
}

void TestDiscQuery::typedTextMatchesLiterally_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("percent") << QStringLiteral("100%") << QStringList{number(2)};
    QTest::newRow("underscore") << QStringLiteral("a_b") << QStringList{number(3)};
    QTest::newRow("letter case ignored") << QStringLiteral("MATRIX") << QStringList{number(1)};
    QTest::newRow("the separator itself") << QStringLiteral("x@@@y") << QStringList{number(5)};
    QTest::newRow("quote") << QStringLiteral("'s") << QStringList{number(6)};
}

void TestDiscQuery::typedTextMatchesLiterally()
{
    QFETCH(QString, title);
    QFETCH(QStringList, shown);
    ProgramFolder f;
    f.exec(QStringLiteral("INSERT INTO table1 (t13) VALUES ('The Matrix'), ('100% 纯'), ('a_b'), ('axb 1000'), "
                          "('x@@@y'), ('Schindler''s List'), ('xy')"));
    Qdisc_Form *w = queryWindow();
    type(text(w, 1), title);
    click(button(w, "button2"));
    QCOMPARE(shownNumbers(resultWindow()), shown);
    // The criteria stay apart: the title typed is the title searched.
    QCOMPARE(resultWindow()->criteria().value(1), title);
}

// Discs whose starring, director and country start like a stored lookup value, or hold a
// part of one elsewhere: a part typed must find them all, not only the stored value.
void TestDiscQuery::partTypedIntoABoxIsSearchedAsTyped_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("oneCommit"); // the whole part committed at once by an input method
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("周 in 主角, committed") << 0 << QStringLiteral("周") << true << QStringList{number(3), number(2), number(1)};
    QTest::newRow("周星 in 主角, character by character") << 0 << QStringLiteral("周星") << false
                                                    << QStringList{number(2), number(1)};
    QTest::newRow("jet in 主角, keys") << 0 << QStringLiteral("jet") << false << QStringList{number(5), number(4)};
    QTest::newRow("jet in 主角, committed") << 0 << QStringLiteral("jet") << true << QStringList{number(5), number(4)};
    QTest::newRow("jet li in 主角, keys, other case") << 0 << QStringLiteral("jet li") << false << QStringList{number(4)};
    QTest::newRow("jo in 导演, keys") << 1 << QStringLiteral("jo") << false
                                    << QStringList{number(6), number(5), number(4), number(2), number(1)};
    QTest::newRow("中国 in 国家 matches 中国 only") << 4 << QStringLiteral("中国") << true
                                            << QStringList{number(6), number(4), number(2)};
}

void TestDiscQuery::partTypedIntoABoxIsSearchedAsTyped()
{
    QFETCH(int, box);
    QFETCH(QString, typed);
    QFETCH(bool, oneCommit);
    QFETCH(QStringList, shown);
    ProgramFolder f;
    f.exec(QStringLiteral("INSERT INTO table1 (t13, t14, t11, t10) VALUES "
                          "('碟1', '周星驰', 'john Woo', '中国香港'), ('碟2', '周星驰 吴孟达', 'Jones', '中国'), "
                          "('碟3', '小周', '王晶', '中国香港'), ('碟4', 'jet Li', 'jo', '中国'), "
                          "('碟5', 'jet lee', 'Johnnie To', '美国'), ('碟6', '成龙', 'joe', '中国')"));
    db::Lookups().StarringList.assign({QStringLiteral("周星驰"), QStringLiteral("jet Li")});
    db::Lookups().DirectorList.assign({QStringLiteral("john Woo")});
    db::Lookups().CountryList.assign({QStringLiteral("中国香港"), QStringLiteral("美国")});
    Qdisc_Form *w = queryWindow();
    QLineEdit *line = combo(w, box)->lineEdit();
    if (oneCommit) {
        combo(w, box)->setFocus();
        QInputMethodEvent commit;
        commit.setCommitString(typed);
        QApplication::sendEvent(line, &commit);
    } else {
        typeInto(combo(w, box), typed);
    }
    QCOMPARE(combo(w, box)->currentText(), typed);
    click(button(w, "button2"));
    QCOMPARE(resultWindow()->criteria().value(2 + box), typed);
    QCOMPARE(shownNumbers(resultWindow()), shown);
}

void TestDiscQuery::resetEmptiesEverything()
{
    ProgramFolder f;
    addDiscs(f, 5);
    db::Lookups().MediaList.assign({QStringLiteral("DVD")});
    Qdisc_Form *w = queryWindow();
    type(text(w, 0), QStringLiteral("3"));
    type(text(w, 1), QStringLiteral("碟"));
    choose(combo(w, 2), 1);
    typeInto(combo(w, 0), QStringLiteral("手写"));
    clickBox(check(w, 2));
    click(button(w, "button1"));
    QCOMPARE(text(w, 0)->text(), QString());
    QCOMPARE(text(w, 1)->text(), QString());
    for (int i = 0; i < 5; ++i)
        QCOMPARE(combo(w, i)->currentText(), QString());
    QVERIFY(!check(w, 1)->isChecked() && !check(w, 2)->isChecked());
    // An empty query lists every disc.
    click(button(w, "button2"));
    QCOMPARE(resultWindow()->tag(), QStringLiteral("0@@@@@@@@@@@@@@@@@@@@@0@@@0"));
    QCOMPARE(label(resultWindow(), 2), QStringLiteral("共 1 页/ 5 记录"));
}

void TestDiscQuery::pagingAndANewQueryOnPageOne()
{
    ProgramFolder f;
    addDiscs(f, 100, QStringLiteral("id <= 65"), QStringLiteral("id % 4 = 0"));
    Qdisc_Form *w = queryWindow();
    type(text(w, 1), QStringLiteral("传"));
    clickBox(check(w, 1));
    click(button(w, "button2"));
    Qdisc_list_Form *result = resultWindow();
    // 65 discs hold 传; 16 of them are out.
    QCOMPARE(label(result, 2), QStringLiteral("共 2 页/ 49 记录"));
    QCOMPARE(result->grid()->cellText(1, 0), number(65));
    QVERIFY(button(result, "button1_1")->isVisible());
    click(button(result, "button1_1"));
    QCOMPARE(label(result, 3), QStringLiteral("2"));
    QCOMPARE(shownNumbers(result).size(), 19);
    QVERIFY(!shownNumbers(result).contains(number(64)));
    click(button(result, "button1_1"));
    QCOMPARE(label(result, 3), QStringLiteral("2"));
    click(button(result, "button1_0"));
    QCOMPARE(label(result, 3), QStringLiteral("1"));
    click(button(result, "button1_1"));

    // The result window was on page 2; the next query starts on its own page 1.
    clickBox(check(w, 1));
    QVERIFY(!check(w, 1)->isChecked());
    click(button(w, "button2"));
    QCOMPARE(resultWindow(), result);
    QCOMPARE(label(result, 3), QStringLiteral("1"));
    QCOMPARE(label(result, 2), QStringLiteral("共 3 页/ 65 记录"));
    QCOMPARE(result->grid()->cellText(1, 0), number(65));

    clickBox(check(w, 2));
    click(button(w, "button2"));
    QCOMPARE(label(result, 3), QStringLiteral("1"));
    QCOMPARE(label(result, 2), QStringLiteral("共 1 页/ 16 记录"));
    QCOMPARE(result->grid()->cellText(1, 0), number(64));
    QCOMPARE(result->grid()->cellText(1, 10), QStringLiteral("客户64"));
}

// A correction made from the result window is shown when the result window is active again,
// by the same query: a disc that no longer matches leaves it.
void TestDiscQuery::correctionReloadsTheSameQuery()
{
    ProgramFolder f;
    addDiscs(f, 40, QStringLiteral("id % 2 = 0"));
    msg::Recorder boxes;
    main_MDIForm main;
    main.resize(1100, 800);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.menuItem(QStringLiteral("menu2_1"))->trigger();
    auto *w = qobject_cast<Qdisc_Form *>(main.mdiArea()->activeSubWindow()->widget());
    QVERIFY(w);
    type(text(w, 1), QStringLiteral("传说"));
    click(button(w, "button2"));
    QMdiSubWindow *resultFrame = main.mdiArea()->activeSubWindow();
    auto *result = qobject_cast<Qdisc_list_Form *>(resultFrame->widget());
    QVERIFY(result);
    QCOMPARE(label(result, 2), QStringLiteral("共 1 页/ 20 记录"));
    QCOMPARE(result->grid()->cellText(2, 2), QStringLiteral("碟38传说"));

    QTest::mouseDClick(result->grid()->viewport(), Qt::LeftButton, {}, result->grid()->cellRect(2, 2).center());
    QWidget *correction = main.mdiArea()->activeSubWindow()->widget();
    QCOMPARE(correction->windowTitle(), QStringLiteral("输入纠正"));
    auto *title = correction->findChild<QLineEdit *>(QStringLiteral("Text1_11"));
    QCOMPARE(title->text(), QStringLiteral("碟38传说"));
    type(title, QStringLiteral("改名了"));
    click(button(correction, "button1_1"));
    QCOMPARE(boxes.lastText(), QStringLiteral("数据更改完毕！"));

    main.mdiArea()->setActiveSubWindow(resultFrame);
    QCOMPARE(label(result, 2), QStringLiteral("共 1 页/ 19 记录"));
    QCOMPARE(result->grid()->cellText(2, 0), number(36));
    QCOMPARE(result->tag(), QStringLiteral("0@@@传说@@@@@@@@@@@@@@@@@@0@@@0"));
    QVERIFY(!ui::ReloadFlag::isSet());
}

void TestDiscQuery::deleteReloadsTheSameQuery()
{
    ProgramFolder f;
    addDiscs(f, 40, QStringLiteral("id % 2 = 0"));
    msg::Recorder boxes;
    Qdisc_Form *w = queryWindow();
    type(text(w, 1), QStringLiteral("传说"));
    click(button(w, "button2"));
    Qdisc_list_Form *result = resultWindow();
    QVERIFY(QTest::qWaitForWindowExposed(result));
    // Rows 2 to 3 by the number column: discs 38 and 36.
    auto *g = result->grid();
    QTest::mousePress(g->viewport(), Qt::LeftButton, {}, g->cellRect(2, 0).center());
    QMouseEvent move(QEvent::MouseMove, g->cellRect(3, 0).center(), g->viewport()->mapToGlobal(g->cellRect(3, 0).center()),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(g->viewport(), &move);
    QTest::mouseRelease(g->viewport(), Qt::LeftButton, {}, g->cellRect(3, 0).center());
    QVERIFY(button(result, "button2")->isEnabled());
    click(button(result, "button2"));
    QCOMPARE(boxes.lastText(), QStringLiteral("确实要删除吗？"));
    QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM table1 WHERE t13 IS NULL AND id IN (36, 38)")).toInt(), 2);
    QCOMPARE(label(result, 2), QStringLiteral("共 1 页/ 18 记录"));
    QCOMPARE(shownNumbers(result).mid(0, 2), (QStringList{number(40), number(34)}));
    QCOMPARE(result->tag(), QStringLiteral("0@@@传说@@@@@@@@@@@@@@@@@@0@@@0"));
}

void TestDiscQuery::menuOpensOneQueryWindow()
{
    ProgramFolder f;
    main_MDIForm main;
    main.resize(1100, 800);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QAction *item = main.menuItem(QStringLiteral("menu2_1"));
    QVERIFY(item->isEnabled());
    QCOMPARE(item->text(), QStringLiteral("碟片查询"));
    item->trigger();
    item->trigger();
    QCOMPARE(main.mdiArea()->subWindowList().size(), 1);
    auto *w = qobject_cast<Qdisc_Form *>(main.mdiArea()->activeSubWindow()->widget());
    QVERIFY(w);
    // The frame takes the window's outer size.
    QCOMPARE(main.mdiArea()->activeSubWindow()->size(), QSize(6435 / 15, 5180 / 15));
    click(button(w, "button2"));
    click(button(w, "button2"));
    QCOMPARE(main.mdiArea()->subWindowList().size(), 2);
}

QTEST_MAIN(TestDiscQuery)
#include "tst_discquery.moc"
