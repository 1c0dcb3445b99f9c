#pragma once
// What assistive technology (screen readers, UI automation) sees of a UserControl1:
// a push button named by its caption, described by its tool tip, pressable through
// its action, with the access key as its shortcut. The caption label is part of the
// button, not a child of its own. The library registers it when it loads; the button
// itself does not know it.
#include <QAccessibleWidget>

class UserControl1;

class UserControl1Accessible : public QAccessibleWidget
{
public:
    explicit UserControl1Accessible(UserControl1 *button);

    QString text(QAccessible::Text t) const override;
    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;

    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;
    QStringList keyBindingsForAction(const QString &actionName) const override;

private:
    UserControl1 *button() const;
    QString accessKeySequence() const;
};

