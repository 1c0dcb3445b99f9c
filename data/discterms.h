#pragma once
#include <QSqlQuery>
#include <QString>
#include <QStringList>

#include <string>
#include <unordered_map>
#include <vector>

// What the disc index files a disc under (see data/discindex.h), in one place, so that filing
// many discs at once, filing one changed disc and looking a filter up always agree.
namespace db::index {

// Kinds of terms; a term is its kind followed by the characters or the value.
constexpr char16_t kTitle = u'T', kStarring = u'S', kDirector = u'D', kMedia = u'M', kCategory = u'C',
                   kCountry = u'N', kOut = u'O';
constexpr int kGramMax = 3; // longer parts are looked up by their three-character runs

using Terms = std::vector<QString>; // sorted, no repeats

// Characters as LIKE sees them: code points up to the first NUL, ASCII letters in lower case.
std::u32string likeChars(const QString &text);
// A value as NOCASE compares it: ASCII letters in lower case, nothing else changed.
QString nocase(const QString &text);
QString gramTerm(char16_t kind, const char32_t *chars, size_t n);
QString valueTerm(char16_t kind, const QString &value);

// A row of table1 (or its values before a logged change) as the index files it.
struct DiscRow
{
    qint64 id = 0;
    bool disc = false;
    QString title, starring, director; // the texts LIKE reads
    QString media, category, country; // text values only: = never matches another kind
    bool out = false;
};

// The columns that make a DiscRow after the id, with an optional prefix ("t." or "old_").
QString rowColumns(const QString &prefix);
// A DiscRow from a query that selected the id and then rowColumns().
DiscRow readRow(const QSqlQuery &q);

// A term in a form that costs no allocation, for filing many discs at once: a run of up to
// three characters, or a value by its number in a table of the values met.
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

// The terms a disc is filed under, as keys (repeats possible).
void termKeys(const DiscRow &r, std::vector<TermKey> &out, Values &values);
QString termOf(const TermKey &k, const Values &values);
// The terms a disc is filed under.
Terms termsOf(const DiscRow &r);
bool has(const Terms &terms, const QString &term);

} // namespace db::index
