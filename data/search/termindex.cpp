#include "data/search/termindex.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSqlError>

#include <roaring/roaring.hh>

#include <algorithm>
#include <exception>
#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

#include "data/store/connection.h"
#include "data/store/formatting.h"

namespace db::index {

constexpr int kBlockShift = 16; // row numbers per stored bitmap: 65536
constexpr size_t kMemoryCap = size_t(96) << 20;
constexpr size_t kMemos = 8;

// What the program holds of one index of one file: the bitmaps of the terms searched lately,
// up to date with the log at `seq`.
struct FileMemory
{
    struct Loaded
    {
        IdSet set;
        size_t bytes = 0;
        quint64 used = 0;
    };
    struct Memo
    {
        QString key;
        IdSet set;
    };
    QString token;
    qint64 seq = -1;
    qint64 snapshot = 0;
    // Rows changed since the stored snapshot, with their terms now: a term loaded from the
    // file is corrected by them.
    std::unordered_map<qint64, Terms> recent;
    // Node-based, so a set handed out stays where it is while others are loaded.
    std::unordered_map<QString, Loaded> terms;
    size_t bytes = 0;
    quint64 clock = 0;
    std::vector<Memo> memos; // results of recent searches at `seq`
    quint64 used = 0;
};

namespace {

qint64 g_compactAt = 1000;
QMutex g_mutex;
QHash<QString, FileMemory> g_files;
quint64 g_fileClock = 0;

QString sql(const char *text, const Layout &l)
{
    return QString::fromLatin1(text)
        .replace(QLatin1String("$table"), QLatin1String(l.table))
        .replace(QLatin1String("$filed"), QLatin1String(l.filed))
        .replace(QLatin1String("$state"), QLatin1String(l.stateTable))
        .replace(QLatin1String("$bits"), QLatin1String(l.bitsTable))
        .replace(QLatin1String("$changes"), QLatin1String(l.changesTable));
}

Status damaged(const Layout &l)
{
    return Status::failure(QString::fromUtf8(l.damaged));
}

QByteArray serialized(Roaring &r)
{
    r.runOptimize();
    QByteArray bytes(qsizetype(r.getSizeInBytes(true)), Qt::Uninitialized);
    r.write(bytes.data(), true);
    return bytes;
}

Result<Roaring> deserialized(const QByteArray &bytes, const Layout &l)
{
    try {
        return Roaring::readSafe(bytes.constData(), size_t(bytes.size()));
    } catch (const std::exception &) {
        return damaged(l);
    }
}

Terms rowTerms(const QSqlQuery &q, const Layout &l)
{
    std::vector<TermKey> keys;
    Values values;
    l.termKeys(q, keys, values);
    return termsOf(keys, values);
}

// Where the log and the stored bitmaps stand.
struct IndexState
{
    QString token;       // tells one file's index from another's
    qint64 snapshot = 0; // the last logged change the stored bitmaps include
    qint64 seq = 0;      // the last logged change
};

Result<IndexState> readState(Connection &c, const Layout &l)
{
    // The server's log numbers come from a sequence, which does not roll back: the last number
    // is the highest one the snapshot sees (the log is never emptied past snapshot_seq).
    auto q = c.run(sql(c.pick("SELECT token, snapshot_seq, (SELECT seq FROM sqlite_sequence WHERE name = '$changes') "
                              "FROM $state WHERE id = 1",
                              "SELECT token, snapshot_seq, coalesce((SELECT max(seq) FROM $changes), snapshot_seq) "
                              "FROM $state WHERE id = 1").toUtf8().constData(),
                       l));
    if (!q)
        return q.status();
    if (!q.value().next())
        return damaged(l);
    IndexState s;
    s.token = q.value().value(0).toString();
    s.snapshot = q.value().value(1).toLongLong();
    s.seq = q.value().value(2).toLongLong();
    return s;
}

FileMemory &memoryFor(const Layout &l, const QString &path)
{
    QString key = QFileInfo(path).canonicalFilePath();
    if (key.isEmpty())
        key = path;
    key = QLatin1String(l.bitsTable) + QLatin1Char('\n') + key;
    // A few files at most: the real data, the demonstration data, the odd copy; two indexes each.
    if (!g_files.contains(key) && g_files.size() >= 8) {
        auto oldest = g_files.begin();
        for (auto it = g_files.begin(); it != g_files.end(); ++it) {
            if (it->used < oldest->used)
                oldest = it;
        }
        g_files.erase(oldest);
    }
    FileMemory &m = g_files[key];
    m.used = ++g_fileClock;
    return m;
}

// Brings the loaded terms up to the log's last change.
Status sync(Connection &c, const Layout &l, FileMemory &m, const IndexState &s)
{
    if (m.token != s.token || s.seq < m.seq || s.snapshot > m.seq || s.snapshot < m.snapshot) {
        // Another file, or changes folded in that this memory has not seen: start afresh.
        m = FileMemory{};
        m.token = s.token;
        m.seq = s.snapshot;
        m.snapshot = s.snapshot;
    }
    m.snapshot = s.snapshot;
    if (s.seq == m.seq)
        return {};
    auto q = c.run(sql("SELECT d.id, %1 FROM (SELECT DISTINCT id FROM $changes WHERE seq > ?) d "
                       "LEFT JOIN $table t ON t.id = d.id",
                       l)
                       .arg(l.columns(QStringLiteral("t."), c.onServer())),
                   {m.seq});
    if (!q)
        return q.status();
    while (q.value().next()) {
        const qint64 id = q.value().value(0).toLongLong();
        Terms now = rowTerms(q.value(), l);
        for (auto &[term, loaded] : m.terms)
            loaded.set.set(id, has(now, term));
        m.recent[id] = std::move(now);
    }
    m.seq = s.seq;
    m.memos.clear();
    return {};
}

Result<IdSet> storedTerm(Connection &c, const Layout &l, const QString &term)
{
    // A server's texts hold no NUL, so no term filed from them does (nor can a statement carry one).
    if (c.onServer() && term.contains(QChar(0)))
        return IdSet();
    auto q = c.run(sql("SELECT block, bits FROM $bits WHERE term = ?", l), {term});
    if (!q)
        return q.status();
    IdSet set;
    while (q.value().next()) {
        auto low = deserialized(q.value().value(1).toByteArray(), l);
        if (!low)
            return low.status();
        set.merge(quint32(quint64(q.value().value(0).toLongLong()) >> (32 - kBlockShift)), low.value());
    }
    return set;
}

// Makes room for the terms a search needs by dropping those searched longest ago.
void evict(FileMemory &m, const Terms &keep)
{
    while (m.bytes > kMemoryCap) {
        auto oldest = m.terms.end();
        for (auto it = m.terms.begin(); it != m.terms.end(); ++it) {
            if (!has(keep, it->first) && (oldest == m.terms.end() || it->second.used < oldest->second.used))
                oldest = it;
        }
        if (oldest == m.terms.end())
            return;
        m.bytes -= oldest->second.bytes;
        m.terms.erase(oldest);
    }
}

Result<const IdSet *> load(Connection &c, const Layout &l, FileMemory &m, const QString &term)
{
    if (auto it = m.terms.find(term); it != m.terms.end()) {
        it->second.used = ++m.clock;
        return &it->second.set;
    }
    auto set = storedTerm(c, l, term);
    if (!set)
        return set.status();
    for (const auto &[id, terms] : m.recent)
        set.value().set(id, has(terms, term));
    FileMemory::Loaded entry{std::move(set.value()), 0, ++m.clock};
    entry.bytes = entry.set.bytes();
    m.bytes += entry.bytes;
    auto [it, added] = m.terms.emplace(term, std::move(entry));
    return &it->second.set;
}

// Writes new stored bitmaps. A server is sent many a statement: one round trip each would
// dominate filing a large shop.
class BitsWriter
{
public:
    // upsert: rows that may be stored already are replaced.
    BitsWriter(Connection &c, const Layout &l, bool upsert = false)
        : m_conn(c), m_layout(l), m_full(c.query()), m_rest(c.query()), m_per(c.onServer() ? 500 : 1), m_upsert(upsert)
    {
    }
    Status prepare() { return prepared(m_full, m_per); }
    Status add(const QString &term, qint64 block, const QByteArray &bits)
    {
        m_values << term << block << bits;
        return ++m_pending == m_per ? flush() : Status();
    }
    Status flush()
    {
        if (m_pending == 0)
            return {};
        QSqlQuery *q = &m_full;
        if (m_pending < m_per) {
            if (Status s = prepared(m_rest, m_pending); !s)
                return s;
            q = &m_rest;
        }
        for (qsizetype i = 0; i < m_values.size(); ++i)
            q->bindValue(int(i), m_values[i]);
        m_values.clear();
        m_pending = 0;
        return m_conn.execPrepared(*q);
    }

private:
    Status prepared(QSqlQuery &q, int rows)
    {
        QStringList marks;
        for (int i = 0; i < rows; ++i)
            marks << QStringLiteral("(?, ?, ?)");
        QString text = sql("INSERT INTO $bits (term, block, bits) VALUES ", m_layout) + marks.join(QLatin1Char(','));
        if (m_upsert)
            text += QStringLiteral(" ON CONFLICT (term, block) DO UPDATE SET bits = excluded.bits");
        if (!q.prepare(text))
            return m_conn.failure(q.lastError());
        return {};
    }
    Connection &m_conn;
    const Layout &m_layout;
    QSqlQuery m_full, m_rest;
    int m_per;
    bool m_upsert;
    int m_pending = 0;
    QVariantList m_values;
};

// Terms as an array literal for a server statement: {"a","b"}.
QString textArray(std::vector<QString>::const_iterator begin, std::vector<QString>::const_iterator end)
{
    QString out = QStringLiteral("{");
    for (auto it = begin; it != end; ++it) {
        if (it != begin)
            out += QLatin1Char(',');
        out += QLatin1Char('"');
        for (QChar ch : *it) {
            if (ch == QLatin1Char('"') || ch == QLatin1Char('\\'))
                out += QLatin1Char('\\');
            out += ch;
        }
        out += QLatin1Char('"');
    }
    return out + QLatin1Char('}');
}

using Edits = std::map<std::pair<QString, qint64>, std::vector<std::pair<quint32, bool>>>;

// The edits written to a server a block and many terms a statement: a long log (an import)
// would otherwise cost two round trips per term and block.
Status writeEditsToServer(Connection &c, const Layout &l, const Edits &edits)
{
    constexpr size_t kTermsPerRead = 1000;
    std::map<qint64, std::vector<const Edits::value_type *>> byBlock;
    for (const auto &e : edits)
        byBlock[e.first.second].push_back(&e);
    BitsWriter write(c, l, true);
    if (Status s = write.prepare(); !s)
        return s;
    for (const auto &[block, entries] : byBlock) {
        std::vector<QString> terms, emptied;
        for (const auto *e : entries)
            terms.push_back(e->first.first);
        std::unordered_map<QString, Roaring> stored;
        for (size_t from = 0; from < terms.size(); from += kTermsPerRead) {
            const auto to = terms.begin() + qsizetype(std::min(terms.size(), from + kTermsPerRead));
            auto q = c.run(sql("SELECT term, bits FROM $bits WHERE block = ? AND term = ANY (CAST(? AS text[]))", l),
                           {block, textArray(terms.begin() + qsizetype(from), to)});
            if (!q)
                return q.status();
            while (q.value().next()) {
                auto read = deserialized(q.value().value(1).toByteArray(), l);
                if (!read)
                    return read.status();
                stored.emplace(q.value().value(0).toString(), std::move(read.value()));
            }
        }
        for (const auto *e : entries) {
            Roaring &bits = stored[e->first.first];
            for (const auto &[low, add] : e->second)
                add ? bits.add(low) : bits.remove(low);
            if (bits.isEmpty()) {
                emptied.push_back(e->first.first);
            } else if (Status s = write.add(e->first.first, block, serialized(bits)); !s) {
                return s;
            }
        }
        for (size_t from = 0; from < emptied.size(); from += kTermsPerRead) {
            const auto to = emptied.begin() + qsizetype(std::min(emptied.size(), from + kTermsPerRead));
            if (Status s = c.exec(sql("DELETE FROM $bits WHERE block = ? AND term = ANY (CAST(? AS text[]))", l),
                                  {block, textArray(emptied.begin() + qsizetype(from), to)});
                !s)
                return s;
        }
    }
    return write.flush();
}

// Folds the log into the stored bitmaps. Runs inside a write transaction, after sync.
Status compact(Connection &c, const Layout &l, FileMemory &m)
{
    // The first logged values of each row are what the stored bitmaps hold for it.
    auto log = c.run(sql("SELECT id, %1 FROM $changes ORDER BY seq", l).arg(l.columns(QStringLiteral("old_"), c.onServer())));
    if (!log)
        return log.status();
    std::unordered_map<qint64, Terms> before;
    while (log.value().next()) {
        const qint64 id = log.value().value(0).toLongLong();
        if (!before.contains(id))
            before.emplace(id, rowTerms(log.value(), l));
    }
    log.value().finish();

    Edits edits;
    for (const auto &[id, old] : before) {
        auto now = m.recent.find(id);
        if (now == m.recent.end())
            return damaged(l);
        const quint64 key = IdSet::keyOf(id);
        const qint64 block = qint64(key >> kBlockShift);
        Terms gone, added;
        std::set_difference(old.begin(), old.end(), now->second.begin(), now->second.end(), std::back_inserter(gone));
        std::set_difference(now->second.begin(), now->second.end(), old.begin(), old.end(), std::back_inserter(added));
        for (const QString &t : gone)
            edits[{t, block}].push_back({quint32(key), false});
        for (const QString &t : added)
            edits[{t, block}].push_back({quint32(key), true});
    }
    if (c.onServer()) {
        if (Status s = writeEditsToServer(c, l, edits); !s)
            return s;
        edits.clear();
    }
    for (const auto &[where, changes] : edits) {
        auto stored = c.scalar(sql("SELECT bits FROM $bits WHERE term = ? AND block = ?", l), {where.first, where.second});
        if (!stored)
            return stored.status();
        Roaring bits;
        if (!stored->isNull()) {
            auto read = deserialized(stored->toByteArray(), l);
            if (!read)
                return read.status();
            bits = std::move(read.value());
        }
        for (const auto &[low, add] : changes)
            add ? bits.add(low) : bits.remove(low);
        Status s = bits.isEmpty()
                       ? c.exec(sql("DELETE FROM $bits WHERE term = ? AND block = ?", l), {where.first, where.second})
                       : c.exec(sql("INSERT INTO $bits (term, block, bits) VALUES (?, ?, ?) "
                                    "ON CONFLICT (term, block) DO UPDATE SET bits = excluded.bits",
                                    l),
                                {where.first, where.second, serialized(bits)});
        if (!s)
            return s;
    }
    if (Status s = c.exec(sql("UPDATE $state SET snapshot_seq = ? WHERE id = 1", l), {m.seq}); !s)
        return s;
    return c.exec(sql("DELETE FROM $changes WHERE seq <= ?", l), {m.seq});
}

// Folds the log in when it has grown long and the file can be written; a search goes on
// without it otherwise.
void compactIfDue(Connection &c, const Layout &l, FileMemory &m, bool force, Status *failure = nullptr)
{
    // Inside a caller's transaction the fold would stand or fall with the caller's writes.
    if (c.inTransaction())
        return;
    auto state = readState(c, l);
    if (!state || (!force && state->seq - state->snapshot < g_compactAt) || state->seq == state->snapshot)
        return;
    // A search does not wait for another counter's write: the log is folded another time.
    Transaction tx(c, Transaction::Wait::No);
    if (!tx.ok()) {
        if (failure && c.onServer())
            *failure = tx.status();
        return;
    }
    Status s = [&]() -> Status {
        auto now = readState(c, l);
        if (!now)
            return now.status();
        if (Status s = sync(c, l, m, now.value()); !s)
            return s;
        return compact(c, l, m);
    }();
    if (s)
        s = tx.commit();
    if (!s) {
        // The memory may have been brought further than the file now says; start afresh.
        m = FileMemory{};
        if (failure)
            *failure = s;
        return;
    }
    m.recent.clear();
    m.snapshot = m.seq;
}

using BlockBits = std::unordered_map<TermKey, Roaring, TermKeyHash>;

// Files every filed row (but those `skip` names) into the bitmaps of its block of numbers,
// in the order of the numbers, and hands each block to `done`. The rows are read a batch at
// a time and each batch to its end before `done` runs: a server connection drops the rest of
// a query still being read when another statement runs on it.
Status scanFiled(Connection &c, const Layout &l, const std::function<bool(qint64 id)> &skip,
                 const std::function<Status(qint64 block, BlockBits &bits, const Values &values)> &done)
{
    constexpr int kBatch = 50000;
    const QString read = sql("SELECT id, %1 FROM $table WHERE $filed AND id > ? ORDER BY id LIMIT %2", l)
                             .arg(l.columns(QString(), c.onServer()))
                             .arg(kBatch);
    Values values;
    std::vector<TermKey> keys;
    std::optional<qint64> current;
    BlockBits block;
    std::vector<std::pair<qint64, BlockBits>> finished;
    qint64 after = std::numeric_limits<qint64>::min();
    for (;;) {
        auto rows = c.run(read, {after});
        if (!rows)
            return rows.status();
        QSqlQuery &q = rows.value();
        int n = 0;
        while (q.next()) {
            ++n;
            const qint64 id = q.value(0).toLongLong();
            after = id;
            if (skip && skip(id))
                continue;
            const quint64 key = IdSet::keyOf(id);
            const qint64 b = qint64(key >> kBlockShift);
            if (current != b) {
                if (current)
                    finished.emplace_back(*current, std::move(block));
                block = BlockBits();
                current = b;
            }
            keys.clear();
            l.termKeys(q, keys, values);
            for (const TermKey &t : keys)
                block[t].add(quint32(key));
        }
        if (q.lastError().isValid())
            return c.failure(q.lastError());
        q.finish();
        if (n < kBatch && current) {
            finished.emplace_back(*current, std::move(block));
            current.reset();
        }
        for (auto &[b, bits] : finished) {
            if (Status s = done(b, bits, values); !s)
                return s;
        }
        finished.clear();
        if (n < kBatch)
            return {};
    }
}

// Reads every filed row into the stored bitmaps, one block of numbers at a time.
Status buildBitmaps(Connection &c, const Layout &l)
{
    if (Status s = c.exec(sql("DELETE FROM $bits", l)); !s)
        return s;
    BitsWriter insert(c, l);
    if (Status s = insert.prepare(); !s)
        return s;
    Status s = scanFiled(c, l, {}, [&](qint64 block, BlockBits &bits, const Values &values) -> Status {
        for (auto &[k, set] : bits) {
            if (Status s = insert.add(termOf(k, values), block, serialized(set)); !s)
                return s;
        }
        return {};
    });
    if (!s)
        return s;
    return insert.flush();
}

} // namespace

QString Search::key() const
{
    QString k = QStringList(all.begin(), all.end()).join(QChar(0x1f)) + QChar(0x1e)
                + QStringList(none.begin(), none.end()).join(QChar(0x1f));
    if (verify) {
        // What the rows were checked against is part of the result: different parts can
        // share their runs of four ("abcdabc" and "abcdabcd").
        k += QChar(0x1e) + where;
        for (const QVariant &b : binds)
            k += QChar(0x1f) + b.toString();
    }
    return k;
}

Status CreateIndex(Connection &c, const Layout &l)
{
    if (c.onServer()) {
        for (const char *text : {
                 "CREATE TABLE $state (id integer PRIMARY KEY CHECK (id = 1), token text NOT NULL, "
                 "snapshot_seq bigint NOT NULL)",
                 "INSERT INTO $state (id, token, snapshot_seq) "
                 "VALUES (1, substr(md5(random()::text || clock_timestamp()::text), 1, 16), 0)",
                 "CREATE TABLE $bits (term text COLLATE \"C\" NOT NULL, block bigint NOT NULL, bits bytea NOT NULL, "
                 "PRIMARY KEY (term, block))",
                 // The bitmaps are compressed already: stored as they are, not compressed again.
                 "ALTER TABLE $bits ALTER COLUMN bits SET STORAGE EXTERNAL",
             }) {
            if (Status s = c.exec(sql(text, l)); !s)
                return s;
        }
        return buildBitmaps(c, l);
    }
    for (const char *text : {
             // Which index this is (a copied file keeps it), and how far the stored bitmaps go.
             "CREATE TABLE $state (id INTEGER PRIMARY KEY CHECK (id = 1), token TEXT NOT NULL, "
             "snapshot_seq INTEGER NOT NULL)",
             "INSERT INTO $state (id, token, snapshot_seq) VALUES (1, lower(hex(randomblob(8))), 0)",
             // Per term and block of 65536 numbers: the rows under the term, a compressed bitmap.
             "CREATE TABLE $bits (term TEXT NOT NULL, block INTEGER NOT NULL, bits BLOB NOT NULL, "
             "PRIMARY KEY (term, block)) WITHOUT ROWID",
         }) {
        if (Status s = c.exec(sql(text, l)); !s)
            return s;
    }
    return buildBitmaps(c, l);
}

Status RebuildIndex(Connection &c, const Layout &l)
{
    if (c.onServer() && !c.inTransaction()) {
        // A savepoint needs a transaction there; this one also keeps other counters' writes out.
        Transaction tx(c);
        if (!tx.ok())
            return tx.status();
        if (Status s = RebuildIndex(c, l); !s)
            return s;
        return tx.commit();
    }
    // A savepoint: one transaction of its own, or a part of the caller's.
    if (Status s = c.exec(QStringLiteral("SAVEPOINT index_rebuild")); !s)
        return s;
    Status s = [&]() -> Status {
        if (Status s = buildBitmaps(c, l); !s)
            return s;
        auto state = readState(c, l);
        if (!state)
            return state.status();
        if (Status s = c.exec(sql("UPDATE $state SET snapshot_seq = ? WHERE id = 1", l), {state->seq}); !s)
            return s;
        return c.exec(sql("DELETE FROM $changes", l));
    }();
    if (!s)
        c.exec(QStringLiteral("ROLLBACK TO index_rebuild"));
    c.exec(QStringLiteral("RELEASE index_rebuild"));
    return s;
}

Status CompactIndex(Connection &c, const Layout &l)
{
    QMutexLocker lock(&g_mutex);
    FileMemory &m = memoryFor(l, c.path());
    Status failure;
    compactIfDue(c, l, m, true, &failure);
    return failure;
}

namespace {

// At most this many lines per index; a rebuilt-from-scratch mismatch would name every term.
constexpr int kMaxCheckLines = 200;

QString someIds(const Roaring &bits, qint64 block)
{
    constexpr int kShown = 5;
    const quint64 high = (quint64(block) >> (32 - kBlockShift)) << 32;
    QStringList ids;
    for (auto it = bits.begin(); it != bits.end() && ids.size() < kShown; ++it)
        ids << FormatRecordNumber(IdSet::idOf(high | *it));
    QString text = ids.join(QStringLiteral("、"));
    if (bits.cardinality() > quint64(kShown))
        text += QStringLiteral("等");
    return text;
}

} // namespace

namespace {
Status checkIndex(Connection &c, const Layout &l, const QString &index, QStringList &out);
} // namespace

Status CheckIndex(Connection &c, const Layout &l, const QString &index, QStringList &out)
{
    // A server shop is read in one snapshot, so another counter's write cannot look like a breach.
    const bool snapshot = c.onServer() && !c.inTransaction()
        && c.exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY")).ok();
    Status s = checkIndex(c, l, index, out);
    if (snapshot)
        c.exec(QStringLiteral("COMMIT"));
    return s;
}

namespace {

Status checkIndex(Connection &c, const Layout &l, const QString &index, QStringList &out)
{
    int lines = 0;
    qint64 more = 0;
    auto report = [&](const QString &line) {
        if (lines < kMaxCheckLines) {
            out << line;
            ++lines;
        } else {
            ++more;
        }
    };
    auto states = c.scalar(sql("SELECT count(*) FROM $state WHERE id = 1", l));
    if (!states)
        return states.status();
    if (states->toLongLong() != 1) {
        report(QStringLiteral("%1缺少它的状态行（%2）。").arg(index, QLatin1String(l.stateTable)));
        return {};
    }
    auto state = readState(c, l);
    if (!state)
        return state.status();
    if (state->snapshot > state->seq)
        report(QStringLiteral("%1的快照记到第 %2 条变更，变更却只到第 %3 条。").arg(index).arg(state->snapshot).arg(state->seq));
    auto stale = c.scalar(sql("SELECT count(*) FROM $changes WHERE seq <= ?", l), {state->snapshot});
    if (!stale)
        return stale.status();
    if (stale->toLongLong() > 0)
        report(QStringLiteral("%1有 %2 条变更已并入快照（第 %3 条及以前），却仍留在变更记录里。")
                   .arg(index)
                   .arg(stale->toLongLong())
                   .arg(state->snapshot));

    // A row changed since the snapshot is in the stored bitmaps with its first logged values.
    std::unordered_map<qint64, Terms> logged;
    auto log = c.run(sql("SELECT id, %1 FROM $changes WHERE seq > ? ORDER BY seq", l).arg(l.columns(QStringLiteral("old_"), c.onServer())),
                     {state->snapshot});
    if (!log)
        return log.status();
    while (log.value().next()) {
        const qint64 id = log.value().value(0).toLongLong();
        if (!logged.contains(id))
            logged.emplace(id, rowTerms(log.value(), l));
    }
    log.value().finish();
    std::map<qint64, std::vector<std::pair<quint32, const Terms *>>> loggedByBlock;
    for (const auto &[id, terms] : logged) {
        const quint64 key = IdSet::keyOf(id);
        loggedByBlock[qint64(key >> kBlockShift)].push_back({quint32(key), &terms});
    }
    std::set<qint64> blocks;
    auto stored = c.run(sql("SELECT DISTINCT block FROM $bits", l));
    if (!stored)
        return stored.status();
    while (stored.value().next())
        blocks.insert(stored.value().value(0).toLongLong());
    stored.value().finish();

    std::set<qint64> compared;
    auto compareBlock = [&](qint64 block, std::map<QString, Roaring> &expected) -> Status {
        compared.insert(block);
        if (auto it = loggedByBlock.find(block); it != loggedByBlock.end()) {
            for (const auto &[low, terms] : it->second) {
                for (const QString &t : *terms)
                    expected[t].add(low);
            }
        }
        auto q = c.run(sql("SELECT term, bits FROM $bits WHERE block = ?", l), {block});
        if (!q)
            return q.status();
        std::map<QString, Roaring> kept;
        while (q.value().next()) {
            const QString term = q.value().value(0).toString();
            auto bits = deserialized(q.value().value(1).toByteArray(), l);
            if (!bits) {
                report(QStringLiteral("%1中检索项“%2”的位图无法读取。").arg(index, term));
                expected.erase(term);
                continue;
            }
            kept.emplace(term, std::move(bits.value()));
        }
        std::set<QString> terms;
        for (const auto &[t, bits] : expected)
            terms.insert(t);
        for (const auto &[t, bits] : kept)
            terms.insert(t);
        const Roaring none;
        for (const QString &t : terms) {
            const auto want = expected.find(t);
            const auto have = kept.find(t);
            const Roaring &w = want == expected.end() ? none : want->second;
            const Roaring &h = have == kept.end() ? none : have->second;
            if (w == h)
                continue;
            const Roaring missing = w - h, extra = h - w;
            QStringList parts;
            if (!missing.isEmpty())
                parts << QStringLiteral("漏记 %1 行：%2").arg(missing.cardinality()).arg(someIds(missing, block));
            if (!extra.isEmpty())
                parts << QStringLiteral("多记 %1 行：%2").arg(extra.cardinality()).arg(someIds(extra, block));
            report(QStringLiteral("%1中检索项“%2”与 %3 不符，%4。")
                       .arg(index, t, QLatin1String(l.table), parts.join(QStringLiteral("，"))));
        }
        return {};
    };

    // The rows as they are now, one block of numbers at a time, as the bitmaps are built.
    Status scanned = scanFiled(c, l, [&](qint64 id) { return logged.contains(id); },
                               [&](qint64 block, BlockBits &bits, const Values &values) {
                                   std::map<QString, Roaring> expected;
                                   for (auto &[k, set] : bits)
                                       expected.emplace(termOf(k, values), std::move(set));
                                   return compareBlock(block, expected);
                               });
    if (!scanned)
        return scanned;
    for (const auto &[b, entries] : loggedByBlock)
        blocks.insert(b);
    for (qint64 b : blocks) {
        if (compared.contains(b))
            continue;
        std::map<QString, Roaring> expected;
        if (Status s = compareBlock(b, expected); !s)
            return s;
    }
    if (more > 0)
        out << QStringLiteral("……%1另有 %2 处同类问题。").arg(index).arg(more);
    return {};
}

} // namespace

void SetCompactAt(qint64 changes)
{
    QMutexLocker lock(&g_mutex);
    g_compactAt = std::max<qint64>(1, changes);
}

void ForgetMemory()
{
    QMutexLocker lock(&g_mutex);
    g_files.clear();
}

Reader::Reader(Connection &c, const Layout &l) : m_conn(c), m_layout(l), m_lock(&g_mutex)
{
    m_memory = &memoryFor(l, c.path());
    compactIfDue(c, l, *m_memory, false);
    // One read transaction, so the log, the bitmaps and the rows are seen as of one moment.
    // On a server that takes REPEATABLE READ (one snapshot for every statement); inside a
    // caller's transaction, which holds the write lock, nothing else changes them meanwhile.
    if (!c.onServer())
        m_ownTransaction = c.exec(QStringLiteral("BEGIN")).ok();
    else if (!c.inTransaction())
        m_ownTransaction = c.exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY")).ok();
    auto state = readState(c, l);
    if (!state) {
        m_status = state.status();
        return;
    }
    m_status = sync(c, l, *m_memory, state.value());
}

Reader::~Reader()
{
    if (m_ownTransaction)
        m_conn.exec(QStringLiteral("COMMIT"));
    if (!m_status)
        *m_memory = FileMemory{}; // whatever was half-read is not trusted next time
}

Result<IdSet> Reader::find(const Search &s)
{
    if (!m_status)
        return m_status;
    FileMemory &m = *m_memory;
    const QString key = s.key();
    for (const FileMemory::Memo &memo : m.memos) {
        if (memo.key == key)
            return memo.set;
    }
    Terms needed = s.all;
    needed.insert(needed.end(), s.none.begin(), s.none.end());
    std::sort(needed.begin(), needed.end());
    evict(m, needed);
    std::vector<const IdSet *> all, none;
    for (const Terms *terms : {&s.all, &s.none}) {
        for (const QString &t : *terms) {
            auto set = load(m_conn, m_layout, m, t);
            if (!set) {
                m_status = set.status();
                return m_status;
            }
            (terms == &s.all ? all : none).push_back(set.value());
        }
    }
    if (all.empty())
        return IdSet();
    // Smallest first: every later step can only shrink it.
    std::sort(all.begin(), all.end(), [](const IdSet *a, const IdSet *b) { return a->count() < b->count(); });
    IdSet result = *all.front();
    for (size_t i = 1; i < all.size(); ++i)
        result.intersect(*all[i]);
    for (const IdSet *set : none)
        result.subtract(*set);
    if (s.verify && result.count() > 0) {
        QByteArray ids = result.json();
        if (m_conn.onServer()) {
            // An array literal: {1,2,3}.
            ids.front() = '{';
            ids.back() = '}';
        }
        QVariantList binds{QString::fromLatin1(ids)};
        binds += s.binds;
        const QString candidates = m_conn.pick("id IN (SELECT value FROM json_each(?))", "id = ANY (CAST(? AS bigint[]))");
        auto q = m_conn.run(sql("SELECT id FROM $table WHERE %1 AND (%2)", m_layout).arg(candidates, s.where), binds);
        if (!q) {
            m_status = q.status();
            return m_status;
        }
        IdSet checked;
        while (q.value().next())
            checked.add(q.value().value(0).toLongLong());
        result = std::move(checked);
    }
    if (m.memos.size() >= kMemos)
        m.memos.erase(m.memos.begin());
    m.memos.push_back({key, result});
    return result;
}

Status Reader::preload(const Terms &terms)
{
    if (!m_status)
        return m_status;
    FileMemory &m = *m_memory;
    std::vector<QString> missing;
    for (const QString &t : terms) {
        if (!m.terms.contains(t) && !(m_conn.onServer() && t.contains(QChar(0))))
            missing.push_back(t);
    }
    if (!m_conn.onServer() || missing.size() < 2)
        return {};
    std::sort(missing.begin(), missing.end());
    missing.erase(std::unique(missing.begin(), missing.end()), missing.end());
    auto q = m_conn.run(sql("SELECT term, block, bits FROM $bits WHERE term = ANY (CAST(? AS text[]))", m_layout),
                        {textArray(missing.cbegin(), missing.cend())});
    if (!q) {
        m_status = q.status();
        return m_status;
    }
    std::unordered_map<QString, IdSet> found;
    for (const QString &t : missing)
        found[t];
    while (q.value().next()) {
        auto low = deserialized(q.value().value(2).toByteArray(), m_layout);
        if (!low) {
            m_status = low.status();
            return m_status;
        }
        found[q.value().value(0).toString()].merge(
            quint32(quint64(q.value().value(1).toLongLong()) >> (32 - kBlockShift)), low.value());
    }
    for (auto &[t, set] : found) {
        for (const auto &[id, rowTerms] : m.recent)
            set.set(id, has(rowTerms, t));
        FileMemory::Loaded entry{std::move(set), 0, ++m.clock};
        entry.bytes = entry.set.bytes();
        m.bytes += entry.bytes;
        m.terms.emplace(t, std::move(entry));
    }
    evict(m, terms);
    return {};
}

Result<const IdSet *> Reader::term(const QString &t)
{
    if (!m_status)
        return m_status;
    auto set = load(m_conn, m_layout, *m_memory, t);
    if (!set)
        m_status = set.status();
    return set;
}

} // namespace db::index
