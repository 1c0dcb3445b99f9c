#include "hoverpad/caption.h"

namespace hoverpad {

int accessKeyMarker(const QString &caption)
{
    for (int i = caption.size() - 1; i >= 0; --i) {
        if (caption.at(i) != QLatin1Char('&'))
            continue;
        if (i == 0)
            return caption.size() > 1 ? 0 : -1;
        if (caption.at(i - 1) != QLatin1Char('&'))
            return i + 1 < caption.size() ? i : -1;
        --i;
    }
    return -1;
}

QString plainCaption(const QString &caption)
{
    QString text;
    text.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption.at(i) != QLatin1Char('&')) {
            text += caption.at(i);
            continue;
        }
        if (i + 1 >= caption.size())
            break;
        text += caption.at(++i);
    }
    return text;
}

} // namespace hoverpad
