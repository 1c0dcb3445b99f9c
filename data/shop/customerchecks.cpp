#include "data/shop/customerchecks.h"

namespace db {
namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool allDigits(const QString &text)
{
    for (QChar c : text) {
        if (!isDigit(c))
            return false;
    }
    return true;
}

bool inRange(const QString &digits, int low, int high)
{
    const int v = digits.toInt();
    return v >= low && v <= high;
}

} // namespace

QString LeaveEmptyHint()
{
    return QStringLiteral("\r\n不填请保持空格。");
}

QString DepositProblem(const QString &text)
{
    for (QChar c : text.trimmed()) {
        if (isDigit(c))
            continue;
        // Everything that is not ASCII (Chinese, full-width digits) counts as below "0".
        if (c.unicode() > 0x7f || c < QLatin1Char('0'))
            return QStringLiteral("请填入数字，如100！") + LeaveEmptyHint();
        return QStringLiteral("请填入填入数字，如100！") + LeaveEmptyHint();
    }
    return {};
}

QString IdentityCardProblem(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return {};
    bool ok = allDigits(t);
    if (ok && t.size() == 15) {
        ok = inRange(t.mid(6, 2), 30, 92) && inRange(t.mid(8, 2), 1, 12) && inRange(t.mid(10, 2), 1, 31);
    } else if (ok && t.size() == 18) {
        ok = inRange(t.mid(6, 4), 1930, 1992) && inRange(t.mid(10, 2), 1, 12) && inRange(t.mid(12, 2), 1, 31);
    } else {
        ok = false;
    }
    return ok ? QString() : QStringLiteral("身份证号码不正确！") + LeaveEmptyHint();
}

QString DatePartProblem(DatePart part, const QString &text)
{
    struct Texts
    {
        const char *below, *above;
    };
    static const Texts kTexts[] = {{"年请填入数字，如2000！", "年请填入填入数字，如1980！"},
                                   {"月请填入数字，如2！", "月请填入填入数字，如2！"},
                                   {"日请填入数字，如16！", "日请填入填入数字，如16！"}};
    const Texts &t = kTexts[int(part)];
    for (QChar c : text.trimmed()) {
        if (isDigit(c))
            continue;
        const bool below = c.unicode() > 0x7f || c < QLatin1Char('0');
        return QString::fromUtf8(below ? t.below : t.above) + LeaveEmptyHint();
    }
    return {};
}

} // namespace db
