#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>

#include "app/main_mdiform.h"
#include "ui/messages.h"
#include "ui/textlimit.h"
#include "ui/twips.h"
#include "data/shop/discrecords.h"
#include "data/shop/lookuplists.h"
#include "data/store/programdir.h"
#include "discs/input_form.h"
#include "hoverpad/usercontrol1.h"
#include "lists/list_form.h"
#include "ui/reloadflag.h"
#include "support/closewindows.h"
#include "support/programfolder.h"

using testsupport::ProgramFolder;
using ui::twips;

namespace {

const QList<int> kFields = {11, 37, 22, 16, 12, 17, 18, 36, 40, 41};

QWidget *fieldOf(QWidget *w, int index)
{
    return w->findChild<QWidget *>(QStringLiteral("Text1_%1").arg(index));
}
QLineEdit *edit(QWidget *w, int index)
{
    return w->findChild<QLineEdit *>(QStringLiteral("Text1_%1").arg(index));
}
QString textOf(QWidget *w, int index)
{
    if (auto *e = edit(w, index))
        return e->text();
    return w->findChild<QPlainTextEdit *>(QStringLiteral("Text1_%1").arg(index))->toPlainText();
}
UserControl1 *button(QWidget *w, int i)
{
    return w->findChild<UserControl1 *>(QStringLiteral("button1_%1").arg(i));
}
void click(QWidget *w, int i)
{
    UserControl1 *b = button(w, i);
    QVERIFY(b);
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
}
QString number(QWidget *w)
{
    return w->findChild<QLabel *>("Label1_0")->text();
}
QLabel *image(QWidget *w)
{
    return w->findChild<QLabel *>("Image1");
}
QString photoPath(QWidget *w)
{
    return w->findChild<QLineEdit *>("Text2")->text();
}

// Moves the focus the way a click into another control does.
void focus(QWidget *target)
{
    target->setFocus(Qt::MouseFocusReason);
    QApplication::processEvents();
    QApplication::processEvents();
}

void type(QWidget *w, int index, const QString &text)
{
    QWidget *f = fieldOf(w, index);
    focus(f);
    if (auto *e = qobject_cast<QLineEdit *>(f)) {
        e->selectAll();
        if (text.isEmpty())
            QTest::keyClick(e, Qt::Key_Backspace);
    }
    // Chinese text arrives from the input method as committed strings, the rest as keys.
    QString ascii;
    auto flush = [&] {
        if (!ascii.isEmpty())
            QTest::keyClicks(f, ascii);
        ascii.clear();
    };
    for (QChar ch : text) {
        if (ch.unicode() < 128) {
            ascii += ch;
            continue;
        }
        flush();
        QInputMethodEvent commit;
        commit.setCommitString(QString(ch));
        QApplication::sendEvent(f, &commit);
    }
    flush();
}

input_Form *openNew()
{
    auto *w = new input_Form;
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w))
        qWarning("window not active");
    return w;
}

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString writeJpeg(const QString &path, QColor colour)
{
    QImage img(120, 160, QImage::Format_RGB32);
    img.fill(colour);
    for (int y = 20; y < 60; ++y)
        for (int x = 10; x < 110; ++x)
            img.setPixel(x, y, qRgb(255, 255, 255));
    if (!img.save(path, "JPG"))
        qFatal("cannot write jpeg %s", qPrintable(path));
    return path;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A BMP header announcing a picture far too large to decode, with no pixels behind it.
QByteArray hugeBmp()
{
    QByteArray b(54, '\0');
    auto put32 = [&b](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = char((v >> (8 * i)) & 0xff);
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, 54);
    put32(10, 54);
    put32(14, 40);
    put32(18, 60000);
    put32(22, 60000);
    b[26] = 1;
    b[28] = 24;
    return b;
}

// Answers the file dialog: the queued names in turn, empty for cancel.
struct Chooser
{
    QStringList answers;
    QStringList titles, starts, filters;
    Chooser()
    {
        input_Form::setFileChooser([this](QWidget *, const QString &title, const QString &start,
                                          const QString &filter) {
            titles << title;
            starts << start;
            filters << filter;
            return answers.isEmpty() ? QString() : answers.takeFirst();
        });
    }
    ~Chooser() { input_Form::setFileChooser({}); }
};

void clickImage(QWidget *w)
{
    QTest::mouseClick(image(w), Qt::LeftButton, {}, image(w)->rect().center());
}

qint64 addDisc(const QString &title, const QString &photo = QString())
{
    db::DiscFields f;
    f.title = title;
    f.photoPath = photo;
    auto r = db::AddDisc(f);
    return r ? r.value() : -1;
}

void holdForViewer()
{
    // Lets someone look at the window under a real display.
    const int ms = qEnvironmentVariableIntValue("LANLAN_SHOW_MS");
    if (ms > 0)
        QTest::qWait(ms);
}

} // namespace

class TestInputForm : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void layoutAndDesignTexts();
    void submitAddsAndEmpties();
    void titleRequired_data();
    void titleRequired();
    void copyStoresSameDataTwice();
    void resetEmptiesWithoutDesignTexts();
    void countCheckOnLeaving_data();
    void countCheckOnLeaving();
    void pastedCountRefusedAtSave_data();
    void pastedCountRefusedAtSave();
    void dropDownPlacementAndFill_data();
    void dropDownPlacementAndFill();
    void correctionSetUpAndSubmit();
    void correctionKeepsDesignTextForNullColumn();
    void correctionResetShowsStoredDisc();
    void correctionAfterDataSwitchRefused();
    void rentedOutLock_data();
    void rentedOutLock();
    void coverRoundTrip();
    void coverChoiceRules_data();
    void coverChoiceRules();
    void oversizedPictureRefused();
    void menuOpensOneSharedWindow();
};

void TestInputForm::cleanup()
{
    testsupport::DeleteAllWindows();
    ui::ReloadFlag::clear();
}

void TestInputForm::layoutAndDesignTexts()
{
    ProgramFolder pf;
    QPointer<input_Form> w = openNew();
    QCOMPARE(w->windowTitle(), QString("碟片登记"));
    QCOMPARE(w->size(), QSize(twips(12030), twips(8370)));
    QCOMPARE(number(w), QString("000001"));
    QCOMPARE(textOf(w, 22), QString("2"));
    QCOMPARE(textOf(w, 16), QString("VCD"));
    QCOMPARE(textOf(w, 36), QString("动作"));
    const QHash<int, int> maxLength = {{11, 15}, {37, 10}, {22, 2}, {16, 4}, {12, 20}, {17, 20}, {36, 10}, {40, 25}};
    for (auto it = maxLength.begin(); it != maxLength.end(); ++it)
        QCOMPARE(ui::LengthLimit(edit(w, it.key())), it.value());
    QCOMPARE(edit(w, 11)->pos(), QPoint(twips(675), twips(300)));
    QCOMPARE(edit(w, 40)->geometry().topLeft(), QPoint(twips(8325), twips(795)));
    QCOMPARE(button(w, 1)->geometry(), QRect(twips(7725), twips(7500), twips(990), twips(375)));
    QCOMPARE(button(w, 2)->height(), twips(240));
    QCOMPARE(button(w, 2)->toolTip(), QString("点击查看列表"));
    QCOMPARE(image(w)->toolTip(), QString("点击加入相片"));
    QCOMPARE(image(w)->size(), QSize(twips(4650), twips(5100)));
    QVERIFY(!w->findChild<QLabel *>("Label3")->isVisible());
    QVERIFY(!w->findChild<QLineEdit *>("Text2")->isVisible());

    // Tab walks the fields in their order.
    focus(fieldOf(w, 11));
    for (int i = 1; i < kFields.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), fieldOf(w, kFields[i]));
    }
    // The synopsis admits 800 characters.
    auto *synopsis = w->findChild<QPlainTextEdit *>("Text1_41");
    synopsis->setPlainText(QString(900, QChar(u'字')));
    QCOMPARE(synopsis->toPlainText().size(), 800);
}

void TestInputForm::submitAddsAndEmpties()
{
    ProgramFolder pf;
    for (int i = 1; i <= 6; ++i)
        addDisc(QStringLiteral("旧%1").arg(i));
    msg::Recorder rec;
    auto *w = openNew();
    QCOMPARE(number(w), QString("000007"));
    type(w, 11, "大话西游");
    type(w, 37, "A3");
    type(w, 22, "1");
    type(w, 16, "DVD");
    type(w, 12, "周星驰");
    type(w, 17, "刘镇伟");
    type(w, 18, "香港");
    type(w, 36, "喜剧");
    type(w, 40, "50% 新 'x'");
    type(w, 41, "月光宝盒");
    click(w, 1);
    QCOMPARE(rec.texts(), QStringList{"数据添加完成！"});
    QCOMPARE(number(w), QString("000008"));
    for (int index : kFields)
        QVERIFY2(textOf(w, index).isEmpty(), qPrintable(QString::number(index)));
    QVERIFY(ui::ReloadFlag::isSet());
    const auto rows = pf.rows("SELECT t13, t38, t7, t18, t14, t11, t10, t20, t41, t34 FROM table1 WHERE id = 7");
    QCOMPARE(rows.size(), 1);
    const QStringList expected = {"大话西游", "A3", "1", "DVD", "周星驰", "刘镇伟", "香港", "喜剧", "50% 新 'x'", "月光宝盒"};
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(rows[0][i].toString(), expected[i]);
}

void TestInputForm::titleRequired_data()
{
    QTest::addColumn<int>("buttonIndex");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    QTest::newRow("submit blanks") << 1 << "   " << "碟片名称不能为空！";
    QTest::newRow("submit empty") << 1 << "" << "碟片名称不能为空！";
    QTest::newRow("copy empty") << 3 << "" << "碟片名称必须填写！";
    QTest::newRow("copy blanks") << 3 << "  " << "碟片名称必须填写！";
}

void TestInputForm::titleRequired()
{
    QFETCH(int, buttonIndex);
    QFETCH(QString, title);
    QFETCH(QString, message);
    ProgramFolder pf;
    msg::Recorder rec;
    auto *w = openNew();
    type(w, 40, "备注留着");
    type(w, 11, title);
    focus(fieldOf(w, 40));
    click(w, buttonIndex);
    QCOMPARE(rec.texts(), QStringList{message});
    QCOMPARE(QApplication::focusWidget(), fieldOf(w, 11));
    QCOMPARE(textOf(w, 40), QString("备注留着"));
    QCOMPARE(pf.scalar("SELECT count(*) FROM table1").toInt(), 0);
}

void TestInputForm::copyStoresSameDataTwice()
{
    ProgramFolder pf;
    msg::Recorder rec;
    Chooser chooser;
    const QString jpeg = writeJpeg(pf.path() + "/c.jpg", Qt::blue);
    chooser.answers << jpeg;
    auto *w = openNew();
    type(w, 11, "甲方乙方");
    type(w, 18, "中国");
    clickImage(w);
    click(w, 3);
    QCOMPARE(number(w), QString("000002"));
    click(w, 3);
    QCOMPARE(number(w), QString("000003"));
    QCOMPARE(rec.texts(), (QStringList{"数据添加完成！", "数据添加完成！"}));
    QCOMPARE(textOf(w, 11), QString("甲方乙方"));
    QCOMPARE(photoPath(w), jpeg);
    const auto rows = pf.rows("SELECT id, t13, t10, t7, t18, t20, img1 FROM table1 WHERE t13 IS NOT NULL ORDER BY id");
    QCOMPARE(rows.size(), 2);
    for (int r = 0; r < 2; ++r) {
        QCOMPARE(rows[r][0].toInt(), r + 1);
        QCOMPARE(rows[r][1].toString(), QString("甲方乙方"));
        QCOMPARE(rows[r][2].toString(), QString("中国"));
        QCOMPARE(rows[r][3].toInt(), 2);
        QCOMPARE(rows[r][4].toString(), QString("VCD"));
        QCOMPARE(rows[r][5].toString(), QString("动作"));
        QCOMPARE(rows[r][6].toByteArray(), fileBytes(jpeg));
    }
}

void TestInputForm::resetEmptiesWithoutDesignTexts()
{
    ProgramFolder pf;
    Chooser chooser;
    chooser.answers << writeJpeg(pf.path() + "/r.jpg", Qt::red);
    auto *w = openNew();
    type(w, 11, "要清掉");
    type(w, 41, "简介");
    clickImage(w);
    QVERIFY(!image(w)->pixmap().isNull());
    click(w, 0);
    for (int index : kFields)
        QVERIFY(textOf(w, index).isEmpty());
    QVERIFY(photoPath(w).isEmpty());
    QVERIFY(image(w)->pixmap().isNull());
    QCOMPARE(number(w), QString("000001"));
}

void TestInputForm::countCheckOnLeaving_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<bool>("refused");
    QTest::newRow("letter") << "2a" << "2a" << true;
    QTest::newRow("empty") << "" << "" << false;
    QTest::newRow("blanks") << "  " << "  " << false;
    QTest::newRow("two digits") << "12" << "12" << false;
    QTest::newRow("third digit cut") << "123" << "12" << false;
    QTest::newRow("full-width digit") << "１" << "１" << true;
}

void TestInputForm::countCheckOnLeaving()
{
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    QFETCH(bool, refused);
    ProgramFolder pf;
    msg::Recorder rec;
    auto *w = openNew();
    type(w, 22, typed);
    QCOMPARE(textOf(w, 22), kept);
    focus(fieldOf(w, 12));
    if (refused) {
        QCOMPARE(rec.texts(), QStringList{"年龄请填入数字！\r\n不填请保持空格。"});
        QCOMPARE(QApplication::focusWidget(), fieldOf(w, 22));
        QCOMPARE(edit(w, 22)->selectedText(), kept);
    } else {
        QVERIFY(rec.texts().isEmpty());
        QCOMPARE(QApplication::focusWidget(), fieldOf(w, 12));
    }
    // Leaving another field never checks anything.
    edit(w, 22)->clear();
    type(w, 12, "abc");
    focus(fieldOf(w, 17));
    QCOMPARE(rec.texts().size(), refused ? 1 : 0);
}

void TestInputForm::pastedCountRefusedAtSave_data()
{
    QTest::addColumn<int>("buttonIndex");
    QTest::newRow("submit") << 1;
    QTest::newRow("copy") << 3;
}

void TestInputForm::pastedCountRefusedAtSave()
{
    QFETCH(int, buttonIndex);
    ProgramFolder pf;
    msg::Recorder rec;
    auto *w = openNew();
    type(w, 11, "粘贴");
    focus(fieldOf(w, 22));
    // Pasted in and never left: the save is the first to see it.
    edit(w, 22)->selectAll();
    edit(w, 22)->insert("x9");
    click(w, buttonIndex);
    QCOMPARE(rec.texts().count("年龄请填入数字！\r\n不填请保持空格。"), 1);
    QVERIFY(!rec.texts().contains("数据添加完成！"));
    QCOMPARE(pf.scalar("SELECT count(*) FROM table1").toInt(), 0);
    QCOMPARE(textOf(w, 11), QString("粘贴"));
}

void TestInputForm::dropDownPlacementAndFill_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QString>("column");
    QTest::newRow("starring") << 12 << 2000 << 50 << "s13";
    QTest::newRow("media") << 16 << 1300 << 50 << "s11";
    QTest::newRow("director") << 17 << 2000 << 50 << "s8";
    QTest::newRow("country") << 18 << 1000 << 50 << "s6";
    QTest::newRow("category") << 36 << 1200 << 50 << "s2";
    QTest::newRow("shelf") << 37 << 1200 << 0 << "s9";
}

void TestInputForm::dropDownPlacementAndFill()
{
    QFETCH(int, index);
    QFETCH(int, width);
    QFETCH(int, offset);
    QFETCH(QString, column);
    ProgramFolder pf;
    const QStringList values = {"甲" + column, "乙" + column};
    for (const QString &v : values)
        pf.exec(QStringLiteral("INSERT INTO table3 (%1) VALUES (?)").arg(column), {v});
    pf.exec("INSERT INTO table3 (s3) VALUES ('金卡')"); // another list's value
    QVERIFY(db::LoadLookupLists().ok());
    auto *w = openNew();
    auto *combo = w->findChild<QComboBox *>("Combo1");
    QVERIFY(!combo->isVisible());
    QWidget *f = fieldOf(w, index);
    focus(f);
    QVERIFY(combo->isVisible());
    QCOMPARE(combo->parentWidget(), f->parentWidget());
    QCOMPARE(combo->x(), f->x() + twips(offset));
    QCOMPARE(combo->y(), f->y() + f->height() + twips(100));
    QCOMPARE(combo->width(), twips(width));
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    QCOMPARE(items, QStringList({QString()}) + values);

    focus(combo); // the user clicks into the drop-down
    QVERIFY(combo->isVisible());
    combo->activated(2);
    QCOMPARE(textOf(w, index), values[1]);
    QVERIFY(!combo->isVisible());
    // The hidden drop-down hands the focus back to the field it filled, not to the next
    // control of the window (the reset button), and does not open again there.
    QApplication::processEvents();
    QCOMPARE(QApplication::focusWidget(), f);
    QVERIFY(!combo->isVisible());

    focus(fieldOf(w, 40));
    focus(f);
    QVERIFY(combo->isVisible());
    focus(fieldOf(w, 11));
    QVERIFY(!combo->isVisible());
    focus(f);
    focus(fieldOf(w, 40));
    QVERIFY(!combo->isVisible());
}

void TestInputForm::correctionSetUpAndSubmit()
{
    ProgramFolder pf;
    addDisc("一");
    db::DiscFields f;
    f.title = "英雄";
    f.remark = "原备注";
    f.country = "中国";
    f.count = "3";
    QCOMPARE(db::AddDisc(f).value(), qint64(2));
    addDisc("三");
    msg::Recorder rec;
    QPointer<input_Form> w = input_Form::openForCorrection(2);
    QVERIFY(w);
    QVERIFY(w->isVisible());
    QCOMPARE(w->windowTitle(), QString("输入纠正"));
    QCOMPARE(number(w), QString("000002"));
    QCOMPARE(button(w, 1)->Caption(), QString("√纠正提交"));
    QVERIFY(!button(w, 2)->isVisible());
    QVERIFY(!button(w, 3)->isVisible());
    QVERIFY(button(w, 0)->isVisible());
    QVERIFY(!w->findChild<QLabel *>("Label2")->isVisible());
    QCOMPARE(button(w, 1)->x(), button(w, 3)->x());
    QCOMPARE(textOf(w, 11), QString("英雄"));
    QCOMPARE(textOf(w, 22), QString("3"));
    QCOMPARE(textOf(w, 40), QString("原备注"));

    type(w, 11, "英雄本色");
    type(w, 40, "");
    edit(w, 40)->clear();
    click(w, 1);
    QCOMPARE(rec.texts(), QStringList{"数据更改完毕！"});
    QVERIFY(ui::ReloadFlag::isSet());
    QTRY_VERIFY(w.isNull() || !w->isVisible());
    const auto row = pf.rows("SELECT t13, t41, t10, t7 FROM table1 WHERE id = 2").first();
    QCOMPARE(row[0].toString(), QString("英雄本色"));
    QCOMPARE(row[1].toString(), QString("原备注"));
    QCOMPARE(row[2].toString(), QString("中国"));
    QCOMPARE(row[3].toInt(), 3);
    QCOMPARE(pf.scalar("SELECT count(*) FROM table1").toInt(), 3);

    // A freed slot cannot be opened.
    QVERIFY(db::DeleteDiscs({3}).ok());
    rec.clear();
    QVERIFY(!input_Form::openForCorrection(3));
    QCOMPARE(rec.texts().size(), 1);
}

void TestInputForm::correctionKeepsDesignTextForNullColumn()
{
    ProgramFolder pf;
    pf.exec("INSERT INTO table1 (t13, t20) VALUES ('无媒介', '')");
    msg::Recorder rec;
    input_Form *w = input_Form::openForCorrection(1);
    QVERIFY(w);
    QCOMPARE(textOf(w, 16), QString("VCD"));
    QCOMPARE(textOf(w, 36), QString("动作"));
    click(w, 1);
    QCOMPARE(pf.scalar("SELECT t18 FROM table1 WHERE id = 1").toString(), QString("VCD"));
    QCOMPARE(pf.scalar("SELECT t20 FROM table1 WHERE id = 1").toString(), QString("动作"));
}

void TestInputForm::correctionResetShowsStoredDisc()
{
    ProgramFolder pf;
    db::DiscFields f;
    f.title = "原名";
    f.starring = "原主角";
    db::AddDisc(f);
    input_Form *w = input_Form::openForCorrection(1);
    type(w, 11, "乱改");
    type(w, 12, "乱改主角");
    type(w, 41, "乱写");
    click(w, 0);
    QCOMPARE(textOf(w, 11), QString("原名"));
    QCOMPARE(textOf(w, 12), QString("原主角"));
    QVERIFY(textOf(w, 41).isEmpty());
    QVERIFY(textOf(w, 16).isEmpty()); // emptied by reset, NULL in the row
    QCOMPARE(w->windowTitle(), QString("输入纠正"));
    QCOMPARE(pf.scalar("SELECT t13 FROM table1").toString(), QString("原名"));
}

// A correction window opened before the data switch shows a disc of the other file; its
// number names another disc in the file now in use.
void TestInputForm::correctionAfterDataSwitchRefused()
{
    ProgramFolder pf;
    addDisc("真实的碟");
    pf.exec("INSERT INTO table1 (t13) VALUES ('演示的碟')", {}, true);
    msg::Recorder rec;
    input_Form *w = input_Form::openForCorrection(1);
    QVERIFY(w);
    type(w, 11, "改了名");
    db::DemoData::setEnabled(true);
    click(w, 1);
    QCOMPARE(rec.texts().size(), 1);
    QVERIFY(rec.lastText().startsWith("数据文件已切换"));
    QCOMPARE(textOf(w, 11), QString("改了名"));
    QCOMPARE(pf.scalar("SELECT t13 FROM table1 WHERE id = 1", {}, true).toString(), QString("演示的碟"));
    QCOMPARE(pf.scalar("SELECT t13 FROM table1 WHERE id = 1").toString(), QString("真实的碟"));
    // Switched back, the window saves into the file it came from.
    db::DemoData::setEnabled(false);
    rec.clear();
    click(w, 1);
    QCOMPARE(rec.texts(), QStringList{"数据更改完毕！"});
    QCOMPARE(pf.scalar("SELECT t13 FROM table1 WHERE id = 1").toString(), QString("改了名"));
}

void TestInputForm::rentedOutLock_data()
{
    QTest::addColumn<QVariant>("newest");
    QTest::addColumn<bool>("locked");
    QTest::newRow("open record") << QVariant() << true;
    QTest::newRow("returned") << QVariant("√") << false;
    QTest::newRow("deleted") << QVariant("已删除") << false;
}

void TestInputForm::rentedOutLock()
{
    QFETCH(QVariant, newest);
    QFETCH(bool, locked);
    ProgramFolder pf;
    addDisc("出租中");
    pf.exec("INSERT INTO table4 (discid, discname, khid, s1, s2) VALUES (1, '出租中', 1, '2026-03-01', NULL)");
    pf.exec("INSERT INTO table4 (discid, discname, khid, s1, s2) VALUES (1, '出租中', 1, '2026-03-02', ?)", {newest});
    input_Form *w = input_Form::openForCorrection(1);
    QVERIFY(w);
    for (int i = 0; i < 4; ++i) {
        const bool hiddenByMode = i == 2 || i == 3;
        QCOMPARE(button(w, i)->isVisible(), !locked && !hiddenByMode);
    }
    for (int index : kFields)
        QCOMPARE(fieldOf(w, index)->isEnabled(), !locked);
    QCOMPARE(w->findChild<QLabel *>("Label3")->isVisible(), locked);
    if (locked)
        QCOMPARE(w->findChild<QLabel *>("Label3")->text(), QString("此碟已出租，暂时不能更改信息。请在归还后再更改信息。"));
}

void TestInputForm::coverRoundTrip()
{
    ProgramFolder pf;
    msg::Recorder rec;
    Chooser chooser;
    const QString jpeg = writeJpeg(pf.path() + "/cover.jpg", QColor(200, 40, 40));
    chooser.answers << jpeg;
    auto *main = new main_MDIForm;
    main->resize(1200, 760);
    main->show();
    main->menuItem("menu1_1")->trigger();
    input_Form *w = ui::SharedIfOpen<input_Form>();
    QVERIFY(w);
    w->activateWindow();
    type(w, 11, "有封面");
    clickImage(w);
    QCOMPARE(chooser.titles, QStringList{"选择相片"});
    QVERIFY(chooser.filters.first().contains("*.jpg"));
    QVERIFY(chooser.filters.first().contains("*.bmp"));
    QVERIFY(!image(w)->pixmap().isNull());
    QCOMPARE(photoPath(w), jpeg);
    click(w, 1);
    QVERIFY(image(w)->pixmap().isNull());
    QVERIFY(image(w)->property("tag").toString().isEmpty());
    QVERIFY(photoPath(w).isEmpty());
    QCOMPARE(pf.scalar("SELECT img1 FROM table1 WHERE id = 1").toByteArray(), fileBytes(jpeg));

    input_Form *c = input_Form::openForCorrection(1);
    QVERIFY(c);
    QCOMPARE(main->mdiArea()->activeSubWindow()->widget(), c);
    holdForViewer();
    QVERIFY(!image(c)->pixmap().isNull());
    const QImage shown = image(c)->pixmap().toImage();
    const QRgb centre = shown.pixel(shown.width() / 2, shown.height() * 3 / 4);
    QVERIFY(qRed(centre) > 150 && qGreen(centre) < 100);
    const QString scratch = image(c)->property("tag").toString();
    QVERIFY(scratch.startsWith(QDir(pf.path()).filePath("tmp")));
    QCOMPARE(fileBytes(scratch), fileBytes(jpeg));
    QVERIFY(photoPath(c).isEmpty());
    delete main;
}

void TestInputForm::coverChoiceRules_data()
{
    QTest::addColumn<bool>("correction");
    QTest::addColumn<QStringList>("answers");   // file names in the program folder; "" cancels
    QTest::addColumn<QString>("expectedPath");  // "" / "none" / a file name / "<tag>"
    QTest::addColumn<bool>("pictureShown");
    QTest::addColumn<QString>("storedAfterSubmit"); // "old", "null", or a file name
    QTest::addColumn<bool>("refused"); // the choice was refused with a message
    QTest::newRow("first cancel, new") << false << QStringList{""} << "" << false << "null" << false;
    QTest::newRow("cancel after choice, new") << false << QStringList{"b.jpg", ""} << "b.jpg" << true << "b.jpg" << false;
    QTest::newRow("two cancels after choice, new")
        << false << QStringList{"b.jpg", "", ""} << "b.jpg" << true << "b.jpg" << false;
    QTest::newRow("cancel in correction") << true << QStringList{""} << "<tag>" << true << "old" << false;
    QTest::newRow("cancel after choice, correction") << true << QStringList{"b.jpg", ""} << "b.jpg" << true << "b.jpg" << false;
    QTest::newRow("unloadable none.jpg") << true << QStringList{"none.jpg"} << "none" << false << "null" << false;
    QTest::newRow("unloadable other") << true << QStringList{"junk.jpg"} << "" << false << "old" << true;
    QTest::newRow("unloadable NONE.JPG") << true << QStringList{"NONE.JPG"} << "" << false << "old" << true;
    QTest::newRow("bmp chosen") << true << QStringList{"c.bmp"} << "c.bmp" << true << "c.bmp" << false;
}

void TestInputForm::coverChoiceRules()
{
    QFETCH(bool, correction);
    QFETCH(QStringList, answers);
    QFETCH(QString, expectedPath);
    QFETCH(bool, pictureShown);
    QFETCH(QString, storedAfterSubmit);
    QFETCH(bool, refused);
    ProgramFolder pf;
    msg::Recorder rec;
    const QString dir = pf.path() + "/pics/";
    QDir().mkpath(dir);
    const QString old = writeJpeg(dir + "old.jpg", Qt::green);
    writeJpeg(dir + "b.jpg", Qt::yellow);
    QImage(40, 50, QImage::Format_RGB32).save(dir + "c.bmp", "BMP");
    writeFile(dir + "none.jpg", "not a picture");
    writeFile(dir + "NONE.JPG", "not a picture");
    writeFile(dir + "junk.jpg", "not a picture");
    const qint64 id = correction ? addDisc("碟", old) : 1;

    Chooser chooser;
    for (const QString &a : answers)
        chooser.answers << (a.isEmpty() ? QString() : dir + a);
    input_Form *w = correction ? input_Form::openForCorrection(id) : openNew();
    QVERIFY(w);
    if (!correction)
        type(w, 11, "碟");
    for (int i = 0; i < answers.size(); ++i)
        clickImage(w);
    // The dialog starts from the file chosen before in this window.
    if (answers.size() > 1 && !answers[0].isEmpty())
        QCOMPARE(chooser.starts[1], dir + answers[0]);

    QString expected = expectedPath;
    if (expectedPath == "<tag>")
        expected = image(w)->property("tag").toString();
    else if (!expectedPath.isEmpty() && expectedPath != "none")
        expected = dir + expectedPath;
    QCOMPARE(photoPath(w), expected);
    QCOMPARE(!image(w)->pixmap().isNull(), pictureShown);

    click(w, 1);
    const QVariant stored = pf.scalar("SELECT img1 FROM table1 WHERE id = ?", {id});
    if (storedAfterSubmit == "null")
        QVERIFY(stored.isNull());
    else if (storedAfterSubmit == "old")
        QCOMPARE(stored.toByteArray(), fileBytes(old));
    else
        QCOMPARE(stored.toByteArray(), fileBytes(dir + storedAfterSubmit));
    QCOMPARE(rec.texts().size(), refused ? 2 : 1);
    if (refused)
        QVERIFY(rec.texts().first().startsWith(QStringLiteral("不能用这个文件作封面：这不是 JPEG 或 BMP 图片。")));
}

void TestInputForm::oversizedPictureRefused()
{
    ProgramFolder pf;
    msg::Recorder rec;
    Chooser chooser;
    chooser.answers << writeFile(pf.path() + "/huge.bmp", hugeBmp());
    chooser.answers << writeFile(pf.path() + "/cut.jpg", fileBytes(writeJpeg(pf.path() + "/whole.jpg", Qt::red)).left(40));
    auto *w = openNew();
    clickImage(w);
    QVERIFY(image(w)->pixmap().isNull());
    QVERIFY(photoPath(w).isEmpty());
    clickImage(w);
    QVERIFY(image(w)->pixmap().isNull());
    QVERIFY(photoPath(w).isEmpty());
    QCOMPARE(rec.texts().size(), 2);
    // The toolkit's BMP reader refuses such a header outright.
    for (const QString &t : rec.texts())
        QVERIFY2(t.startsWith(QStringLiteral("不能用这个文件作封面：图片已损坏")), qPrintable(t));
}

void TestInputForm::menuOpensOneSharedWindow()
{
    ProgramFolder pf;
    addDisc("一");
    auto *main = new main_MDIForm;
    main->show();
    QAction *item = main->menuItem("menu1_1");
    QVERIFY(item->isEnabled());
    item->trigger();
    item->trigger();
    const auto forms = main->mdiArea()->findChildren<input_Form *>();
    QCOMPARE(forms.size(), 1);
    QCOMPARE(forms.first()->windowTitle(), QString("碟片登记"));
    QCOMPARE(number(forms.first()), QString("000002"));
    // The list button opens a new all-discs list each time.
    click(forms.first(), 2);
    click(forms.first(), 2);
    const auto lists = main->mdiArea()->findChildren<list_Form *>();
    QCOMPARE(lists.size(), 2);
    QCOMPARE(lists.first()->windowTitle(), QString("全部碟片列表"));
    for (QMdiSubWindow *sub : main->mdiArea()->subWindowList()) {
        if (qobject_cast<list_Form *>(sub->widget()))
            sub->close();
    }
    QTRY_COMPARE(main->mdiArea()->subWindowList().size(), 1);
    // Correction windows are new every time and live beside it.
    input_Form::openForCorrection(1);
    input_Form::openForCorrection(1);
    QCOMPARE(main->mdiArea()->subWindowList().size(), 3);
    QCOMPARE(main->mdiArea()->subWindowList().last()->size(), QSize(twips(12030), twips(8370)));
    delete main;
}

QTEST_MAIN(TestInputForm)
#include "tst_inputform.moc"
