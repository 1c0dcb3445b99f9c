#pragma once
#include <QString>

class QLineEdit;
class QWidget;

namespace ui {

// A text box drawn as a line to write on, with its caption beside it: Text1_<index> on
// Line1_<index>, captioned by Label1_<labelIndex>. Positions and sizes in twips.
struct UnderlinedField
{
    int index = 0;
    int labelIndex = -1; // -1: the same as index
    QString label;
    int left = 0, top = 0, width = 0;
    int maxLength = 0;   // 0: no limit of its own
    QString designText;
    bool labelRight = false;
    int minHeightTwips = 195;
    int padding = 2;     // pixels above the font height
    int labelGap = 4;    // pixels between a left caption and the box
};

QLineEdit *AddUnderlinedField(QWidget *parent, const UnderlinedField &f);

} // namespace ui
