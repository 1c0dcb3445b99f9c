#include "data/discindex.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSqlError>
#include <QSqlQuery>

#include <roaring/roaring.hh>

#include <algorithm>
#include <exception>
#include <iterator>
#include <map>
#include <optional>
#include <unordered_map>
#include <vector>

#include "data/connection.h"
#include "data/discfilter.h"
#include "data/discterms.h"
#include "data/idset.h"

namespace db {
namespace {

using namespace index;

constexpr int kBlockShift = 16; // disc numbers per stored bitmap: 65536
constexpr size_t kMemoryCap = size_t(96) << 20;
constexpr size_t kMemos = 8;

qint64 g_compactAt = 1000;

QByteArray serialized(Roaring &r)
{
    r.runOptimize();
    QByteArray bytes(qsizetype(r.getSizeInBytes(true)), Qt::Uninitialized);
    r.write(bytes.data(), true);
    return bytes;
}

Result<Roaring> deserialized(const QByteArray &bytes)
{
    try {
        return Roaring::readSafe(bytes.constData(), size_t(bytes.size()));
    } catch (const std::exception &) {
        return Status::failure(QStringLiteral("碟片搜索索引已损坏。"));
    }
}

// Where the log and the stored bitmaps stand.
struct IndexState
{
    QString token;     // tells one file's index from another's
    qint64 snapshot = 0; // the last logged change the stored bitmaps include
    qint64 seq = 0;      // the last logged change
};

Result<IndexState> readState(Connection &c)
{
    auto q = c.run(QStringLiteral("SELECT token, snapshot_seq, "
                                  "(SELECT seq FROM sqlite_sequence WHERE name = 'disc_changes') "
                                  "FROM disc_index_state WHERE id = 1"));
    if (!q)
        return q.status();
    if (!q.value().next())
        return Status::failure(QStringLiteral("碟片搜索索引已损坏。"));
    IndexState s;
    s.token = q.value().value(0).toString();
    s.snapshot = q.value().value(1).toLongLong();
    s.seq = q.value().value(2).toLongLong();
    return s;
}

// What the program holds of one file's index: the bitmaps of the terms searched lately,
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
    // Discs changed since the stored snapshot, with their terms now: a term loaded from the
    // file is corrected by them.
    std::unordered_map<qint64, Terms> recent;
    QHash<QString, Loaded> terms;
    size_t bytes = 0;
    quint64 clock = 0;
    std::vector<Memo> memos; // results of recent searches at `seq`
    quint64 used = 0;
};

QMutex g_mutex;
QHash<QString, FileMemory> g_files;
quint64 g_fileClock = 0;

FileMemory &memoryFor(const QString &path)
{
    QString key = QFileInfo(path).canonicalFilePath();
    if (key.isEmpty())
        key = path;
    // A few files at most: the real data, the demonstration data, the odd copy.
    if (!g_files.contains(key) && g_files.size() >= 4) {
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
Status sync(Connection &c, FileMemory &m, const IndexState &s)
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
    auto q = c.run(QStringLiteral("SELECT d.id, %1 FROM (SELECT DISTINCT id FROM disc_changes WHERE seq > ?) d "
                                  "LEFT JOIN table1 t ON t.id = d.id")
                       .arg(rowColumns(QStringLiteral("t."))),
                   {m.seq});
    if (!q)
        return q.status();
    while (q.value().next()) {
        const DiscRow row = readRow(q.value());
        Terms now = termsOf(row);
        for (auto it = m.terms.begin(); it != m.terms.end(); ++it)
            it->set.set(row.id, has(now, it.key()));
        m.recent[row.id] = std::move(now);
    }
    m.seq = s.seq;
    m.memos.clear();
    return {};
}

Result<IdSet> storedTerm(Connection &c, const QString &term)
{
    auto q = c.run(QStringLiteral("SELECT block, bits FROM disc_index_bits WHERE term = ?"), {term});
    if (!q)
        return q.status();
    IdSet set;
    while (q.value().next()) {
        auto low = deserialized(q.value().value(1).toByteArray());
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
            if (!has(keep, it.key()) && (oldest == m.terms.end() || it->used < oldest->used))
                oldest = it;
        }
        if (oldest == m.terms.end())
            return;
        m.bytes -= oldest->bytes;
        m.terms.erase(oldest);
    }
}

Status load(Connection &c, FileMemory &m, const QString &term)
{
    if (auto it = m.terms.find(term); it != m.terms.end()) {
        it->used = ++m.clock;
        return {};
    }
    auto set = storedTerm(c, term);
    if (!set)
        return set.status();
    for (const auto &[id, terms] : m.recent)
        set.value().set(id, has(terms, term));
    FileMemory::Loaded entry{std::move(set.value()), 0, ++m.clock};
    entry.bytes = entry.set.bytes();
    m.bytes += entry.bytes;
    m.terms.insert(term, std::move(entry));
    return {};
}

// Folds the log into the stored bitmaps. Runs inside a write transaction, after sync.
Status compact(Connection &c, FileMemory &m)
{
    // The first logged values of each disc are what the stored bitmaps hold for it.
    auto log = c.run(QStringLiteral("SELECT id, %1 FROM disc_changes ORDER BY seq").arg(rowColumns(QStringLiteral("old_"))));
    if (!log)
        return log.status();
    std::unordered_map<qint64, Terms> before;
    while (log.value().next()) {
        const DiscRow row = readRow(log.value());
        if (!before.contains(row.id))
            before.emplace(row.id, termsOf(row));
    }
    log.value().finish();

    std::map<std::pair<QString, qint64>, std::vector<std::pair<quint32, bool>>> edits;
    for (const auto &[id, old] : before) {
        auto now = m.recent.find(id);
        if (now == m.recent.end())
            return Status::failure(QStringLiteral("碟片搜索索引与改动记录不符。"));
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
        auto stored = c.scalar(QStringLiteral("SELECT bits FROM disc_index_bits WHERE term = ? AND block = ?"),
                               {where.first, where.second});
        if (!stored)
            return stored.status();
        Roaring bits;
        if (!stored->isNull()) {
            auto read = deserialized(stored->toByteArray());
            if (!read)
                return read.status();
            bits = std::move(read.value());
        }
        for (const auto &[low, add] : changes)
            add ? bits.add(low) : bits.remove(low);
        Status s = bits.isEmpty()
                       ? c.exec(QStringLiteral("DELETE FROM disc_index_bits WHERE term = ? AND block = ?"),
                                {where.first, where.second})
                       : c.exec(QStringLiteral("INSERT OR REPLACE INTO disc_index_bits (term, block, bits) VALUES (?, ?, ?)"),
                                {where.first, where.second, serialized(bits)});
        if (!s)
            return s;
    }
    if (Status s = c.exec(QStringLiteral("UPDATE disc_index_state SET snapshot_seq = ? WHERE id = 1"), {m.seq}); !s)
        return s;
    return c.exec(QStringLiteral("DELETE FROM disc_changes WHERE seq <= ?"), {m.seq});
}

// Folds the log in when it has grown long and the file can be written; a search goes on
// without it otherwise.
void compactIfDue(Connection &c, FileMemory &m, bool force, Status *failure = nullptr)
{
    auto state = readState(c);
    if (!state || (!force && state->seq - state->snapshot < g_compactAt) || state->seq == state->snapshot)
        return;
    if (!c.exec(QStringLiteral("BEGIN IMMEDIATE")).ok())
        return;
    Status s = [&]() -> Status {
        auto now = readState(c);
        if (!now)
            return now.status();
        if (Status s = sync(c, m, now.value()); !s)
            return s;
        return compact(c, m);
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

// What a filter asks of the index.
struct Search
{
    Terms terms;
    bool verify = false; // a part longer than the terms: candidates are checked by LIKE
    RentalState state = RentalState::Any;

    QString key() const
    {
        return terms.empty() ? QString()
                             : QStringList(terms.begin(), terms.end()).join(QChar(0x1f)) + QChar(0x1e)
                                   + QString::number(int(state)) + (verify ? u'v' : u'-');
    }
};

Search searchFor(const DiscFilter &f)
{
    Search s;
    s.state = f.state;
    for (const auto &[kind, text] : {std::pair{kTitle, &f.title}, std::pair{kStarring, &f.starring},
                                     std::pair{kDirector, &f.director}}) {
        if (text->isEmpty())
            continue;
        const std::u32string chars = likeChars(*text);
        if (chars.empty())
            continue; // LIKE stops at a NUL: nothing left to match
        if (chars.size() <= size_t(kGramMax)) {
            s.terms.push_back(gramTerm(kind, chars.data(), chars.size()));
            continue;
        }
        for (size_t i = 0; i + kGramMax <= chars.size(); ++i)
            s.terms.push_back(gramTerm(kind, chars.data() + i, kGramMax));
        s.verify = true;
    }
    for (const auto &[kind, text] : {std::pair{kMedia, &f.media}, std::pair{kCategory, &f.category},
                                     std::pair{kCountry, &f.country}})
        if (!text->isEmpty())
            s.terms.push_back(valueTerm(kind, *text));
    std::sort(s.terms.begin(), s.terms.end());
    s.terms.erase(std::unique(s.terms.begin(), s.terms.end()), s.terms.end());
    return s;
}

Result<IdSet> evaluate(Connection &c, FileMemory &m, const Search &s, const QString &where, const QVariantList &binds)
{
    const QString key = s.key();
    for (const FileMemory::Memo &memo : m.memos) {
        if (memo.key == key)
            return memo.set;
    }
    Terms needed = s.terms;
    const QString out = QString(QChar(kOut));
    if (s.state != RentalState::Any)
        needed.push_back(out);
    std::sort(needed.begin(), needed.end());
    evict(m, needed);
    for (const QString &t : needed) {
        if (Status st = load(c, m, t); !st)
            return st;
    }
    // Smallest first: every later step can only shrink it.
    auto setOf = [&](const QString &t) -> const IdSet & { return m.terms.constFind(t)->set; };
    auto first = std::min_element(s.terms.begin(), s.terms.end(), [&](const QString &a, const QString &b) {
        return setOf(a).count() < setOf(b).count();
    });
    IdSet result = setOf(*first);
    for (const QString &t : s.terms) {
        if (t != *first)
            result.intersect(setOf(t));
    }
    if (s.state == RentalState::Out)
        result.intersect(setOf(out));
    else if (s.state == RentalState::OnShelf)
        result.subtract(setOf(out));
    if (s.verify && result.count() > 0) {
        QVariantList all{QString::fromLatin1(result.json())};
        all += binds;
        auto q = c.run(QStringLiteral("SELECT id FROM table1 WHERE id IN (SELECT value FROM json_each(?)) AND (%1)").arg(where),
                       all);
        if (!q)
            return q.status();
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

// Reads every disc into the stored bitmaps, one block of numbers at a time.
Status buildBitmaps(Connection &c)
{
    if (Status s = c.exec(QStringLiteral("DELETE FROM disc_index_bits")); !s)
        return s;
    auto rows = c.run(QStringLiteral("SELECT id, %1 FROM table1 WHERE t13 IS NOT NULL ORDER BY id").arg(rowColumns(QString())));
    if (!rows)
        return rows.status();
    QSqlQuery insert = c.query();
    if (!insert.prepare(QStringLiteral("INSERT INTO disc_index_bits (term, block, bits) VALUES (?, ?, ?)")))
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
            if (!insert.exec())
                return c.failure(insert.lastError());
        }
        block.clear();
        return {};
    };
    QSqlQuery &q = rows.value();
    while (q.next()) {
        const DiscRow row = readRow(q);
        const quint64 key = IdSet::keyOf(row.id);
        const qint64 b = qint64(key >> kBlockShift);
        if (current != b) {
            if (current) {
                if (Status s = flush(); !s)
                    return s;
            }
            current = b;
        }
        keys.clear();
        termKeys(row, keys, values);
        for (const TermKey &t : keys)
            block[t].add(quint32(key));
    }
    if (current)
        return flush();
    return {};
}

const char *const kIndexStatements[] = {
    // Which index this is (a copied file keeps it), and how far the stored bitmaps go.
    R"(CREATE TABLE disc_index_state (
        id INTEGER PRIMARY KEY CHECK (id = 1), token TEXT NOT NULL, snapshot_seq INTEGER NOT NULL))",
    "INSERT INTO disc_index_state (id, token, snapshot_seq) VALUES (1, lower(hex(randomblob(8))), 0)",
    // Per term and block of 65536 numbers: the discs under the term, a compressed bitmap.
    R"(CREATE TABLE disc_index_bits (
        term TEXT NOT NULL, block INTEGER NOT NULL, bits BLOB NOT NULL,
        PRIMARY KEY (term, block)) WITHOUT ROWID)",
    // Every change to what discs are filed under, with the values before it. The columns
    // have no type, so each value keeps the kind it had in table1.
    R"(CREATE TABLE disc_changes (
        seq INTEGER PRIMARY KEY AUTOINCREMENT, id INTEGER NOT NULL,
        old_t13, old_t14, old_t11, old_t18, old_t20, old_t10, old_s3))",
    // INSERT OR REPLACE removes the row it replaces without a delete trigger: log it first.
    R"(CREATE TRIGGER table1_index_replace BEFORE INSERT ON table1 BEGIN
        INSERT INTO disc_changes (id, old_t13, old_t14, old_t11, old_t18, old_t20, old_t10, old_s3)
            SELECT id, t13, t14, t11, t18, t20, t10, s3 FROM table1 WHERE id = NEW.id AND t13 IS NOT NULL;
        END)",
    R"(CREATE TRIGGER table1_index_insert AFTER INSERT ON table1 WHEN NEW.t13 IS NOT NULL BEGIN
        INSERT INTO disc_changes (id) VALUES (NEW.id);
        END)",
    R"(CREATE TRIGGER table1_index_delete AFTER DELETE ON table1 WHEN OLD.t13 IS NOT NULL BEGIN
        INSERT INTO disc_changes (id, old_t13, old_t14, old_t11, old_t18, old_t20, old_t10, old_s3)
            VALUES (OLD.id, OLD.t13, OLD.t14, OLD.t11, OLD.t18, OLD.t20, OLD.t10, OLD.s3);
        END)",
    R"(CREATE TRIGGER table1_index_update AFTER UPDATE OF id, t13, t14, t11, t18, t20, t10, s3 ON table1
        WHEN (OLD.t13 IS NOT NULL OR NEW.t13 IS NOT NULL)
             AND (OLD.id IS NOT NEW.id OR OLD.t13 IS NOT NEW.t13 OR OLD.t14 IS NOT NEW.t14
                  OR OLD.t11 IS NOT NEW.t11 OR OLD.t18 IS NOT NEW.t18 OR OLD.t20 IS NOT NEW.t20
                  OR OLD.t10 IS NOT NEW.t10 OR (OLD.s3 IS NULL) <> (NEW.s3 IS NULL)) BEGIN
        INSERT INTO disc_changes (id, old_t13, old_t14, old_t11, old_t18, old_t20, old_t10, old_s3)
            VALUES (OLD.id, OLD.t13, OLD.t14, OLD.t11, OLD.t18, OLD.t20, OLD.t10, OLD.s3);
        INSERT INTO disc_changes (id) SELECT NEW.id WHERE NEW.id IS NOT OLD.id;
        END)",
};

} // namespace

Status CreateDiscIndex(Connection &c)
{
    for (const char *sql : kIndexStatements) {
        if (Status s = c.exec(QString::fromUtf8(sql)); !s)
            return s;
    }
    return buildBitmaps(c);
}

Status RebuildDiscIndex(Connection &c)
{
    // A savepoint: one transaction of its own, or a part of the caller's.
    if (Status s = c.exec(QStringLiteral("SAVEPOINT disc_index_rebuild")); !s)
        return s;
    Status s = [&]() -> Status {
        if (Status s = buildBitmaps(c); !s)
            return s;
        auto state = readState(c);
        if (!state)
            return state.status();
        if (Status s = c.exec(QStringLiteral("UPDATE disc_index_state SET snapshot_seq = ? WHERE id = 1"), {state->seq}); !s)
            return s;
        return c.exec(QStringLiteral("DELETE FROM disc_changes"));
    }();
    if (!s)
        c.exec(QStringLiteral("ROLLBACK TO disc_index_rebuild"));
    c.exec(QStringLiteral("RELEASE disc_index_rebuild"));
    return s;
}

bool DiscIndexServes(const DiscFilter &f)
{
    // A typed NUL ends a LIKE pattern early, leaving a pattern that no longer means "contains".
    for (const QString *text : {&f.title, &f.starring, &f.director}) {
        if (text->contains(QChar(0)))
            return false;
    }
    return f.number < 1 && !searchFor(f).terms.empty();
}

Result<KeyPage> FindDiscs(Connection &c, const DiscFilter &f, const QString &where, const QVariantList &binds,
                          qint64 page, int rowsPerPage)
{
    const Search search = searchFor(f);
    if (!DiscIndexServes(f))
        return Status::failure(QStringLiteral("此查询不用碟片搜索索引。"));
    QMutexLocker lock(&g_mutex);
    FileMemory &m = memoryFor(c.path());
    compactIfDue(c, m, false);

    // One read transaction, so the log and the bitmaps are seen as of one moment.
    const bool own = c.exec(QStringLiteral("BEGIN")).ok();
    auto found = [&]() -> Result<KeyPage> {
        auto state = readState(c);
        if (!state)
            return state.status();
        if (Status s = sync(c, m, state.value()); !s)
            return s;
        auto set = evaluate(c, m, search, where, binds);
        if (!set)
            return set.status();
        KeyPage out;
        const quint64 count = set->count();
        out.recordCount = qint64(count);
        out.page = ClampPage(page, out.recordCount, rowsPerPage);
        const quint64 skip = quint64(out.page - 1) * quint64(rowsPerPage);
        for (quint64 i = 0; i < quint64(rowsPerPage) && skip + i < count; ++i) {
            if (const auto id = set->at(count - 1 - skip - i))
                out.keys << *id;
        }
        return out;
    }();
    if (own)
        c.exec(QStringLiteral("COMMIT"));
    if (!found)
        m = FileMemory{}; // whatever was half-read is not trusted next time
    return found;
}

Status CompactDiscIndex(Connection &c)
{
    QMutexLocker lock(&g_mutex);
    FileMemory &m = memoryFor(c.path());
    Status failure;
    compactIfDue(c, m, true, &failure);
    return failure;
}

void SetDiscIndexCompactAt(qint64 changes)
{
    QMutexLocker lock(&g_mutex);
    g_compactAt = std::max<qint64>(1, changes);
}

void ForgetDiscIndexMemory()
{
    QMutexLocker lock(&g_mutex);
    g_files.clear();
}

} // namespace db
