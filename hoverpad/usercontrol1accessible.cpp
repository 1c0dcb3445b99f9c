#include "hoverpad/usercontrol1accessible.h"

#include <QKeySequence>

#include "hoverpad/caption.h"
#include "hoverpad/usercontrol1.h"

namespace {

QAccessibleInterface *createInterface(const QString &className, QObject *object)
{
    // Subclasses come here under their own class name first and then as UserControl1.
    if (className != QLatin1String("UserControl1"))
        return nullptr;
    if (auto *button = qobject_cast<UserControl1 *>(object))
        return new UserControl1Accessible(button);
    return nullptr;
}

// Registered when the library loads, so every program, test and the Designer plugin
// that loads it has the interface before any button exists; taken out again when the
// library is unloaded (a Designer plugin may be), so Qt never calls into code that is gone.
struct FactoryRegistration
{
    FactoryRegistration() { QAccessible::installFactory(createInterface); }
    ~FactoryRegistration() { QAccessible::removeFactory(createInterface); }
};
const FactoryRegistration registration;

} // namespace

UserControl1Accessible::UserControl1Accessible(UserControl1 *button)
    : QAccessibleWidget(button, QAccessible::Button)
{
}

UserControl1 *UserControl1Accessible::button() const
{
    return static_cast<UserControl1 *>(widget());
}

QString UserControl1Accessible::accessKeySequence() const
{
    const QString key = button()->AccessKeys();
    if (key.isEmpty())
        return {};
    const QKeyCombination combination(Qt::AltModifier, Qt::Key(key.at(0).toUpper().unicode()));
    return QKeySequence(combination).toString(QKeySequence::NativeText);
}

QString UserControl1Accessible::text(QAccessible::Text t) const
{
    switch (t) {
    case QAccessible::Name: {
        const QString name = widget()->accessibleName();
        return name.isEmpty() ? hoverpad::plainCaption(button()->Caption()) : name;
    }
    case QAccessible::Accelerator:
        return accessKeySequence();
    default:
        return QAccessibleWidget::text(t); // Description: the tool tip
    }
}

int UserControl1Accessible::childCount() const { return 0; }
QAccessibleInterface *UserControl1Accessible::child(int) const { return nullptr; }
int UserControl1Accessible::indexOfChild(const QAccessibleInterface *) const { return -1; }

QAccessibleInterface *UserControl1Accessible::childAt(int, int) const { return nullptr; }

QStringList UserControl1Accessible::actionNames() const
{
    QStringList names;
    if (widget()->isEnabled())
        names << pressAction();
    return names + QAccessibleWidget::actionNames();
}

void UserControl1Accessible::doAction(const QString &actionName)
{
    if (actionName == pressAction())
        button()->pressFromAssistant();
    else
        QAccessibleWidget::doAction(actionName);
}

QStringList UserControl1Accessible::keyBindingsForAction(const QString &actionName) const
{
    const QString keys = accessKeySequence();
    if (actionName == pressAction() && !keys.isEmpty())
        return {keys};
    return QAccessibleWidget::keyBindingsForAction(actionName);
}
