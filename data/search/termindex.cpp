#include "data/search/termindex.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSqlError>

#include <roaring/roaring.hh>

#include <algorithm>
#include <exception>
#include <iterator>
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
    auto q = c.run(sql("SELECT token, snapshot_seq, (SELECT seq FROM sqlite_sequence WHERE name = '$changes') "
                       "FROM $state WHERE id = 1",
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
                       .arg(l.columns(QStringLiteral("t."))),
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

// Folds the log into the stored bitmaps. Runs inside a write transaction, after sync.
Status compact(Connection &c, const Layout &l, FileMemory &m)
{
    // The first logged values of each row are what the stored bitmaps hold for it.
    auto log = c.run(sql("SELECT id, %1 FROM $changes ORDER BY seq", l).arg(l.columns(QStringLiteral("old_"))));
    if (!log)
        return log.status();
    std::unordered_map<qint64, Terms> before;
    while (log.value().next()) {
        const qint64 id = log.value().value(0).toLongLong();
        if (!before.contains(id))
            before.emplace(id, rowTerms(log.value(), l));
    }
    log.value().finish();

    std::map<std::pair<QString, qint64>, std::vector<std::pair<quint32, bool>>> edits;
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
                       : c.exec(sql("INSERT OR REPLACE INTO $bits (term, block, bits) VALUES (?, ?, ?)", l),
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
    auto state = readState(c, l);
    if (!state || (!force && state->seq - state->snapshot < g_compactAt) || state->seq == state->snapshot)
        return;
    if (!c.exec(QStringLiteral("BEGIN IMMEDIATE")).ok())
        return;
    Status s = [&]() -> Status {
        auto now = readState(c, l);
        if (!now)
            return now.status();
        if (Status s = sync(c, l, m, now.value()); !s)
            return s;
        return compact(c, l, m);
    }();
    if (s)
        s = c.exec(QStringLiteral("COMMIT"));
    if (!s) {
        c.exec(QStringLiteral("ROLLBACK"));
        // The memory may have been brought further than the file now says; start afresh.
        m = FileMemory{};
        if (failure)
            *failure = s;
        return;
    }
    m.recent.clear();
    m.snapshot = m.seq;
}

// Reads every filed row into the stored bitmaps, one block of numbers at a time.
Status buildBitmaps(Connection &c, const Layout &l)
{
    if (Status s = c.exec(sql("DELETE FROM $bits", l)); !s)
        return s;
    auto rows = c.run(sql("SELECT id, %1 FROM $table WHERE $filed ORDER BY id", l).arg(l.columns(QString())));
    if (!rows)
        return rows.status();
    QSqlQuery insert = c.query();
    if (!insert.prepare(sql("INSERT INTO $bits (term, block, bits) VALUES (?, ?, ?)", l)))
        return c.failure(insert.lastError());
    std::unordered_map<TermKey, Roaring, TermKeyHash> block;
    Values values;
    std::vector<TermKey> keys;
    std::optional<qint64> current;
    auto flush = [&]() -> Status {
        for (auto &[k, bits] : block) {
            insert.addBindValue(termOf(k, values));
            insert.addBindValue(*current);
            insert.addBindValue(serialized(bits));
            if (Status s = c.execPrepared(insert); !s)
                return s;
        }
        block.clear();
        return {};
    };
    QSqlQuery &q = rows.value();
    while (q.next()) {
        const quint64 key = IdSet::keyOf(q.value(0).toLongLong());
        const qint64 b = qint64(key >> kBlockShift);
        if (current != b) {
            if (current) {
                if (Status s = flush(); !s)
                    return s;
            }
            current = b;
        }
        keys.clear();
        l.termKeys(q, keys, values);
        for (const TermKey &t : keys)
            block[t].add(quint32(key));
    }
    if (current)
        return flush();
    return {};
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

Status CheckIndex(Connection &c, const Layout &l, const QString &index, QStringList &out)
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
    auto log = c.run(sql("SELECT id, %1 FROM $changes WHERE seq > ? ORDER BY seq", l).arg(l.columns(QStringLiteral("old_"))),
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
    auto rows = c.run(sql("SELECT id, %1 FROM $table WHERE $filed ORDER BY id", l).arg(l.columns(QString())));
    if (!rows)
        return rows.status();
    std::unordered_map<TermKey, Roaring, TermKeyHash> block;
    Values values;
    std::vector<TermKey> keys;
    std::optional<qint64> current;
    auto flush = [&]() -> Status {
        std::map<QString, Roaring> expected;
        for (auto &[k, bits] : block)
            expected.emplace(termOf(k, values), std::move(bits));
        block.clear();
        return compareBlock(*current, expected);
    };
    QSqlQuery &q = rows.value();
    while (q.next()) {
        const qint64 id = q.value(0).toLongLong();
        if (logged.contains(id))
            continue;
        const quint64 key = IdSet::keyOf(id);
        const qint64 b = qint64(key >> kBlockShift);
        if (current != b) {
            if (current) {
                if (Status s = flush(); !s)
                    return s;
            }
            current = b;
        }
        keys.clear();
        l.termKeys(q, keys, values);
        for (const TermKey &t : keys)
            block[t].add(quint32(key));
    }
    if (current) {
        if (Status s = flush(); !s)
            return s;
    }
    q.finish();
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
    // One read transaction, so the log and the bitmaps are seen as of one moment.
    m_ownTransaction = c.exec(QStringLiteral("BEGIN")).ok();
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
        QVariantList binds{QString::fromLatin1(result.json())};
        binds += s.binds;
        auto q = m_conn.run(sql("SELECT id FROM $table WHERE id IN (SELECT value FROM json_each(?)) AND (%1)", m_layout)
                                .arg(s.where),
                            binds);
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
