#include "data/discterms.h"

#include <algorithm>

namespace db::index {

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

QString gramTerm(char16_t kind, const char32_t *chars, size_t n)
{
    return QChar(kind) + QString::fromUcs4(chars, qsizetype(n));
}

QString valueTerm(char16_t kind, const QString &value)
{
    return QChar(kind) + nocase(value);
}

QString rowColumns(const QString &p)
{
    return QStringLiteral("%1t13 IS NOT NULL, CAST(%1t13 AS TEXT), CAST(%1t14 AS TEXT), CAST(%1t11 AS TEXT), "
                          "CASE WHEN typeof(%1t18) = 'text' THEN %1t18 END, "
                          "CASE WHEN typeof(%1t20) = 'text' THEN %1t20 END, "
                          "CASE WHEN typeof(%1t10) = 'text' THEN %1t10 END, %1s3 IS NOT NULL")
        .arg(p);
}

DiscRow readRow(const QSqlQuery &q)
{
    DiscRow r;
    r.id = q.value(0).toLongLong();
    r.disc = q.value(1).toLongLong() != 0;
    r.title = q.value(2).toString();
    r.starring = q.value(3).toString();
    r.director = q.value(4).toString();
    r.media = q.value(5).toString();
    r.category = q.value(6).toString();
    r.country = q.value(7).toString();
    r.out = q.value(8).toLongLong() != 0;
    return r;
}

namespace {

constexpr quint64 kValueMark = 0xf;

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
                k.b |= ch << (32 * (n - 2));
            k.a = (k.a & ~(quint64(0xff) << 16)) | (quint64(n) << 16);
            out.push_back(k);
        }
    }
}

void valueKey(std::vector<TermKey> &out, char16_t kind, const QString &value, Values &values)
{
    if (!value.isEmpty())
        out.push_back({kind | (kValueMark << 16) | (values.number(nocase(value)) << 24), 0});
}

} // namespace

void termKeys(const DiscRow &r, std::vector<TermKey> &out, Values &values)
{
    if (!r.disc)
        return;
    gramKeys(out, kTitle, r.title);
    gramKeys(out, kStarring, r.starring);
    gramKeys(out, kDirector, r.director);
    valueKey(out, kMedia, r.media, values);
    valueKey(out, kCategory, r.category, values);
    valueKey(out, kCountry, r.country, values);
    if (r.out)
        out.push_back({kOut, 0});
}

QString termOf(const TermKey &k, const Values &values)
{
    const char16_t kind = char16_t(k.a & 0xffff);
    const quint64 n = (k.a >> 16) & 0xff;
    if (n == kValueMark)
        return QChar(kind) + values.value(k.a >> 24);
    char32_t chars[kGramMax] = {char32_t(k.a >> 24), char32_t(k.b & 0xffffffff), char32_t(k.b >> 32)};
    return gramTerm(kind, chars, size_t(n));
}

Terms termsOf(const DiscRow &r)
{
    std::vector<TermKey> keys;
    Values values;
    termKeys(r, keys, values);
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

} // namespace db::index
