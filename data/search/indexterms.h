#pragma once
#include <QString>
#include <QStringList>

#include <string>
#include <unordered_map>
#include <vector>

// Terms a search index files a row under (see data/search/termindex.h): runs of one to four
// characters of a text, as LIKE compares them, and whole values, as NOCASE compares them.
// Each index says which of its columns give which terms (data/discterms.h, data/customerindex.cpp).
namespace db::index {

// Longer parts are looked up by their runs of four. Four, not three: a part of four Chinese
// characters (a common title length) is then answered by the index alone, where its runs of
// three left thousands of rows to read and check.
constexpr int kGramMax = 4;

using Terms = std::vector<QString>; // sorted, no repeats

// Characters as LIKE sees them: code points up to the first NUL, ASCII letters in lower case.
std::u32string likeChars(const QString &text);
// A value as NOCASE compares it: ASCII letters in lower case, nothing else changed.
QString nocase(const QString &text);
// False for a text the database does not store as it is: half of a surrogate pair (joined
// with what follows or replaced when stored) or U+FFFE/U+FFFF (read back as U+FFFD); and
// for U+FFFD itself, which is what such stored texts read back as. The index files what it
// reads back, so such a search text is left to the plain statement.
bool readsBackAsTyped(const QString &text);
// A whole value as the term NOCASE equality files it under: nocase() of it, or, for a value
// holding a NUL, of what comes up to the NUL followed by the value's length in bytes.
QString nocaseValue(const QString &value);
// A term is its kind followed by the characters or the value.
QString gramTerm(char16_t kind, const char32_t *chars, size_t n);
QString valueTerm(char16_t kind, const QString &value);

// A term in a form that costs no allocation, for filing many rows at once: a run of up to
// four characters (the first in `a`, the others 21 bits each in `b`), or a value by its
// number in a table of the values met.
struct TermKey
{
    quint64 a = 0, b = 0;
    bool operator==(const TermKey &o) const { return a == o.a && b == o.b; }
};

struct TermKeyHash
{
    size_t operator()(const TermKey &k) const { return std::hash<quint64>()(k.a * 0x9e3779b97f4a7c15ULL ^ k.b); }
};

class Values
{
public:
    quint64 number(const QString &value)
    {
        auto [it, added] = m_numbers.try_emplace(value, quint64(m_values.size()));
        if (added)
            m_values << value;
        return it->second;
    }
    const QString &value(quint64 number) const { return m_values.at(qsizetype(number)); }

private:
    // Values are short and few; a plain FNV hash is all they need.
    struct Hash
    {
        size_t operator()(const QString &s) const
        {
            size_t h = 14695981039346656037ULL;
            for (QChar ch : s)
                h = (h ^ ch.unicode()) * 1099511628211ULL;
            return h;
        }
    };
    std::unordered_map<QString, quint64, Hash> m_numbers;
    QStringList m_values;
};

// Every run of one to four characters of a text, as keys of the given kind.
void gramKeys(std::vector<TermKey> &out, char16_t kind, const QString &text);
// A whole value (nothing for an empty one), as NOCASE compares it.
void valueKey(std::vector<TermKey> &out, char16_t kind, const QString &value, Values &values);
// A value as it is, letter case kept (a date, say).
void exactValueKey(std::vector<TermKey> &out, char16_t kind, const QString &value, Values &values);
// A term that is its kind alone (a mark such as "out").
inline void markKey(std::vector<TermKey> &out, char16_t kind) { out.push_back({kind, 0}); }

QString termOf(const TermKey &k, const Values &values);
// The terms of some keys, sorted, without repeats.
Terms termsOf(const std::vector<TermKey> &keys, const Values &values);
bool has(const Terms &terms, const QString &term);

// The terms a part of a text is looked up by: itself when it is short enough, else its runs
// of four (the rows found then still have to be checked). Nothing when LIKE would see no
// characters in it.
struct PartTerms
{
    Terms terms;
    bool longer = false;
};
PartTerms partTerms(char16_t kind, const QString &part);

} // namespace db::index
