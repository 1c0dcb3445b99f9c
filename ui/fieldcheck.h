#pragma once
#include <QString>

#include <functional>

class QComboBox;
class QLineEdit;

namespace ui {

// A rule for a field: the message to show for its text, or an empty text when it passes.
using FieldRule = std::function<QString(const QString &text)>;

// Checks the field when the user leaves it for another control of the same window, and
// only when its trimmed text is not empty: a failing rule shows its message, gives the
// focus back to the field and selects its first 20 characters. Switching to another
// window is not leaving. A disabled field is not checked.
void CheckOnLeave(QLineEdit *field, FieldRule rule);
// The same for the text of an editable selection box.
void CheckOnLeave(QComboBox *box, FieldRule rule);

// Runs the rule now, as leaving would; true when the field passes (or is empty).
bool CheckNow(QLineEdit *field, const FieldRule &rule);

} // namespace ui
