#include "data/search/customerindex.h"

#include <QSqlQuery>

#include <algorithm>
#include <span>
#include <vector>

#include "data/store/connection.h"
#include "data/store/dates.h"
#include "data/search/termindex.h"

namespace db {
namespace {

using namespace index;

// Kinds of terms.
constexpr char16_t kName = u'A', kCardType = u'Y', kDay = u'D', kMonth = u'M';

QString customerColumns(const QString &p, bool server)
{
    // The day is the value the customer lists are ordered by.
    if (server)
        return QStringLiteral("%1t1 IS NOT NULL, %1t1::text, %1t3::text, coalesce(%1s1, '')").arg(p);
    return QStringLiteral("%1t1 IS NOT NULL, CAST(%1t1 AS TEXT), CASE WHEN typeof(%1t3) = 'text' THEN %1t3 END, "
                          "CAST(ifnull(%1s1, '') AS TEXT)")
        .arg(p);
}

// A month is the first seven characters of a day: yyyy-MM for a stored date.
QString monthOf(const QString &day)
{
    return day.left(7);
}

void customerTermKeys(const QSqlQuery &q, std::vector<TermKey> &out, Values &values)
{
    if (q.value(1).toLongLong() == 0)
        return; // a free slot is no customer
    gramKeys(out, kName, q.value(2).toString());
    valueKey(out, kCardType, q.value(3).toString(), values);
    const QString day = q.value(4).toString();
    exactValueKey(out, kDay, day, values);
    exactValueKey(out, kMonth, monthOf(day), values);
}

const Layout kCustomers = {"table2", "t1 IS NOT NULL", "customer_index_state", "customer_index_bits",
                           "customer_changes", customerColumns, customerTermKeys, "客户搜索索引已损坏。"};

const char *const kLogStatements[] = {
    // Every change to what customers are filed under, with the values before it.
    R"(CREATE TABLE customer_changes (
        seq INTEGER PRIMARY KEY AUTOINCREMENT, id INTEGER NOT NULL, old_t1, old_t3, old_s1))",
    // INSERT OR REPLACE removes the row it replaces without a delete trigger: log it first.
    R"(CREATE TRIGGER table2_index_replace BEFORE INSERT ON table2 BEGIN
        INSERT INTO customer_changes (id, old_t1, old_t3, old_s1)
            SELECT id, t1, t3, s1 FROM table2 WHERE id = NEW.id AND t1 IS NOT NULL;
        END)",
    R"(CREATE TRIGGER table2_index_insert AFTER INSERT ON table2 WHEN NEW.t1 IS NOT NULL BEGIN
        INSERT INTO customer_changes (id) VALUES (NEW.id);
        END)",
    R"(CREATE TRIGGER table2_index_delete AFTER DELETE ON table2 WHEN OLD.t1 IS NOT NULL BEGIN
        INSERT INTO customer_changes (id, old_t1, old_t3, old_s1) VALUES (OLD.id, OLD.t1, OLD.t3, OLD.s1);
        END)",
    R"(CREATE TRIGGER table2_index_update AFTER UPDATE OF id, t1, t3, s1 ON table2
        WHEN (OLD.t1 IS NOT NULL OR NEW.t1 IS NOT NULL)
             AND (OLD.id IS NOT NEW.id OR OLD.t1 IS NOT NEW.t1 OR OLD.t3 IS NOT NEW.t3 OR OLD.s1 IS NOT NEW.s1) BEGIN
        INSERT INTO customer_changes (id, old_t1, old_t3, old_s1) VALUES (OLD.id, OLD.t1, OLD.t3, OLD.s1);
        INSERT INTO customer_changes (id) SELECT NEW.id WHERE NEW.id IS NOT OLD.id;
        END)",
};

// The same on a server shop (see discindex.cpp).
const char *const kServerLogStatements[] = {
    R"(CREATE TABLE customer_changes (
        seq bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, id bigint NOT NULL,
        old_t1 text, old_t3 text, old_s1 text))",
    R"(CREATE FUNCTION table2_index_log() RETURNS trigger LANGUAGE plpgsql AS $$
    BEGIN
        IF TG_OP = 'INSERT' THEN
            IF NEW.t1 IS NOT NULL THEN
                INSERT INTO customer_changes (id) VALUES (NEW.id);
            END IF;
            RETURN NULL;
        END IF;
        IF TG_OP = 'DELETE' THEN
            IF OLD.t1 IS NOT NULL THEN
                INSERT INTO customer_changes (id, old_t1, old_t3, old_s1) VALUES (OLD.id, OLD.t1, OLD.t3, OLD.s1);
            END IF;
            RETURN NULL;
        END IF;
        IF (OLD.t1 IS NOT NULL OR NEW.t1 IS NOT NULL)
           AND (OLD.id <> NEW.id OR OLD.t1::text IS DISTINCT FROM NEW.t1::text
                OR OLD.t3::text IS DISTINCT FROM NEW.t3::text OR OLD.s1 IS DISTINCT FROM NEW.s1) THEN
            INSERT INTO customer_changes (id, old_t1, old_t3, old_s1) VALUES (OLD.id, OLD.t1, OLD.t3, OLD.s1);
            IF NEW.id <> OLD.id THEN
                INSERT INTO customer_changes (id) VALUES (NEW.id);
            END IF;
        END IF;
        RETURN NULL;
    END $$)",
    "CREATE TRIGGER table2_index_log AFTER INSERT OR DELETE OR UPDATE OF id, t1, t3, s1 "
    "ON table2 FOR EACH ROW EXECUTE FUNCTION table2_index_log()",
};

Search searchFor(const CustomerCriteria &c, const QString &where = {}, const QVariantList &binds = {})
{
    Search s;
    if (!c.name.isEmpty()) {
        const PartTerms part = partTerms(kName, c.name);
        s.all = part.terms;
        s.verify = part.longer;
    }
    if (!c.cardType.isEmpty())
        s.all.push_back(valueTerm(kCardType, c.cardType));
    std::sort(s.all.begin(), s.all.end());
    s.all.erase(std::unique(s.all.begin(), s.all.end()), s.all.end());
    s.where = where;
    s.binds = binds;
    return s;
}

// The customers under a day or a whole month, newest first, and how many of the result are
// among them.
struct Unit
{
    QString month;             // the month, or the day's month
    std::vector<QString> days; // one day, or every listed day of a whole month, newest first
    bool whole = false;        // counted by the month's set
    quint64 n = 0;
};

// The last rental days with customers on them, newest first, grouped into months; a month
// wholly inside the dates asked for is one unit, a month cut by them gives a unit per day.
Result<std::vector<Unit>> unitsFor(Connection &c, const CustomerCriteria &criteria)
{
    auto rows = c.run(QStringLiteral("SELECT day FROM customer_days WHERE list = 1 AND n > 0 ORDER BY day DESC"));
    if (!rows)
        return rows.status();
    const QString from = criteria.from ? toStoredDate(*criteria.from) : QString();
    const QString to = criteria.to ? toStoredDate(*criteria.to) : QString();
    auto inside = [&](const QString &day) {
        // As the statement compares them: text order, and a customer never rented has no date.
        if ((criteria.from || criteria.to) && day.isEmpty())
            return false;
        return (!criteria.from || day >= from) && (!criteria.to || day <= to);
    };
    std::vector<Unit> months;
    std::vector<bool> cut;
    while (rows.value().next()) {
        const QString day = rows.value().value(0).toString();
        const QString month = monthOf(day);
        if (months.empty() || months.back().month != month) {
            months.push_back({month, {}, true, 0});
            cut.push_back(false);
        }
        if (inside(day))
            months.back().days.push_back(day);
        else
            cut.back() = true;
    }
    std::vector<Unit> units;
    for (size_t i = 0; i < months.size(); ++i) {
        if (months[i].days.empty())
            continue;
        if (!cut[i]) {
            units.push_back(std::move(months[i]));
            continue;
        }
        for (const QString &day : months[i].days)
            units.push_back({months[i].month, {day}, false, 0});
    }
    return units;
}

} // namespace

Status CreateCustomerIndex(Connection &c)
{
    const auto &statements = c.onServer() ? std::span<const char *const>(kServerLogStatements)
                                          : std::span<const char *const>(kLogStatements);
    for (const char *sql : statements) {
        if (Status s = c.exec(QString::fromUtf8(sql)); !s)
            return s;
    }
    return CreateIndex(c, kCustomers);
}

Status RebuildCustomerIndex(Connection &c)
{
    return RebuildIndex(c, kCustomers);
}

bool CustomerIndexServes(const CustomerCriteria &criteria)
{
    // A typed NUL ends a LIKE pattern early, leaving a pattern that no longer means "contains".
    return criteria.card.isEmpty() && !criteria.name.contains(QChar(0)) && readsBackAsTyped(criteria.name)
        && readsBackAsTyped(criteria.cardType) && !searchFor(criteria).all.empty();
}

Result<KeyPage> FindCustomers(Connection &c, const CustomerCriteria &criteria, const QString &where,
                              const QVariantList &binds, qint64 page, int rowsPerPage)
{
    if (!CustomerIndexServes(criteria))
        return Status::failure(QStringLiteral("此查询不用客户搜索索引。"));
    Reader reader(c, kCustomers);
    auto found = reader.find(searchFor(criteria, where, binds));
    if (!found)
        return found.status();
    const IdSet &result = found.value();
    auto units = unitsFor(c, criteria);
    if (!units)
        return units.status();

    auto setOf = [&](char16_t kind, const QString &value) { return reader.term(QChar(kind) + value); };
    Terms needed;
    for (const Unit &u : units.value())
        needed.push_back(u.whole ? QChar(kMonth) + u.month : QChar(kDay) + u.days.front());
    std::sort(needed.begin(), needed.end());
    if (Status s = reader.preload(needed); !s)
        return s;
    // Counted unit by unit, so that the count and the pages agree.
    quint64 count = 0;
    for (Unit &u : units.value()) {
        auto set = u.whole ? setOf(kMonth, u.month) : setOf(kDay, u.days.front());
        if (!set)
            return set.status();
        u.n = result.andCount(*set.value());
        count += u.n;
    }

    KeyPage out;
    out.recordCount = qint64(count);
    out.page = ClampPage(page, out.recordCount, rowsPerPage);
    quint64 skip = quint64(out.page - 1) * quint64(rowsPerPage);
    // Takes the page's customers of one day, highest number first, after skipping `skip`.
    auto takeDay = [&](const QString &day) -> Status {
        auto set = setOf(kDay, day);
        if (!set)
            return set.status();
        IdSet onDay = result;
        onDay.intersect(*set.value());
        const quint64 n = onDay.count();
        if (skip >= n) {
            skip -= n;
            return {};
        }
        for (quint64 rank = n - skip; rank > 0 && out.keys.size() < rowsPerPage; --rank) {
            if (const auto id = onDay.at(rank - 1))
                out.keys << *id;
        }
        skip = 0;
        return {};
    };
    for (const Unit &u : units.value()) {
        if (out.keys.size() >= rowsPerPage || out.recordCount == 0)
            break;
        if (u.whole && skip >= u.n) {
            skip -= u.n;
            continue;
        }
        for (const QString &day : u.days) {
            if (out.keys.size() >= rowsPerPage)
                break;
            if (Status s = takeDay(day); !s)
                return s;
        }
    }
    return out;
}

Status CompactCustomerIndex(Connection &c)
{
    return CompactIndex(c, kCustomers);
}

Status CheckCustomerIndex(Connection &c, QStringList &breaches)
{
    return CheckIndex(c, kCustomers, QStringLiteral("客户搜索索引"), breaches);
}

} // namespace db
