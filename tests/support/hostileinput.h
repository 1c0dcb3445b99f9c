#pragma once
#include <QList>
#include <QString>

namespace testsupport {

struct HostileText
{
    QString name;
    QString text;
    bool typable = true; // short enough to type key by key in a test
};

// Texts a clerk may type or paste into any box: SQL and pattern characters, very long
// pastes, control characters, combining marks, full-width forms, emoji, mixed scripts.
// With the box's limit (in UTF-16 units, as boxes count) it adds texts that put an emoji,
// a combining sequence and a joined emoji sequence across that limit.
QList<HostileText> HostileTexts(int limit = 0);

// True when a limit cut text at a whole character: result is text itself, or the longest
// start of text that ends on a character boundary and fits in limit units.
bool CutAtWholeCharacterOf(const QString &result, const QString &text, int limit);

// No half of a surrogate pair stands alone.
bool HasWholeCharactersOnly(const QString &text);

} // namespace testsupport
