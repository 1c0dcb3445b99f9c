#pragma once
#include <QString>

class QWidget;

namespace testsupport {

enum class Entry { Typed, Pasted };

// Replaces what a line edit or plain text box holds the way a clerk would: typed key by
// key (printable ASCII as key presses, anything else as input-method commits of one
// character each, as a Chinese input method sends them) or pasted with Ctrl+V from the
// clipboard over the selected old text.
void Enter(QWidget *box, const QString &text, Entry how);

// The text a line edit or plain text box holds.
QString TextOf(const QWidget *box);

} // namespace testsupport
