#pragma once
#include <QString>
#include <QStringList>
#include <QVariantList>

#include "data/store/pagedquery.h"
#include "data/store/result.h"

namespace db {

class Connection;
struct DiscFilter;

// The disc search index. Every disc is filed under terms: each run of one to four
// characters of its title, starring and director (ASCII letters folded to lower case, as
// LIKE compares them), its whole media type, category and country, and "out" while it is
// rented. The file keeps, per term and per block of 65536 disc numbers, a compressed bitmap
// of the discs under it, as of a snapshot; triggers on table1 log every later change
// (with the values before it) whatever writes the table. A search combines the bitmaps of
// its terms in memory, with the logged changes applied, so a count and any page cost no
// more than a few bitmap operations. Enough logged changes are folded into the stored
// bitmaps by the next search that can write.

// The layout step: tables, triggers, and bitmaps built from the discs already stored.
Status CreateDiscIndex(Connection &c);
// Rebuilds the stored bitmaps from table1 and empties the log (after a bulk load).
Status RebuildDiscIndex(Connection &c);

// Whether a filter is answered by the index: no disc number, and at least one text or value.
bool DiscIndexServes(const DiscFilter &f);

// The count and the keys of one page (newest first) of the discs the filter selects.
// `where` and `binds` are the filter's plain statement; searches for parts longer than the
// index's terms check their candidates with it, so the result is always what it selects.
Result<KeyPage> FindDiscs(Connection &c, const DiscFilter &f, const QString &where, const QVariantList &binds,
                          qint64 page, int rowsPerPage);

// Folds every logged change into the stored bitmaps now.
Status CompactDiscIndex(Connection &c);
// Compares the index with table1 without writing; one line per term and block that differs.
Status CheckDiscIndex(Connection &c, QStringList &breaches);
// Logged changes that make a search fold them in (when it can write); tests lower it.
void SetDiscIndexCompactAt(qint64 changes);
// Does, for the file in use, what the first search of a program run would do before its
// own terms: folds in a log that is due, reads the changes logged since the stored
// bitmaps, and loads the discs out (every picker search needs them) and the values of the
// lookup lists' media, categories and countries. Run at the start and after the data
// switch, so the first search costs what a later one does.
Status WarmDiscIndex(const QStringList &valueTerms = {});
// The terms of the media, category and country values given, for WarmDiscIndex.
QStringList DiscValueTerms(const QStringList &media, const QStringList &categories, const QStringList &countries);
// Drops what the program holds in memory, so the next search starts from the file.
void ForgetDiscIndexMemory();

} // namespace db
