// The Designer plugin loads, offers UserControl1 and switches on design mode; its
// buttons are accessible like any other.
#include <QAccessible>
#include <QPluginLoader>
#include <QtTest>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#include "hoverpad/usercontrol1.h"

class TestHoverpadDesigner : public QObject
{
    Q_OBJECT

private slots:
    void pluginOffersTheButton();
};

void TestHoverpadDesigner::pluginOffersTheButton()
{
    QPluginLoader loader(QStringLiteral(HOVERPAD_DESIGNER_PLUGIN));
    QObject *instance = loader.instance();
    QVERIFY2(instance, qPrintable(loader.errorString()));
    auto *plugin = qobject_cast<QDesignerCustomWidgetInterface *>(instance);
    QVERIFY(plugin);

    QCOMPARE(plugin->name(), QStringLiteral("UserControl1"));
    QCOMPARE(plugin->includeFile(), QStringLiteral("hoverpad/usercontrol1.h"));
    QVERIFY(!plugin->isContainer());
    QVERIFY(plugin->domXml().contains(QStringLiteral("class=\"UserControl1\"")));

    QVERIFY(!UserControl1::designMode());
    plugin->initialize(nullptr);
    QVERIFY(plugin->isInitialized());
    QVERIFY(UserControl1::designMode());

    QWidget form;
    auto *button = qobject_cast<UserControl1 *>(plugin->createWidget(&form));
    QVERIFY(button);
    QCOMPARE(button->parentWidget(), &form);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // On the form every property stays writable, and Enabled does not lock the widget.
    QVERIFY(button->setAlwaysHighlighted(true));
    QVERIFY(button->setFocusRect(false));
    button->setEnabledProperty(false);
    QVERIFY(!button->Enabled());
    QVERIFY(button->isEnabled());

    // A button made by the plugin is a named push button to assistive technology too.
    button->setCaption(QStringLiteral("&Save"));
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(button);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::Button);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Save"));
    QCOMPARE(iface->childCount(), 0);
}

QTEST_MAIN(TestHoverpadDesigner)
#include "tst_hoverpad_designer.moc"
