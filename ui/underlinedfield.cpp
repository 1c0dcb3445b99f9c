#include "ui/underlinedfield.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>

#include "ui/twips.h"

namespace ui {

QLineEdit *AddUnderlinedField(QWidget *parent, const UnderlinedField &f)
{
    auto *edit = new QLineEdit(f.designText, parent);
    edit->setObjectName(QStringLiteral("Text1_%1").arg(f.index));
    edit->setFrame(false);
    if (f.maxLength > 0)
        edit->setMaxLength(f.maxLength);
    const int h = qMax(twips(f.minHeightTwips), edit->fontMetrics().height() + f.padding);
    edit->setGeometry(twips(f.left), twips(f.top), twips(f.width), h);

    auto *line = new QFrame(parent);
    line->setObjectName(QStringLiteral("Line1_%1").arg(f.index));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setGeometry(edit->x(), edit->y() + edit->height(), edit->width(), 1);

    auto *caption = new QLabel(f.label, parent);
    caption->setObjectName(QStringLiteral("Label1_%1").arg(f.labelIndex < 0 ? f.index : f.labelIndex));
    caption->adjustSize();
    const int x = f.labelRight ? edit->geometry().right() + 4 : edit->x() - caption->width() - f.labelGap;
    caption->move(x, edit->y() + (edit->height() - caption->height()) / 2);
    return edit;
}

} // namespace ui
