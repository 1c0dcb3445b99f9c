#pragma once
#include <QSqlQuery>
#include <QString>

#include <vector>

#include "data/search/indexterms.h"

// What the disc index files a disc under (see data/search/discindex.h), in one place, so that filing
// many discs at once, filing one changed disc and looking a filter up always agree.
namespace db::index {

// Kinds of terms; a term is its kind followed by the characters or the value.
constexpr char16_t kTitle = u'T', kStarring = u'S', kDirector = u'D', kMedia = u'M', kCategory = u'C',
                   kCountry = u'N', kOut = u'O';

// A row of table1 (or its values before a logged change) as the index files it.
struct DiscRow
{
    qint64 id = 0;
    bool disc = false;
    QString title, starring, director; // the texts LIKE reads
    QString media, category, country; // text values only: = never matches another kind
    bool out = false;
};

// The columns that make a DiscRow after the id, with an optional prefix ("t." or "old_"),
// as the file or a server shop reads them.
QString rowColumns(const QString &prefix, bool server);
// A DiscRow from a query that selected the id and then rowColumns().
DiscRow readRow(const QSqlQuery &q);

// The terms a disc is filed under, as keys (repeats possible).
void termKeys(const DiscRow &r, std::vector<TermKey> &out, Values &values);
// The same for a row selected as the id and then rowColumns().
void rowTermKeys(const QSqlQuery &q, std::vector<TermKey> &out, Values &values);
// The terms a disc is filed under.
Terms termsOf(const DiscRow &r);

} // namespace db::index
