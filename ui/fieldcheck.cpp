#include "ui/fieldcheck.h"

#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

#include "ui/messages.h"

namespace ui {
namespace {

// Watches the widget that holds the focus (the line edit, or the selection box around it)
// and checks the line edit; owned by the watched widget.
class LeaveWatcher : public QObject
{
public:
    LeaveWatcher(QWidget *focusHolder, QLineEdit *field, FieldRule rule)
        : QObject(focusHolder), m_holder(focusHolder), m_field(field), m_rule(std::move(rule))
    {
        focusHolder->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_holder && event->type() == QEvent::FocusOut) {
            const auto reason = static_cast<QFocusEvent *>(event)->reason();
            // Only a move to another control counts as leaving; switching windows or
            // opening a menu does not.
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && m_field->isVisible()) {
                // After the focus has moved, so the message box does not interrupt the move.
                QPointer<QLineEdit> field = m_field;
                QTimer::singleShot(0, this, [this, field] {
                    if (field)
                        CheckNow(field, m_rule);
                });
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget *m_holder;
    QLineEdit *m_field;
    FieldRule m_rule;
};

} // namespace

bool CheckNow(QLineEdit *field, const FieldRule &rule)
{
    const QString text = field->text();
    if (text.trimmed().isEmpty() || !field->isEnabled())
        return true;
    const QString message = rule(text);
    if (message.isEmpty())
        return true;
    msg::information(field->window(), message);
    field->setFocus(Qt::OtherFocusReason);
    field->setSelection(0, 20);
    return false;
}

void CheckOnLeave(QLineEdit *field, FieldRule rule)
{
    new LeaveWatcher(field, field, std::move(rule));
}

void CheckOnLeave(QComboBox *box, FieldRule rule)
{
    // The box keeps the focus for its line edit and only passes the events on.
    if (QLineEdit *edit = box->lineEdit())
        new LeaveWatcher(box, edit, std::move(rule));
}

} // namespace ui
