#pragma once
#include <QMutexLocker>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <vector>

#include "data/search/idset.h"
#include "data/search/indexterms.h"
#include "data/store/result.h"

namespace db {
class Connection;
}

// A search index kept beside a table. Every row the index files is filed under terms (see
// data/indexterms.h). The file keeps, per term and per block of 65536 row numbers, a
// compressed bitmap of the rows under it, as of a snapshot; triggers on the table log every
// later change (with the values before it) whatever writes the table. A search combines the
// bitmaps of its terms in memory, with the logged changes applied, so a count and any page
// cost no more than a few bitmap operations. Enough logged changes are folded into the
// stored bitmaps by the next search that can write.
//
// The disc index (data/search/discindex.h) and the customer index (data/search/customerindex.h) are two
// layouts of it.
namespace db::index {

// Where an index lives and how it reads a row.
struct Layout
{
    const char *table;        // the table indexed
    const char *filed;        // the rows filed at all, e.g. "t13 IS NOT NULL"
    const char *stateTable;   // (id = 1, token, snapshot_seq)
    const char *bitsTable;    // (term, block, bits)
    const char *changesTable; // (seq, id, old values...), written by the table's triggers
    // The columns after the id that make a row's terms, with a prefix ("t.", "old_" or "");
    // with "old_" they name the change log's columns. `server`: as a server shop reads them.
    QString (*columns)(const QString &prefix, bool server);
    // The terms of a row selected as its id and then columns() (repeats possible).
    void (*termKeys)(const QSqlQuery &q, std::vector<TermKey> &out, Values &values);
    const char *damaged;      // what a failure says when the stored index cannot be read
};

// The state table and the stored bitmaps, built from the rows already in the table. The
// change log and the triggers are the layout's own.
//
// On a server shop the log's order must be the order its changes were committed in: every
// writer of an indexed table holds the shop's write lock (kServerWriteLock) from its first
// change to its commit, so a reader's snapshot holds every change up to its last one. A
// search reads the bitmaps, the log and the table in one REPEATABLE READ snapshot, and folds
// the log in only when it gets the write lock at once.
Status CreateIndex(Connection &c, const Layout &l);
// Rebuilds the stored bitmaps from the table and empties the log (after a bulk load).
Status RebuildIndex(Connection &c, const Layout &l);
// Folds every logged change into the stored bitmaps now.
Status CompactIndex(Connection &c, const Layout &l);
// Reads the whole table and the stored index without writing: every stored bitmap must
// hold exactly the rows filed under its term at the snapshot (a row changed since then
// counts with the values its first logged change kept). Appends one line per term and
// block that differs, naming `index` and the rows; fails only when it cannot read.
Status CheckIndex(Connection &c, const Layout &l, const QString &index, QStringList &out);
// Logged changes that make a search fold them in (when it can write); tests lower it.
void SetCompactAt(qint64 changes);
// Drops what the program holds in memory of every index, so the next search starts from the shop.
void ForgetMemory();

// What a search asks of an index.
struct Search
{
    Terms all;   // rows filed under every one of these; never empty
    Terms none;  // and under none of these
    // Parts longer than the terms: the rows found are checked against the plain statement.
    bool verify = false;
    QString where;
    QVariantList binds;

    QString key() const;
};

struct FileMemory;

// One moment of one index: holds the index's lock and a read transaction, with the memory
// brought up to the last logged change. Sets and terms it gives stay valid while it lives.
class Reader
{
public:
    Reader(Connection &c, const Layout &l);
    ~Reader();
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    const Status &status() const { return m_status; }
    // The rows the search selects.
    Result<IdSet> find(const Search &s);
    // The rows under one term (loaded when needed; empty for a term nothing is under).
    Result<const IdSet *> term(const QString &term);
    // Loads the terms not in memory yet; a server is asked for them all in one statement
    // (a search that needs many, such as the customers' months, would wait for each).
    Status preload(const Terms &terms);

private:
    Connection &m_conn;
    const Layout &m_layout;
    QMutexLocker<QMutex> m_lock;
    FileMemory *m_memory = nullptr;
    Status m_status;
    bool m_ownTransaction = false;
};

} // namespace db::index
