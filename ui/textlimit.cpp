#include "ui/textlimit.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBoundaryFinder>
#include <QValidator>

#include <limits>

namespace ui {
namespace {

const char *const kLimitProperty = "lanlan_lengthLimit";

// Cuts what does not fit instead of refusing the whole input, so a long paste keeps its
// beginning as the toolkit's limit would.
class WholeCharacterLimit : public QValidator
{
public:
    WholeCharacterLimit(int max, QObject *parent) : QValidator(parent), m_max(max) {}

    State validate(QString &input, int &pos) const override
    {
        if (input.size() > m_max) {
            input = CutAtWholeCharacter(input, m_max);
            pos = qMin(pos, int(input.size()));
        }
        return Acceptable;
    }

private:
    int m_max;
};

} // namespace

QString CutAtWholeCharacter(const QString &text, int max)
{
    if (max <= 0)
        return {};
    if (text.size() <= max)
        return text;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    graphemes.setPosition(max);
    if (!graphemes.isAtBoundary())
        graphemes.toPreviousBoundary();
    return text.left(qMax<qsizetype>(0, graphemes.position()));
}

void LimitLength(QLineEdit *field, int max)
{
    // The box's own limit would cut first, anywhere; the validator does the cutting.
    field->setMaxLength(std::numeric_limits<int>::max());
    field->setValidator(new WholeCharacterLimit(max, field));
    field->setProperty(kLimitProperty, max);
}

void LimitLength(QPlainTextEdit *box, int max)
{
    box->setProperty(kLimitProperty, max);
    QObject::connect(box, &QPlainTextEdit::textChanged, box, [box, max] {
        const QString text = box->toPlainText();
        if (text.size() <= max)
            return;
        QTextCursor keep = box->textCursor();
        const QString cut = CutAtWholeCharacter(text, max);
        const int pos = qMin(keep.position(), int(cut.size()));
        box->setPlainText(cut);
        keep = box->textCursor();
        keep.setPosition(pos);
        box->setTextCursor(keep);
    });
}

int LengthLimit(const QWidget *box)
{
    return box->property(kLimitProperty).toInt();
}

} // namespace ui
