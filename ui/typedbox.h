#pragma once
#include <QString>

class QComboBox;
class QWidget;

namespace ui {

// An editable selection box that keeps exactly what the clerk types or commits through an
// input method: its drop-down offers the stored values, but nothing typed is completed to
// one of them, so a part typed as a criterion stays a part. Nothing typed is added to the
// list, and its line is limited like every other one-line box.
QComboBox *NewTypedBox(QWidget *parent, const QString &objectName);

} // namespace ui
