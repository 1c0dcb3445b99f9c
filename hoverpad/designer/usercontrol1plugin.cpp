#include "usercontrol1plugin.h"

#include "hoverpad/usercontrol1.h"

UserControl1Plugin::UserControl1Plugin(QObject *parent) : QObject(parent) {}

QString UserControl1Plugin::name() const { return QStringLiteral("UserControl1"); }
QString UserControl1Plugin::group() const { return QStringLiteral("Hoverpad"); }
QString UserControl1Plugin::toolTip() const { return QStringLiteral("Hoverpad.UserControl1: flat hover button"); }
QString UserControl1Plugin::whatsThis() const
{
    return QStringLiteral("A flat push button that raises its edge under the pointer and sinks while pressed.");
}
QString UserControl1Plugin::includeFile() const { return QStringLiteral("hoverpad/usercontrol1.h"); }
QIcon UserControl1Plugin::icon() const { return {}; }
bool UserControl1Plugin::isContainer() const { return false; }

QWidget *UserControl1Plugin::createWidget(QWidget *parent)
{
    return new UserControl1(parent);
}

bool UserControl1Plugin::isInitialized() const { return m_initialized; }

void UserControl1Plugin::initialize(QDesignerFormEditorInterface *)
{
    if (m_initialized)
        return;
    // Inside Designer every property is writable and the edge shows raised.
    UserControl1::setDesignMode(true);
    m_initialized = true;
}

QString UserControl1Plugin::domXml() const
{
    return QStringLiteral(R"(<ui language="c++">
 <widget class="UserControl1" name="UserControl1">
  <property name="geometry">
   <rect><x>0</x><y>0</y><width>81</width><height>25</height></rect>
  </property>
 </widget>
 <customwidgets>
  <customwidget>
   <class>UserControl1</class>
   <extends>QWidget</extends>
   <header>hoverpad/usercontrol1.h</header>
  </customwidget>
 </customwidgets>
</ui>
)");
}
