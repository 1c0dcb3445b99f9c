#include "data/search/indexterms.h"

#include <algorithm>

namespace db::index {
namespace {

constexpr quint64 kValueMark = 0xf;
constexpr int kCharBits = 21; // a code point
constexpr quint64 kCharMask = (quint64(1) << kCharBits) - 1;

} // namespace

std::u32string likeChars(const QString &text)
{
    std::u32string out;
    const QList<uint> ucs = text.toUcs4();
    out.reserve(size_t(ucs.size()));
    for (uint ch : ucs) {
        if (ch == 0)
            break;
        if (ch >= 'A' && ch <= 'Z')
            ch += 'a' - 'A';
        out.push_back(char32_t(ch));
    }
    return out;
}

QString nocase(const QString &text)
{
    QString out = text;
    for (QChar &ch : out) {
        if (ch.unicode() >= 'A' && ch.unicode() <= 'Z')
            ch = QChar(ch.unicode() + ('a' - 'A'));
    }
    return out;
}

bool readsBackAsTyped(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch.unicode() >= 0xfffd)
            return false;
        if (ch.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (ch.isSurrogate())
            return false;
    }
    return true;
}

QString nocaseValue(const QString &value)
{
    // NOCASE stops comparing characters at a NUL and then compares the lengths in bytes.
    const qsizetype nul = value.indexOf(QChar(0));
    if (nul < 0)
        return nocase(value);
    return nocase(value.left(nul + 1)) + QString::number(value.toUtf8().size());
}

QString gramTerm(char16_t kind, const char32_t *chars, size_t n)
{
    return QChar(kind) + QString::fromUcs4(chars, qsizetype(n));
}

QString valueTerm(char16_t kind, const QString &value)
{
    return QChar(kind) + nocaseValue(value);
}

void gramKeys(std::vector<TermKey> &out, char16_t kind, const QString &text)
{
    const std::u32string chars = likeChars(text);
    for (size_t i = 0; i < chars.size(); ++i) {
        TermKey k;
        for (size_t n = 1; n <= size_t(kGramMax) && i + n <= chars.size(); ++n) {
            const quint64 ch = chars[i + n - 1];
            if (n == 1)
                k.a = kind | (ch << 24);
            else
                k.b |= ch << (kCharBits * (n - 2));
            k.a = (k.a & ~(quint64(0xff) << 16)) | (quint64(n) << 16);
            out.push_back(k);
        }
    }
}

void valueKey(std::vector<TermKey> &out, char16_t kind, const QString &value, Values &values)
{
    if (!value.isEmpty())
        out.push_back({kind | (kValueMark << 16) | (values.number(nocaseValue(value)) << 24), 0});
}

void exactValueKey(std::vector<TermKey> &out, char16_t kind, const QString &value, Values &values)
{
    out.push_back({kind | (kValueMark << 16) | (values.number(value) << 24), 0});
}

QString termOf(const TermKey &k, const Values &values)
{
    const char16_t kind = char16_t(k.a & 0xffff);
    const quint64 n = (k.a >> 16) & 0xff;
    if (n == kValueMark)
        return QChar(kind) + values.value(k.a >> 24);
    char32_t chars[kGramMax] = {char32_t(k.a >> 24)};
    for (int i = 1; i < kGramMax; ++i)
        chars[i] = char32_t((k.b >> (kCharBits * (i - 1))) & kCharMask);
    return gramTerm(kind, chars, size_t(n));
}

Terms termsOf(const std::vector<TermKey> &keys, const Values &values)
{
    Terms t;
    t.reserve(keys.size());
    for (const TermKey &k : keys)
        t.push_back(termOf(k, values));
    std::sort(t.begin(), t.end());
    t.erase(std::unique(t.begin(), t.end()), t.end());
    return t;
}

bool has(const Terms &terms, const QString &term)
{
    return std::binary_search(terms.begin(), terms.end(), term);
}

PartTerms partTerms(char16_t kind, const QString &part)
{
    PartTerms p;
    const std::u32string chars = likeChars(part);
    if (chars.empty())
        return p;
    if (chars.size() <= size_t(kGramMax)) {
        p.terms.push_back(gramTerm(kind, chars.data(), chars.size()));
        return p;
    }
    for (size_t i = 0; i + kGramMax <= chars.size(); ++i)
        p.terms.push_back(gramTerm(kind, chars.data() + i, kGramMax));
    p.longer = true;
    return p;
}

} // namespace db::index
