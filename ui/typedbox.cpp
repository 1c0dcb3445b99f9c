#include "ui/typedbox.h"

#include <QComboBox>
#include <QLineEdit>

#include "ui/textlimit.h"

namespace ui {

QComboBox *NewTypedBox(QWidget *parent, const QString &objectName)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(objectName);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    // The completer an editable box gets fills in the rest of the first stored value that
    // starts with what is typed ("周" becomes "周星驰"); without it, Enter also matches the
    // list case-sensitively, so "jet li" is not turned into "jet Li".
    box->setCompleter(nullptr);
    LimitLength(box->lineEdit());
    return box;
}

} // namespace ui
