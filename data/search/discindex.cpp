#include "data/search/discindex.h"

#include <QStringList>

#include <span>

#include "data/store/connection.h"
#include "data/search/discfilter.h"
#include "data/search/discterms.h"
#include "data/search/termindex.h"

namespace db {
namespace {

using namespace index;

const Layout kDiscs = {"table1", "t13 IS NOT NULL", "disc_index_state", "disc_index_bits", "disc_changes",
                       rowColumns, rowTermKeys, "碟片搜索索引已损坏。"};

const char *const kLogStatements[] = {
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

// The same on a server shop. The statement lock trigger (serverschema.cpp) has taken the
// shop's write lock before any of these run, so the log is in commit order.
const char *const kServerLogStatements[] = {
    R"(CREATE TABLE disc_changes (
        seq bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, id bigint NOT NULL,
        old_t13 text, old_t14 text, old_t11 text, old_t18 text, old_t20 text, old_t10 text, old_s3 text))",
    R"(CREATE FUNCTION table1_index_log() RETURNS trigger LANGUAGE plpgsql AS $$
    BEGIN
        IF TG_OP = 'INSERT' THEN
            IF NEW.t13 IS NOT NULL THEN
                INSERT INTO disc_changes (id) VALUES (NEW.id);
            END IF;
            RETURN NULL;
        END IF;
        IF TG_OP = 'DELETE' THEN
            IF OLD.t13 IS NOT NULL THEN
                INSERT INTO disc_changes (id, old_t13, old_t14, old_t11, old_t18, old_t20, old_t10, old_s3)
                    VALUES (OLD.id, OLD.t13, OLD.t14, OLD.t11, OLD.t18, OLD.t20, OLD.t10, OLD.s3);
            END IF;
            RETURN NULL;
        END IF;
        -- Compared as text: citext would call a change of letter case no change.
        IF (OLD.t13 IS NOT NULL OR NEW.t13 IS NOT NULL)
           AND (OLD.id <> NEW.id OR OLD.t13::text IS DISTINCT FROM NEW.t13::text
                OR OLD.t14::text IS DISTINCT FROM NEW.t14::text OR OLD.t11::text IS DISTINCT FROM NEW.t11::text
                OR OLD.t18::text IS DISTINCT FROM NEW.t18::text OR OLD.t20::text IS DISTINCT FROM NEW.t20::text
                OR OLD.t10::text IS DISTINCT FROM NEW.t10::text OR (OLD.s3 IS NULL) <> (NEW.s3 IS NULL)) THEN
            INSERT INTO disc_changes (id, old_t13, old_t14, old_t11, old_t18, old_t20, old_t10, old_s3)
                VALUES (OLD.id, OLD.t13, OLD.t14, OLD.t11, OLD.t18, OLD.t20, OLD.t10, OLD.s3);
            IF NEW.id <> OLD.id THEN
                INSERT INTO disc_changes (id) VALUES (NEW.id);
            END IF;
        END IF;
        RETURN NULL;
    END $$)",
    "CREATE TRIGGER table1_index_log AFTER INSERT OR DELETE OR UPDATE OF id, t13, t14, t11, t18, t20, t10, s3 "
    "ON table1 FOR EACH ROW EXECUTE FUNCTION table1_index_log()",
};

Search searchFor(const DiscFilter &f, const QString &where = {}, const QVariantList &binds = {})
{
    Search s;
    for (const auto &[kind, text] : {std::pair{kTitle, &f.title}, std::pair{kStarring, &f.starring},
                                     std::pair{kDirector, &f.director}}) {
        if (text->isEmpty())
            continue;
        const PartTerms part = partTerms(kind, *text);
        s.all.insert(s.all.end(), part.terms.begin(), part.terms.end());
        s.verify = s.verify || part.longer;
    }
    for (const auto &[kind, text] : {std::pair{kMedia, &f.media}, std::pair{kCategory, &f.category},
                                     std::pair{kCountry, &f.country}})
        if (!text->isEmpty())
            s.all.push_back(valueTerm(kind, *text));
    std::sort(s.all.begin(), s.all.end());
    s.all.erase(std::unique(s.all.begin(), s.all.end()), s.all.end());
    if (!s.all.empty()) {
        const QString out = QString(QChar(kOut));
        if (f.state == RentalState::Out)
            s.all.insert(std::upper_bound(s.all.begin(), s.all.end(), out), out);
        else if (f.state == RentalState::OnShelf)
            s.none.push_back(out);
    }
    s.where = where;
    s.binds = binds;
    return s;
}

} // namespace

Status CreateDiscIndex(Connection &c)
{
    const auto &statements = c.onServer() ? std::span<const char *const>(kServerLogStatements)
                                          : std::span<const char *const>(kLogStatements);
    for (const char *sql : statements) {
        if (Status s = c.exec(QString::fromUtf8(sql)); !s)
            return s;
    }
    return CreateIndex(c, kDiscs);
}

Status RebuildDiscIndex(Connection &c)
{
    return RebuildIndex(c, kDiscs);
}

bool DiscIndexServes(const DiscFilter &f)
{
    // A typed NUL ends a LIKE pattern early, leaving a pattern that no longer means "contains".
    for (const QString *text : {&f.title, &f.starring, &f.director}) {
        if (text->contains(QChar(0)))
            return false;
    }
    for (const QString *text : {&f.title, &f.starring, &f.director, &f.media, &f.category, &f.country}) {
        if (!readsBackAsTyped(*text))
            return false;
    }
    return f.number < 1 && !searchFor(f).all.empty();
}

Result<KeyPage> FindDiscs(Connection &c, const DiscFilter &f, const QString &where, const QVariantList &binds,
                          qint64 page, int rowsPerPage)
{
    if (!DiscIndexServes(f))
        return Status::failure(QStringLiteral("此查询不用碟片搜索索引。"));
    Reader reader(c, kDiscs);
    auto set = reader.find(searchFor(f, where, binds));
    if (!set)
        return set.status();
    // Newest first: the highest numbers.
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
}

Status CompactDiscIndex(Connection &c)
{
    return CompactIndex(c, kDiscs);
}

Status CheckDiscIndex(Connection &c, QStringList &breaches)
{
    return CheckIndex(c, kDiscs, QStringLiteral("碟片搜索索引"), breaches);
}

void SetDiscIndexCompactAt(qint64 changes)
{
    SetCompactAt(changes);
}

Status WarmDiscIndex(const QStringList &valueTerms)
{
    Connection c;
    if (!c.ok())
        return c.status();
    Reader reader(c, kDiscs);
    if (auto out = reader.term(QString(QChar(kOut))); !out)
        return out.status();
    for (const QString &t : valueTerms) {
        if (auto set = reader.term(t); !set)
            return set.status();
    }
    return reader.status();
}

QStringList DiscValueTerms(const QStringList &media, const QStringList &categories, const QStringList &countries)
{
    QStringList terms;
    for (const auto &[kind, values] : {std::pair{kMedia, &media}, std::pair{kCategory, &categories},
                                       std::pair{kCountry, &countries}}) {
        for (const QString &v : *values) {
            if (!v.isEmpty())
                terms << valueTerm(kind, v);
        }
    }
    return terms;
}

void ForgetDiscIndexMemory()
{
    ForgetMemory();
}

} // namespace db
