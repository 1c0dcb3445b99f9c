// What assistive technology sees of the hover button: a named push button with a
// press action, its states, and the notices sent when its caption or state changes.
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>
#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include "hoverpad/usercontrol1.h"

namespace {

struct Notice
{
    QAccessible::Event type;
    QObject *object;
    QAccessible::State changed; // state change notices only
};

QList<Notice> g_notices;

void recordNotice(QAccessibleEvent *event)
{
    Notice n{event->type(), event->object(), {}};
    if (event->type() == QAccessible::StateChanged)
        n.changed = static_cast<QAccessibleStateChangeEvent *>(event)->changedStates();
    g_notices.append(n);
}

QList<Notice> noticesFor(QObject *object, QAccessible::Event type)
{
    QList<Notice> found;
    for (const Notice &n : std::as_const(g_notices))
        if (n.object == object && n.type == type)
            found.append(n);
    return found;
}

// Every object reachable from iface through the accessible children.
void collect(QAccessibleInterface *iface, QList<QObject *> &objects)
{
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface *c = iface->child(i);
        QVERIFY(c);
        objects.append(c->object());
        collect(c, objects);
    }
}

} // namespace

class TestHoverpadAccessible : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void isAButton();
    void nameAndShortcut_data();
    void nameAndShortcut();
    void explicitNameWins();
    void captionIsNoChild();
    void pressAction_data();
    void pressAction();
    void states();
    void captionChangeNotifies();
    void enabledChangeNotifies_data();
    void enabledChangeNotifies();

private:
    QAccessibleInterface *face(QObject *o) const
    {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(o);
        if (!iface)
            qFatal("no accessible interface for %s", o->metaObject()->className());
        return iface;
    }

    QWidget *window = nullptr;
    UserControl1 *a = nullptr;
    UserControl1 *b = nullptr;
};

void TestHoverpadAccessible::initTestCase()
{
    // Qt hands out notices only while a reader is listening; the offscreen platform
    // has no bridge that could say so, so switch it on the way a bridge would.
    QPlatformAccessibility *platform = QGuiApplicationPrivate::platformIntegration()->accessibility();
    QVERIFY(platform);
    platform->setActive(true);
    QVERIFY(QAccessible::isActive());
    // Catch the notices instead of handing them to a platform bridge.
    QAccessible::installUpdateHandler(recordNotice);
}

void TestHoverpadAccessible::init()
{
    UserControl1::setDesignMode(false);
    window = new QWidget;
    window->resize(300, 120);
    a = new UserControl1(window);
    a->setObjectName(QStringLiteral("a"));
    a->setGeometry(20, 20, 81, 25);
    a->setCaption(QStringLiteral("&Save"));
    a->setToolTip(QStringLiteral("保存这张碟片"));
    b = new UserControl1(window);
    b->setObjectName(QStringLiteral("b"));
    b->setGeometry(101, 20, 81, 25);
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    g_notices.clear();
}

void TestHoverpadAccessible::cleanup()
{
    delete window;
    window = nullptr;
}

void TestHoverpadAccessible::isAButton()
{
    QAccessibleInterface *iface = face(a);
    QVERIFY(iface->isValid());
    QCOMPARE(iface->role(), QAccessible::Button);
    QCOMPARE(iface->text(QAccessible::Description), QStringLiteral("保存这张碟片"));
    QCOMPARE(iface->object(), a);
    QCOMPARE(iface->parent()->object(), window);
    // The screen rectangle is the button's, so a reader's pointer finds it.
    QCOMPARE(iface->rect(), QRect(a->mapToGlobal(QPoint(0, 0)), a->size()));
    QCOMPARE(face(window)->childAt(iface->rect().center().x(), iface->rect().center().y()), iface);
}

void TestHoverpadAccessible::nameAndShortcut_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shortcut");
    QTest::newRow("leading key") << "&Save" << "Save" << "Alt+S";
    QTest::newRow("doubled only") << "A&&B" << "A&B" << QString();
    QTest::newRow("doubled then single") << "A&&B&C" << "A&BC" << "Alt+C";
    QTest::newRow("lower-case key") << "s&ave" << "save" << "Alt+A";
    QTest::newRow("Chinese") << QStringLiteral("√提交") << QStringLiteral("√提交") << QString();
    QTest::newRow("Chinese with key") << QStringLiteral("提交(&T)") << QStringLiteral("提交(T)") << "Alt+T";
    QTest::newRow("trailing ampersand") << "AB&" << "AB" << QString();
    QTest::newRow("empty") << QString() << QString() << QString();
}

void TestHoverpadAccessible::nameAndShortcut()
{
    QFETCH(QString, caption);
    QFETCH(QString, name);
    QFETCH(QString, shortcut);
    a->setCaption(caption);
    QAccessibleInterface *iface = face(a);
    QCOMPARE(iface->text(QAccessible::Name), name);
    QCOMPARE(iface->text(QAccessible::Accelerator), shortcut);
    QAccessibleActionInterface *actions = iface->actionInterface();
    QVERIFY(actions);
    const QStringList bindings = actions->keyBindingsForAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(bindings, shortcut.isEmpty() ? QStringList() : QStringList{shortcut});
}

void TestHoverpadAccessible::explicitNameWins()
{
    a->setAccessibleName(QStringLiteral("保存"));
    a->setAccessibleDescription(QStringLiteral("写入数据库"));
    g_notices.clear();
    QCOMPARE(face(a)->text(QAccessible::Name), QStringLiteral("保存"));
    QCOMPARE(face(a)->text(QAccessible::Description), QStringLiteral("写入数据库"));
    // With an explicit name a caption change does not rename the button.
    a->setCaption(QStringLiteral("&Other"));
    QCOMPARE(face(a)->text(QAccessible::Name), QStringLiteral("保存"));
    QVERIFY(noticesFor(a, QAccessible::NameChanged).isEmpty());
}

void TestHoverpadAccessible::captionIsNoChild()
{
    QLabel *label = a->findChild<QLabel *>(QStringLiteral("lblCaption"));
    QVERIFY(label);
    QAccessibleInterface *iface = face(a);
    QCOMPARE(iface->childCount(), 0);
    QVERIFY(!iface->child(0));
    const QPoint mid = a->mapToGlobal(label->geometry().center());
    QVERIFY(!iface->childAt(mid.x(), mid.y()));

    QList<QObject *> reachable;
    collect(face(window), reachable);
    QVERIFY(reachable.contains(a));
    QVERIFY(reachable.contains(b));
    QVERIFY(!reachable.contains(label));
}

void TestHoverpadAccessible::pressAction_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("clicks");
    QTest::newRow("enabled") << "enabled" << 1;
    QTest::newRow("disabled") << "setEnabled" << 0;
    QTest::newRow("Enabled property off") << "property" << 0;
    QTest::newRow("window disabled") << "container" << 0;
    QTest::newRow("disabled before the click runs") << "later" << 0;
}

void TestHoverpadAccessible::pressAction()
{
    QFETCH(QString, how);
    QFETCH(int, clicks);
    QSignalSpy spy(a, &UserControl1::Click);
    QSignalSpy otherSpy(b, &UserControl1::Click);
    if (how == QLatin1String("setEnabled"))
        a->setEnabled(false);
    else if (how == QLatin1String("property"))
        a->setEnabledProperty(false);
    else if (how == QLatin1String("container"))
        window->setEnabled(false);

    QAccessibleActionInterface *actions = face(a)->actionInterface();
    QVERIFY(actions);
    const QString press = QAccessibleActionInterface::pressAction();
    QCOMPARE(actions->actionNames().contains(press), how == QLatin1String("enabled") || how == QLatin1String("later"));

    actions->doAction(press);
    // The click runs from the event loop, so a tool asking over the bus gets its answer
    // before a box opened by the click waits for the user.
    QCOMPARE(spy.count(), 0);
    if (how == QLatin1String("later"))
        a->setEnabled(false);
    QTest::qWait(50);
    QCOMPARE(spy.count(), clicks);
    if (clicks)
        QCOMPARE(spy.at(0).at(0).toInt(), int(UserControl1::pslReasonKeyboard));
    QCOMPARE(otherSpy.count(), 0);
}

void TestHoverpadAccessible::states()
{
    QAccessibleInterface *iface = face(a);
    b->setFocus();
    QVERIFY(iface->state().focusable);
    QVERIFY(!iface->state().focused);
    QVERIFY(!iface->state().disabled);
    QVERIFY(!iface->state().invisible);

    a->setFocus();
    QVERIFY(iface->state().focused);
    QVERIFY(!face(b)->state().focused);
    QVERIFY(!noticesFor(a, QAccessible::Focus).isEmpty());

    a->setEnabledProperty(false);
    QVERIFY(iface->state().disabled);
    QVERIFY(!face(b)->state().disabled);
    a->setEnabledProperty(true);
    QVERIFY(!iface->state().disabled);

    a->hide();
    QVERIFY(iface->state().invisible);
}

void TestHoverpadAccessible::captionChangeNotifies()
{
    a->setCaption(QStringLiteral("√提交"));
    QCOMPARE(noticesFor(a, QAccessible::NameChanged).size(), 1);
    // The same caption again changes no name.
    a->setCaption(QStringLiteral("√提交"));
    QCOMPARE(noticesFor(a, QAccessible::NameChanged).size(), 1);
    a->setProperty("Caption", QStringLiteral("退出"));
    QCOMPARE(noticesFor(a, QAccessible::NameChanged).size(), 2);
    QCOMPARE(face(a)->text(QAccessible::Name), QStringLiteral("退出"));
    QVERIFY(noticesFor(b, QAccessible::NameChanged).isEmpty());
}

void TestHoverpadAccessible::enabledChangeNotifies_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("QWidget::setEnabled") << "setEnabled";
    QTest::newRow("Enabled property") << "property";
    QTest::newRow("window disabled") << "container";
}

void TestHoverpadAccessible::enabledChangeNotifies()
{
    QFETCH(QString, how);
    auto setOn = [&](bool on) {
        if (how == QLatin1String("setEnabled"))
            a->setEnabled(on);
        else if (how == QLatin1String("property"))
            a->setEnabledProperty(on);
        else
            window->setEnabled(on);
    };
    auto disabledNotices = [&] {
        int n = 0;
        for (const Notice &notice : noticesFor(a, QAccessible::StateChanged))
            n += notice.changed.disabled ? 1 : 0;
        return n;
    };

    setOn(false);
    QCOMPARE(disabledNotices(), 1);
    setOn(false); // already off: nothing to tell
    QCOMPARE(disabledNotices(), 1);
    setOn(true);
    QCOMPARE(disabledNotices(), 2);
    QVERIFY(!face(a)->state().disabled);
}

QTEST_MAIN(TestHoverpadAccessible)
#include "tst_hoverpad_accessible.moc"
