#include "support/hostileinput.h"

#include <QTextBoundaryFinder>

namespace testsupport {

QList<HostileText> HostileTexts(int limit)
{
    QString longPaste;
    const QString piece = QStringLiteral("长文本Long😀段落e\u0301 ");
    while (longPaste.size() < 10000)
        longPaste += piece;
    longPaste.truncate(10000);
    // 10,000 units cut at a pair would leave half an emoji; keep the corpus text whole.
    if (longPaste.back().isHighSurrogate())
        longPaste.chop(1);

    QList<HostileText> texts = {
        {QStringLiteral("single quotes"), QStringLiteral("O'Brien's 'x'")},
        {QStringLiteral("double quotes"), QStringLiteral("他说\"好\"")},
        {QStringLiteral("percent"), QStringLiteral("100%")},
        {QStringLiteral("underscore"), QStringLiteral("a_b")},
        {QStringLiteral("pattern only"), QStringLiteral("%_%")},
        {QStringLiteral("comment"), QStringLiteral("x -- y")},
        {QStringLiteral("statement break"), QStringLiteral("a'); DROP TABLE table1; --")},
        {QStringLiteral("backslashes"), QStringLiteral("C:\\tmp\\new\\%d")},
        {QStringLiteral("control characters"), QStringLiteral("a\tb\u0001c\u007f\u001bd")},
        {QStringLiteral("combining marks"), QStringLiteral("Cafe\u0301 n\u0303o\u0308\u0301")},
        {QStringLiteral("full-width forms"), QStringLiteral("ＡＢＣ１２３％＿＇")},
        {QStringLiteral("emoji"), QStringLiteral("🎬🎥😀👨\u200d👩\u200d👧🇨🇳")},
        {QStringLiteral("mixed Chinese and Latin"), QStringLiteral("大话西游 A Chinese Odyssey 2")},
        {QStringLiteral("blanks around"), QStringLiteral("  前后有空格  ")},
        {QStringLiteral("ideographic blanks around"), QStringLiteral("\u3000全角空格\u3000")},
        {QStringLiteral("blanks only"), QStringLiteral("   ")},
        {QStringLiteral("criteria separator"), QStringLiteral("卡@@@1@@@")},
        {QStringLiteral("direction and zero-width marks"), QStringLiteral("\u202eabc\u200b\u2066d\u2069")},
        {QStringLiteral("10,000 characters pasted"), longPaste, false},
    };
    if (limit > 2) {
        const QString fill(limit - 1, QChar(u'字'));
        const bool typable = limit <= 1000;
        texts << HostileText{QStringLiteral("emoji across the limit"), fill + QStringLiteral("😀尾"), typable};
        texts << HostileText{QStringLiteral("combining mark across the limit"), fill + QStringLiteral("e\u0301尾"), typable};
        texts << HostileText{QStringLiteral("joined emoji across the limit"),
                             QString(limit - 3, QChar(u'字')) + QStringLiteral("👨\u200d👩尾"), typable};
        texts << HostileText{QStringLiteral("exactly the limit"), QString(limit, QChar(u'满')), typable};
    }
    return texts;
}

bool HasWholeCharactersOnly(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate()) {
            if (i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate())
                return false;
            ++i;
        } else if (c.isLowSurrogate()) {
            return false;
        }
    }
    return true;
}

bool CutAtWholeCharacterOf(const QString &result, const QString &text, int limit)
{
    if (limit <= 0 || text.size() <= limit)
        return result == text;
    if (result.size() > limit || !text.startsWith(result))
        return false;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    graphemes.setPosition(result.size());
    if (!graphemes.isAtBoundary())
        return false;
    // The next whole character would not have fitted.
    return graphemes.toNextBoundary() > limit;
}

} // namespace testsupport
