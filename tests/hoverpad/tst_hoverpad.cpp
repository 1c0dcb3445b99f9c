// Behaviour of the hover button: properties, access keys, drawing states
// driven by the pointer and the keyboard, clicks, and loading from a .ui form.
#include <QDialog>
#include <QLabel>
#include <QMetaProperty>
#include <QSignalSpy>
#include <QTextDocument>
#include <QtTest>

#include "hoverpad/usercontrol1.h"
#include "ui_hoverform.h"

namespace {

enum Edge { Flat, Raised, Sunken };

// Reads the drawn edge back from the pixels of the top and bottom border rows.
Edge edgeOf(UserControl1 *b)
{
    const QImage img = b->grab().toImage();
    const QColor face = b->BackColor();
    const QColor top = img.pixelColor(b->width() / 2, 0);
    const QColor bottom = img.pixelColor(b->width() / 2, b->height() - 1);
    if (top == face && bottom == face)
        return Flat;
    return top.lightness() > bottom.lightness() ? Raised : Sunken;
}

QColor captionColor(UserControl1 *b)
{
    return b->findChild<QLabel *>(QStringLiteral("lblCaption"))->palette().color(QPalette::WindowText);
}

QString shownCaption(UserControl1 *b)
{
    QTextDocument doc;
    doc.setHtml(b->findChild<QLabel *>(QStringLiteral("lblCaption"))->text());
    return doc.toPlainText().replace(QChar::Nbsp, QLatin1Char(' '));
}

class Paints : public QObject
{
public:
    int count = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

} // namespace

class TestHoverpad : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void defaults_data();
    void defaults();
    void writeNotifies_data();
    void writeNotifies();
    void designTimeOnly_data();
    void designTimeOnly();
    void accessKey_data();
    void accessKey();
    void disabled_data();
    void disabled();
    void hover_data();
    void hover();
    void noRepaintWithoutStateChange();
    void leaveAfterOpeningUnderPointer();
    void pressLeaveRelease_data();
    void pressLeaveRelease();
    void boxOpenedWhileHeld();
    void alwaysHighlighted();
    void clickReasons_data();
    void clickReasons();
    void focusRect_data();
    void focusRect();
    void uiForm();

private:
    void showWindow();
    QPoint at(const QString &where) const;
    void pointTo(const QString &where);

    QWidget *window = nullptr;
    UserControl1 *a = nullptr;
    UserControl1 *b = nullptr;
};

void TestHoverpad::init()
{
    UserControl1::setDesignMode(false);
    window = new QWidget;
    window->resize(300, 120);
    // Two buttons edge to edge, as on the windows' button rows.
    a = new UserControl1(window);
    a->setObjectName(QStringLiteral("a"));
    a->setGeometry(20, 20, 81, 25);
    b = new UserControl1(window);
    b->setObjectName(QStringLiteral("b"));
    b->setGeometry(101, 20, 81, 25);
}

void TestHoverpad::cleanup()
{
    // The next window opens at the same place; leave the pointer off its buttons.
    pointTo(QStringLiteral("out"));
    delete window;
    window = nullptr;
    UserControl1::setDesignMode(false);
}

void TestHoverpad::showWindow()
{
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    pointTo(QStringLiteral("out"));
}

// Window coordinates of a named spot.
QPoint TestHoverpad::at(const QString &where) const
{
    if (where == QLatin1String("A"))
        return a->geometry().topLeft() + QPoint(a->width() / 2, 2);
    if (where == QLatin1String("A-caption"))
        return a->geometry().center();
    if (where == QLatin1String("B"))
        return b->geometry().topLeft() + QPoint(b->width() / 2, 2);
    return QPoint(window->width() - 5, window->height() - 5);
}

void TestHoverpad::pointTo(const QString &where)
{
    QCursor::setPos(window->mapToGlobal(at(where)));
    QCoreApplication::processEvents();
}

void TestHoverpad::defaults_data()
{
    QTest::addColumn<QString>("property");
    QTest::newRow("AlwaysHighlighted") << "AlwaysHighlighted";
    QTest::newRow("BackColor") << "BackColor";
    QTest::newRow("Caption") << "Caption";
    QTest::newRow("Enabled") << "Enabled";
    QTest::newRow("FocusRect") << "FocusRect";
    QTest::newRow("Font") << "Font";
    QTest::newRow("HoverColor") << "HoverColor";
}

void TestHoverpad::defaults()
{
    QFETCH(QString, property);
    QFont containerFont = window->font();
    containerFont.setPointSize(containerFont.pointSize() + 5);
    window->setFont(containerFont);
    UserControl1 fresh(window);

    const QPalette pal = fresh.palette();
    const QHash<QString, QVariant> expected = {
        {"AlwaysHighlighted", false},
        {"BackColor", pal.color(QPalette::Button)},
        {"Caption", QStringLiteral("Pressel")},
        {"Enabled", true},
        {"FocusRect", true},
        {"Font", containerFont},
        {"HoverColor", pal.color(QPalette::Highlight)},
    };
    QCOMPARE(fresh.property(property.toLatin1()), expected.value(property));
    QCOMPARE(fresh.size(), QSize(81, 25));
}

void TestHoverpad::writeNotifies_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("value");
    QFont big;
    big.setPointSize(21);
    QTest::newRow("AlwaysHighlighted") << "AlwaysHighlighted" << QVariant(true);
    QTest::newRow("BackColor") << "BackColor" << QVariant(QColor(10, 20, 30));
    QTest::newRow("Caption") << "Caption" << QVariant(QStringLiteral("退出"));
    QTest::newRow("Enabled") << "Enabled" << QVariant(false);
    QTest::newRow("FocusRect") << "FocusRect" << QVariant(false);
    QTest::newRow("Font") << "Font" << QVariant(big);
    QTest::newRow("HoverColor") << "HoverColor" << QVariant(QColor(200, 0, 0));
}

void TestHoverpad::writeNotifies()
{
    QFETCH(QString, property);
    QFETCH(QVariant, value);
    const QMetaObject *mo = a->metaObject();
    const QMetaProperty mp = mo->property(mo->indexOfProperty(property.toLatin1()));
    QVERIFY(mp.isValid());
    QVERIFY(mp.hasNotifySignal());
    QSignalSpy spy(a, mp.notifySignal());

    QVERIFY(a->setProperty(property.toLatin1(), value));
    QCOMPARE(a->property(property.toLatin1()), value);
    QCOMPARE(spy.count(), 1);

    // Every write tells the host, even one that repeats the value.
    QVERIFY(a->setProperty(property.toLatin1(), value));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(a->property(property.toLatin1()), value);
}

void TestHoverpad::designTimeOnly_data()
{
    QTest::addColumn<QString>("property");
    QTest::newRow("AlwaysHighlighted") << "AlwaysHighlighted";
    QTest::newRow("FocusRect") << "FocusRect";
}

void TestHoverpad::designTimeOnly()
{
    QFETCH(QString, property);
    auto write = [&](bool v) {
        return property == QLatin1String("FocusRect") ? a->setFocusRect(v) : a->setAlwaysHighlighted(v);
    };
    auto read = [&] { return a->property(property.toLatin1()).toBool(); };
    const bool initial = read();

    // While the window is being set up the value can be given.
    QVERIFY(write(!initial));
    QCOMPARE(read(), !initial);
    QCOMPARE(a->lastError(), 0);
    QVERIFY(write(initial));

    showWindow();
    const QMetaProperty mp = a->metaObject()->property(a->metaObject()->indexOfProperty(property.toLatin1()));
    QSignalSpy spy(a, mp.notifySignal());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("error 383.*%1").arg(property)));
    QVERIFY(!write(!initial));
    QCOMPARE(a->lastError(), UserControl1::ErrPropertyReadOnly);
    QCOMPARE(read(), initial);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("error 383")));
    a->setProperty(property.toLatin1(), !initial);
    QCOMPARE(read(), initial);
    QCOMPARE(spy.count(), 0);

    // In the designer the same write goes through.
    UserControl1::setDesignMode(true);
    QVERIFY(write(!initial));
    QCOMPARE(read(), !initial);
    QCOMPARE(a->lastError(), 0);
    QCOMPARE(spy.count(), 1);
}

void TestHoverpad::accessKey_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("shown");
    QTest::newRow("no ampersand") << QStringLiteral("退出") << QString() << QStringLiteral("退出");
    QTest::newRow("leading") << "&Save" << "S" << "Save";
    QTest::newRow("doubled only") << "A&&B" << QString() << "A&B";
    QTest::newRow("doubled then single") << "A&&B&C" << "C" << "A&BC";
    QTest::newRow("last single wins") << "&A&B" << "B" << "AB";
    QTest::newRow("trailing ampersand") << "AB&" << QString() << "AB";
    QTest::newRow("spaces kept") << QStringLiteral("出    租") << QString() << QStringLiteral("出    租");
}

void TestHoverpad::accessKey()
{
    QFETCH(QString, caption);
    QFETCH(QString, key);
    QFETCH(QString, shown);
    a->setCaption(caption);
    QCOMPARE(a->AccessKeys(), key);
    QCOMPARE(shownCaption(a), shown);

    showWindow();
    b->setFocus();
    QSignalSpy clicks(a, &UserControl1::Click);
    if (!key.isEmpty()) {
        QTest::keyClick(window, key.at(0).toLatin1(), Qt::AltModifier);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(clicks.at(0).at(0).toInt(), int(UserControl1::pslReasonAccessKey));
    } else {
        for (const QChar c : caption)
            if (c.isLetter() && c.unicode() < 128)
                QTest::keyClick(window, c.toLatin1(), Qt::AltModifier);
        QCOMPARE(clicks.count(), 0);
    }
}

void TestHoverpad::disabled_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("QWidget::setEnabled") << "setEnabled";
    QTest::newRow("Enabled property") << "property";
    QTest::newRow("container disabled") << "container";
}

void TestHoverpad::disabled()
{
    QFETCH(QString, how);
    a->setCaption(QStringLiteral("&Go"));
    showWindow();
    const QColor normalText = captionColor(a);
    QSignalSpy clicks(a, &UserControl1::Click);

    if (how == QLatin1String("setEnabled"))
        a->setEnabled(false);
    else if (how == QLatin1String("property"))
        a->setEnabledProperty(false);
    else
        window->setEnabled(false);
    QCOMPARE(a->Enabled(), how == QLatin1String("container"));
    QVERIFY(!a->isEnabled());

    QCOMPARE(captionColor(a), a->palette().color(QPalette::Disabled, QPalette::ButtonText));
    QVERIFY(captionColor(a) != normalText);

    pointTo(QStringLiteral("A"));
    QCOMPARE(edgeOf(a), Flat);
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at(QStringLiteral("A")));
    a->setFocus();
    QTest::keyClick(a, Qt::Key_Space);
    QTest::keyClick(window, Qt::Key_G, Qt::AltModifier);
    QCOMPARE(clicks.count(), 0);

    // Enabled again it works as before.
    if (how == QLatin1String("container"))
        window->setEnabled(true);
    else
        a->setEnabled(true);
    QCOMPARE(captionColor(a), normalText);
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at(QStringLiteral("A")));
    QCOMPARE(clicks.count(), 1);
}

void TestHoverpad::hover_data()
{
    QTest::addColumn<QStringList>("path");
    QTest::addColumn<int>("edgeA");
    QTest::addColumn<int>("edgeB");
    QTest::addColumn<bool>("hotA");
    QTest::addColumn<bool>("hotB");
    QTest::newRow("nowhere") << QStringList{"out"} << int(Flat) << int(Flat) << false << false;
    QTest::newRow("over A") << QStringList{"A"} << int(Raised) << int(Flat) << true << false;
    QTest::newRow("over A's caption") << QStringList{"A-caption"} << int(Raised) << int(Flat) << true << false;
    QTest::newRow("A then away") << QStringList{"A", "out"} << int(Flat) << int(Flat) << false << false;
    QTest::newRow("A straight to B") << QStringList{"A", "B"} << int(Flat) << int(Raised) << false << true;
    QTest::newRow("B back to A") << QStringList{"B", "A"} << int(Raised) << int(Flat) << true << false;
    QTest::newRow("caption to face stays") << QStringList{"A-caption", "A"} << int(Raised) << int(Flat) << true << false;
}

void TestHoverpad::hover()
{
    QFETCH(QStringList, path);
    QFETCH(int, edgeA);
    QFETCH(int, edgeB);
    QFETCH(bool, hotA);
    QFETCH(bool, hotB);
    const QColor hover(0, 128, 0);
    a->setHoverColor(hover);
    b->setHoverColor(hover);
    showWindow();
    const QColor text = a->palette().color(QPalette::ButtonText);

    for (const QString &where : path)
        pointTo(where);
    QCOMPARE(int(edgeOf(a)), edgeA);
    QCOMPARE(int(edgeOf(b)), edgeB);
    QCOMPARE(captionColor(a), hotA ? hover : text);
    QCOMPARE(captionColor(b), hotB ? hover : text);
}

void TestHoverpad::noRepaintWithoutStateChange()
{
    showWindow();
    pointTo(QStringLiteral("A"));
    QTRY_COMPARE(edgeOf(a), Raised);
    QCoreApplication::processEvents();

    Paints paints;
    a->installEventFilter(&paints);
    b->installEventFilter(&paints);
    for (int x = 5; x < 75; x += 7) {
        QCursor::setPos(window->mapToGlobal(a->geometry().topLeft() + QPoint(x, 3)));
        QCoreApplication::processEvents();
    }
    QTest::qWait(600); // a few hover checks
    QCOMPARE(paints.count, 0);

    pointTo(QStringLiteral("out"));
    QTRY_VERIFY(paints.count > 0);
}

// A window that opens under the pointer can miss the leave notification of
// its button; the button must still flatten once the pointer has gone.
void TestHoverpad::leaveAfterOpeningUnderPointer()
{
    showWindow();
    pointTo(QStringLiteral("A"));
    const QPoint spot = QCursor::pos();
    delete window;
    init();
    QCursor::setPos(spot);
    showWindow(); // moves the pointer away once the window is up
    QTRY_COMPARE(edgeOf(a), Flat);
    QCOMPARE(captionColor(a), a->palette().color(QPalette::ButtonText));
}

void TestHoverpad::pressLeaveRelease_data()
{
    QTest::addColumn<bool>("releaseInside");
    QTest::addColumn<int>("edgeAfter");
    QTest::addColumn<int>("clicks");
    QTest::newRow("released outside") << false << int(Flat) << 0;
    QTest::newRow("back in and released") << true << int(Raised) << 1;
}

void TestHoverpad::pressLeaveRelease()
{
    QFETCH(bool, releaseInside);
    QFETCH(int, edgeAfter);
    QFETCH(int, clicks);
    showWindow();
    QLabel *label = a->findChild<QLabel *>(QStringLiteral("lblCaption"));
    const QPoint rest = label->pos();
    QSignalSpy spy(a, &UserControl1::Click);

    pointTo(QStringLiteral("A"));
    QTest::mousePress(window->windowHandle(), Qt::LeftButton, {}, at(QStringLiteral("A")));
    QCOMPARE(edgeOf(a), Sunken);
    QCOMPARE(label->pos(), rest + QPoint(1, 1));

    pointTo(QStringLiteral("out"));
    QTest::mouseMove(window->windowHandle(), at(QStringLiteral("out")));
    QCOMPARE(edgeOf(a), Sunken);

    const QString end = releaseInside ? QStringLiteral("A") : QStringLiteral("out");
    pointTo(end);
    QTest::mouseRelease(window->windowHandle(), Qt::LeftButton, {}, at(end));
    QCoreApplication::processEvents();
    QCOMPARE(int(edgeOf(a)), edgeAfter);
    QCOMPARE(label->pos(), rest);
    QCOMPARE(spy.count(), clicks);
    // Back at rest the caption shows the button text colour.
    QCOMPARE(captionColor(a), a->palette().color(QPalette::ButtonText));
}

// A modal box that opens between press and release gets the release; the button must not
// stay sunken behind it, nor click when the box goes.
void TestHoverpad::boxOpenedWhileHeld()
{
    showWindow();
    QSignalSpy spy(a, &UserControl1::Click);
    pointTo(QStringLiteral("A"));
    QTest::mousePress(window->windowHandle(), Qt::LeftButton, {}, at(QStringLiteral("A")));
    QCOMPARE(edgeOf(a), Sunken);

    QDialog box;
    box.setModal(true);
    box.show();
    box.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&box));
    QCOMPARE(edgeOf(a), Flat);
    box.close();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(edgeOf(a) == Sunken, false);
}

void TestHoverpad::alwaysHighlighted()
{
    QVERIFY(a->setAlwaysHighlighted(true));
    showWindow();
    QCOMPARE(edgeOf(a), Raised);
    QCOMPARE(edgeOf(b), Flat);

    pointTo(QStringLiteral("A"));
    pointTo(QStringLiteral("B"));
    QCOMPARE(edgeOf(a), Raised);
    // No hover tracking: the caption keeps the button text colour.
    pointTo(QStringLiteral("A"));
    QCOMPARE(captionColor(a), a->palette().color(QPalette::ButtonText));

    QTest::mousePress(window->windowHandle(), Qt::LeftButton, {}, at(QStringLiteral("A")));
    QCOMPARE(edgeOf(a), Sunken);
    pointTo(QStringLiteral("out"));
    QTest::mouseRelease(window->windowHandle(), Qt::LeftButton, {}, at(QStringLiteral("out")));
    QCOMPARE(edgeOf(a), Raised);
}

void TestHoverpad::clickReasons_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("reason");
    QTest::newRow("mouse on the face") << "mouse-face" << int(UserControl1::pslReasonMouse);
    QTest::newRow("mouse on the caption") << "mouse-caption" << int(UserControl1::pslReasonMouse);
    QTest::newRow("Space") << "space" << int(UserControl1::pslReasonKeyboard);
    QTest::newRow("Enter") << "return" << int(UserControl1::pslReasonKeyboard);
    QTest::newRow("keypad Enter") << "enter" << int(UserControl1::pslReasonKeyboard);
    QTest::newRow("access key") << "alt" << int(UserControl1::pslReasonAccessKey);
}

void TestHoverpad::clickReasons()
{
    QFETCH(QString, action);
    QFETCH(int, reason);
    a->setCaption(QStringLiteral("&Save"));
    showWindow();
    a->setFocus();
    QSignalSpy clicks(a, &UserControl1::Click);
    QSignalSpy otherClicks(b, &UserControl1::Click);

    if (action == QLatin1String("mouse-face"))
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at(QStringLiteral("A")));
    else if (action == QLatin1String("mouse-caption"))
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at(QStringLiteral("A-caption")));
    else if (action == QLatin1String("space"))
        QTest::keyClick(a, Qt::Key_Space);
    else if (action == QLatin1String("return"))
        QTest::keyClick(a, Qt::Key_Return);
    else if (action == QLatin1String("enter"))
        QTest::keyClick(a, Qt::Key_Enter, Qt::KeypadModifier);
    else
        QTest::keyClick(window, Qt::Key_S, Qt::AltModifier);

    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.at(0).at(0).toInt(), reason);
    QCOMPARE(otherClicks.count(), 0);
    QVERIFY(edgeOf(a) != Sunken);
}

void TestHoverpad::focusRect_data()
{
    QTest::addColumn<bool>("focusRect");
    QTest::newRow("FocusRect on") << true;
    QTest::newRow("FocusRect off") << false;
}

void TestHoverpad::focusRect()
{
    QFETCH(bool, focusRect);
    a->setCaption(QString()); // keep the face clear of text
    QVERIFY(a->setFocusRect(focusRect));
    showWindow();
    b->setFocus();

    auto dotsOnRow3 = [this] {
        const QImage img = a->grab().toImage();
        int dots = 0;
        for (int x = 3; x <= a->width() - 4; ++x)
            dots += img.pixelColor(x, 3) != a->BackColor();
        return dots;
    };
    QCOMPARE(dotsOnRow3(), 0);
    a->setFocus();
    QVERIFY(a->hasFocus());
    const int dots = dotsOnRow3();
    if (focusRect) {
        // Dotted: about every second pixel.
        QVERIFY2(dots > a->width() / 4 && dots < a->width() - 8, qPrintable(QString::number(dots)));
    } else {
        QCOMPARE(dots, 0);
    }
    b->setFocus();
    QCOMPARE(dotsOnRow3(), 0);
}

void TestHoverpad::uiForm()
{
    QWidget form;
    Ui::HoverForm ui;
    ui.setupUi(&form);
    UserControl1 *button = form.findChild<UserControl1 *>(QStringLiteral("button1"));
    QVERIFY(button);
    QCOMPARE(button->Caption(), QStringLiteral("&Save"));
    QCOMPARE(button->AccessKeys(), QStringLiteral("S"));
    QCOMPARE(button->HoverColor(), QColor(255, 0, 0));
    QVERIFY(button->AlwaysHighlighted());
    QVERIFY(!button->FocusRect());
    // Unset properties keep their defaults.
    QCOMPARE(button->BackColor(), button->palette().color(QPalette::Button));

    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(edgeOf(button), Raised);
}

QTEST_MAIN(TestHoverpad)
#include "tst_hoverpad.moc"
