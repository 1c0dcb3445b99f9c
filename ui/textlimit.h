#pragma once
#include <QString>

class QLineEdit;
class QPlainTextEdit;
class QWidget;

namespace ui {

// What a one-line text box holds when no smaller limit is given.
constexpr int kLineTextLimit = 32767;

// The longest start of text of at most max UTF-16 units (the unit a box's limit counts)
// that ends between two whole characters: never inside a surrogate pair (an emoji), never
// before the combining marks that belong to the last character kept.
QString CutAtWholeCharacter(const QString &text, int max);

// Limits a box to max units. Typed or pasted text that does not fit is cut at the last
// whole character, where the toolkit's own limit would cut wherever the count ends.
void LimitLength(QLineEdit *field, int max = kLineTextLimit);
void LimitLength(QPlainTextEdit *box, int max);

// The limit set on a box by LimitLength, or 0.
int LengthLimit(const QWidget *box);

} // namespace ui
