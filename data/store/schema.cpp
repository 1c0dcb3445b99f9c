#include "data/store/schema.h"

#include "data/store/progress.h"

#include <QFile>
#include <QFileInfo>

#include "data/store/connection.h"
#include "data/store/customermonths.h"
#include "data/store/figures.h"
#include "data/search/customerindex.h"
#include "data/search/discindex.h"

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace db {
namespace {

// The layout of the first release (user_version 1). Never edit it: files in use were made
// with it. Later changes are upgrade steps below.
// Text compares without regard to letter case, as the shop's rules expect.
const char *const kStatements[] = {
    R"(CREATE TABLE table1 (
        id INTEGER PRIMARY KEY AUTOINCREMENT,
        t13 TEXT COLLATE NOCASE, t14 TEXT COLLATE NOCASE, t10 TEXT COLLATE NOCASE,
        t11 TEXT COLLATE NOCASE, t18 TEXT COLLATE NOCASE, t7 INTEGER,
        t20 TEXT COLLATE NOCASE, t38 TEXT COLLATE NOCASE, t41 TEXT COLLATE NOCASE,
        t34 TEXT COLLATE NOCASE, img1 BLOB,
        s1 TEXT, s2 TEXT, s3 TEXT COLLATE NOCASE, s4 INTEGER DEFAULT 0,
        c1, c2))",
    R"(CREATE TABLE table2 (
        id INTEGER PRIMARY KEY AUTOINCREMENT,
        t1 TEXT COLLATE NOCASE, t2 TEXT COLLATE NOCASE, t3 TEXT COLLATE NOCASE, s4 TEXT,
        t4 NUMERIC DEFAULT 0, s5 TEXT, t5 TEXT COLLATE NOCASE,
        s1 TEXT, s2 INTEGER DEFAULT 0, s3 TEXT COLLATE NOCASE))",
    R"(CREATE TABLE table3 (
        id INTEGER PRIMARY KEY AUTOINCREMENT,
        s2 TEXT COLLATE NOCASE, s3 TEXT COLLATE NOCASE, s6 TEXT COLLATE NOCASE,
        s8 TEXT COLLATE NOCASE, s9 TEXT COLLATE NOCASE, s11 TEXT COLLATE NOCASE,
        s13 TEXT COLLATE NOCASE))",
    R"(CREATE TABLE table4 (
        id INTEGER PRIMARY KEY AUTOINCREMENT,
        discid INTEGER, discname TEXT COLLATE NOCASE, khid INTEGER,
        s1 TEXT, s2 TEXT COLLATE NOCASE, s3 TEXT, s4 TEXT))",
    R"(CREATE TABLE table5 (
        id INTEGER PRIMARY KEY AUTOINCREMENT,
        khid INTEGER, s1 TEXT COLLATE NOCASE, s2 TEXT, s3 TEXT))",
    R"(CREATE TABLE table6 (
        id INTEGER PRIMARY KEY AUTOINCREMENT,
        khid INTEGER, s1 NUMERIC, s2 TEXT, s3 TEXT))",
    R"(CREATE TABLE table7 (
        id INTEGER PRIMARY KEY AUTOINCREMENT,
        t1 TEXT COLLATE NOCASE, t2 TEXT COLLATE NOCASE))",
    R"(CREATE TABLE table8 (
        id INTEGER PRIMARY KEY AUTOINCREMENT,
        loginer_id INTEGER, loginer TEXT COLLATE NOCASE, login_time TEXT))",
    // Free slots are found lowest first; the lists count and page discs and customers.
    "CREATE INDEX table1_free ON table1(id) WHERE t13 IS NULL",
    "CREATE INDEX table1_discs ON table1(id) WHERE t13 IS NOT NULL",
    "CREATE INDEX table1_out ON table1(id) WHERE t13 IS NOT NULL AND s3 IS NOT NULL",
    "CREATE INDEX table1_rentable ON table1(id) WHERE t13 IS NOT NULL AND s3 IS NULL",
    "CREATE INDEX table2_free ON table2(id) WHERE t1 IS NULL",
    "CREATE INDEX table2_card ON table2(t2)",
    "CREATE INDEX table2_last_rental ON table2(s1) WHERE t1 IS NOT NULL",
    "CREATE INDEX table4_disc ON table4(discid)",
    "CREATE INDEX table4_customer ON table4(khid, s1)",
    "CREATE INDEX table7_name ON table7(t1)",
    // The disc lists show their record counts on every page; counting a large catalogue
    // each time would cost more than reading the page. table1_changes moves whenever a row
    // may join or leave a list, so a list can trust the page bounds it remembers.
    R"(CREATE TABLE list_counts (
        id INTEGER PRIMARY KEY CHECK (id = 1),
        discs INTEGER NOT NULL DEFAULT 0, discs_out INTEGER NOT NULL DEFAULT 0,
        table1_changes INTEGER NOT NULL DEFAULT 0))",
    "INSERT INTO list_counts (id) VALUES (1)",
    // Discs per block of 1024 numbers, per list (1: all discs, 2: discs out): a page deep in
    // a long list is found by adding up blocks instead of stepping over every disc before it.
    R"(CREATE TABLE list_blocks (
        list INTEGER NOT NULL, block INTEGER NOT NULL, n INTEGER NOT NULL,
        PRIMARY KEY (list, block)) WITHOUT ROWID)",
    R"(CREATE TRIGGER table1_counts_insert AFTER INSERT ON table1 BEGIN
        UPDATE list_counts SET discs = discs + (NEW.t13 IS NOT NULL),
            discs_out = discs_out + (NEW.t13 IS NOT NULL AND NEW.s3 IS NOT NULL),
            table1_changes = table1_changes + 1 WHERE id = 1;
        INSERT INTO list_blocks (list, block, n) SELECT 1, NEW.id >> 10, 1 WHERE NEW.t13 IS NOT NULL
            ON CONFLICT (list, block) DO UPDATE SET n = n + 1;
        INSERT INTO list_blocks (list, block, n) SELECT 2, NEW.id >> 10, 1
            WHERE NEW.t13 IS NOT NULL AND NEW.s3 IS NOT NULL
            ON CONFLICT (list, block) DO UPDATE SET n = n + 1;
        END)",
    R"(CREATE TRIGGER table1_counts_delete AFTER DELETE ON table1 BEGIN
        UPDATE list_counts SET discs = discs - (OLD.t13 IS NOT NULL),
            discs_out = discs_out - (OLD.t13 IS NOT NULL AND OLD.s3 IS NOT NULL),
            table1_changes = table1_changes + 1 WHERE id = 1;
        UPDATE list_blocks SET n = n - 1 WHERE list = 1 AND block = OLD.id >> 10 AND OLD.t13 IS NOT NULL;
        UPDATE list_blocks SET n = n - 1 WHERE list = 2 AND block = OLD.id >> 10
            AND OLD.t13 IS NOT NULL AND OLD.s3 IS NOT NULL;
        END)",
    R"(CREATE TRIGGER table1_counts_update AFTER UPDATE OF id, t13, s3 ON table1
        WHEN OLD.id IS NOT NEW.id OR (OLD.t13 IS NULL) <> (NEW.t13 IS NULL)
             OR (OLD.s3 IS NULL) <> (NEW.s3 IS NULL) BEGIN
        UPDATE list_counts SET
            discs = discs + (NEW.t13 IS NOT NULL) - (OLD.t13 IS NOT NULL),
            discs_out = discs_out + (NEW.t13 IS NOT NULL AND NEW.s3 IS NOT NULL)
                                  - (OLD.t13 IS NOT NULL AND OLD.s3 IS NOT NULL),
            table1_changes = table1_changes + 1 WHERE id = 1;
        UPDATE list_blocks SET n = n - 1 WHERE list = 1 AND block = OLD.id >> 10 AND OLD.t13 IS NOT NULL;
        UPDATE list_blocks SET n = n - 1 WHERE list = 2 AND block = OLD.id >> 10
            AND OLD.t13 IS NOT NULL AND OLD.s3 IS NOT NULL;
        INSERT INTO list_blocks (list, block, n) SELECT 1, NEW.id >> 10, 1 WHERE NEW.t13 IS NOT NULL
            ON CONFLICT (list, block) DO UPDATE SET n = n + 1;
        INSERT INTO list_blocks (list, block, n) SELECT 2, NEW.id >> 10, 1
            WHERE NEW.t13 IS NOT NULL AND NEW.s3 IS NOT NULL
            ON CONFLICT (list, block) DO UPDATE SET n = n + 1;
        END)",
};

// One step from the version before it to `to`. Steps run in order inside one
// transaction; a step must not commit.
struct UpgradeStep
{
    int to;
    Status (*apply)(Connection &c, const PartDone &partDone);
};

Status runStatements(Connection &c, std::initializer_list<const char *> statements)
{
    for (const char *sql : statements) {
        if (Status s = c.exec(QString::fromUtf8(sql)); !s)
            return s;
    }
    return {};
}

// Version 2: the customer lists (all customers; customers with discs out) are ordered by the
// last rental date, newest first, then by number. Their counts are kept like the disc
// lists' counts, and so are the customers per date, so that a page deep in a long list is
// found by adding up dates. A customer never rented has no date and sorts last as ''.
Status addCustomerListCounts(Connection &c)
{
    return runStatements(c, {
        "ALTER TABLE list_counts ADD COLUMN customers INTEGER NOT NULL DEFAULT 0",
        "ALTER TABLE list_counts ADD COLUMN customers_out INTEGER NOT NULL DEFAULT 0",
        "ALTER TABLE list_counts ADD COLUMN table2_changes INTEGER NOT NULL DEFAULT 0",
        "CREATE INDEX table2_customers ON table2(ifnull(s1, ''), id) WHERE t1 IS NOT NULL",
        "CREATE INDEX table2_customers_out ON table2(ifnull(s1, ''), id) WHERE t1 IS NOT NULL AND s3 IS NULL AND s2 > 0",
        // Customers per last rental date, per list (1: all customers, 2: with discs out).
        R"(CREATE TABLE customer_days (
            list INTEGER NOT NULL, day TEXT NOT NULL, n INTEGER NOT NULL,
            PRIMARY KEY (list, day)) WITHOUT ROWID)",
        R"(UPDATE list_counts SET
            customers = (SELECT count(*) FROM table2 WHERE t1 IS NOT NULL),
            customers_out = (SELECT count(*) FROM table2 WHERE t1 IS NOT NULL AND s3 IS NULL AND s2 > 0)
            WHERE id = 1)",
        R"(INSERT INTO customer_days (list, day, n)
            SELECT 1, ifnull(s1, ''), count(*) FROM table2 WHERE t1 IS NOT NULL GROUP BY 2)",
        R"(INSERT INTO customer_days (list, day, n)
            SELECT 2, ifnull(s1, ''), count(*) FROM table2 WHERE t1 IS NOT NULL AND s3 IS NULL AND s2 > 0 GROUP BY 2)",
        // A customer with discs out: named, not settled, with discs rented (NULL counts as none).
        R"(CREATE TRIGGER table2_counts_insert AFTER INSERT ON table2 BEGIN
            UPDATE list_counts SET customers = customers + (NEW.t1 IS NOT NULL),
                customers_out = customers_out + ifnull(NEW.t1 IS NOT NULL AND NEW.s3 IS NULL AND NEW.s2 > 0, 0),
                table2_changes = table2_changes + 1 WHERE id = 1;
            INSERT INTO customer_days (list, day, n) SELECT 1, ifnull(NEW.s1, ''), 1 WHERE NEW.t1 IS NOT NULL
                ON CONFLICT (list, day) DO UPDATE SET n = n + 1;
            INSERT INTO customer_days (list, day, n) SELECT 2, ifnull(NEW.s1, ''), 1
                WHERE NEW.t1 IS NOT NULL AND NEW.s3 IS NULL AND NEW.s2 > 0
                ON CONFLICT (list, day) DO UPDATE SET n = n + 1;
            END)",
        R"(CREATE TRIGGER table2_counts_delete AFTER DELETE ON table2 BEGIN
            UPDATE list_counts SET customers = customers - (OLD.t1 IS NOT NULL),
                customers_out = customers_out - ifnull(OLD.t1 IS NOT NULL AND OLD.s3 IS NULL AND OLD.s2 > 0, 0),
                table2_changes = table2_changes + 1 WHERE id = 1;
            UPDATE customer_days SET n = n - 1 WHERE list = 1 AND day = ifnull(OLD.s1, '') AND OLD.t1 IS NOT NULL;
            UPDATE customer_days SET n = n - 1 WHERE list = 2 AND day = ifnull(OLD.s1, '')
                AND OLD.t1 IS NOT NULL AND OLD.s3 IS NULL AND OLD.s2 > 0;
            END)",
        R"(CREATE TRIGGER table2_counts_update AFTER UPDATE OF id, t1, s1, s2, s3 ON table2
            WHEN OLD.id IS NOT NEW.id OR (OLD.t1 IS NULL) <> (NEW.t1 IS NULL) OR OLD.s1 IS NOT NEW.s1
                 OR (OLD.s3 IS NULL) <> (NEW.s3 IS NULL) OR ifnull(OLD.s2 > 0, 0) <> ifnull(NEW.s2 > 0, 0) BEGIN
            UPDATE list_counts SET
                customers = customers + (NEW.t1 IS NOT NULL) - (OLD.t1 IS NOT NULL),
                customers_out = customers_out + ifnull(NEW.t1 IS NOT NULL AND NEW.s3 IS NULL AND NEW.s2 > 0, 0)
                                              - ifnull(OLD.t1 IS NOT NULL AND OLD.s3 IS NULL AND OLD.s2 > 0, 0),
                table2_changes = table2_changes + 1 WHERE id = 1;
            UPDATE customer_days SET n = n - 1 WHERE list = 1 AND day = ifnull(OLD.s1, '') AND OLD.t1 IS NOT NULL;
            UPDATE customer_days SET n = n - 1 WHERE list = 2 AND day = ifnull(OLD.s1, '')
                AND OLD.t1 IS NOT NULL AND OLD.s3 IS NULL AND OLD.s2 > 0;
            INSERT INTO customer_days (list, day, n) SELECT 1, ifnull(NEW.s1, ''), 1 WHERE NEW.t1 IS NOT NULL
                ON CONFLICT (list, day) DO UPDATE SET n = n + 1;
            INSERT INTO customer_days (list, day, n) SELECT 2, ifnull(NEW.s1, ''), 1
                WHERE NEW.t1 IS NOT NULL AND NEW.s3 IS NULL AND NEW.s2 > 0
                ON CONFLICT (list, day) DO UPDATE SET n = n + 1;
            END)",
    });
}

// Version 5: a whole value holding a NUL is filed as NOCASE compares it (up to the NUL, then
// by its length). Only an index holding such a value is filed again.
Status refileNulValues(Connection &c)
{
    auto discs = c.scalar(QStringLiteral("SELECT EXISTS (SELECT 1 FROM table1 WHERE t13 IS NOT NULL AND "
                                         "(instr(t18, char(0)) OR instr(t20, char(0)) OR instr(t10, char(0))))"));
    if (!discs)
        return discs.status();
    if (discs->toBool()) {
        if (Status s = RebuildDiscIndex(c); !s)
            return s;
    }
    auto customers = c.scalar(QStringLiteral("SELECT EXISTS (SELECT 1 FROM table2 WHERE t1 IS NOT NULL AND instr(t3, char(0)))"));
    if (!customers)
        return customers.status();
    if (customers->toBool())
        return RebuildCustomerIndex(c);
    return {};
}

// Version 6: texts are filed under runs of up to four characters (three before), so both
// indexes are filed again from the rows.
Status refileFourCharacterRuns(Connection &c)
{
    if (Status s = RebuildDiscIndex(c); !s)
        return s;
    return RebuildCustomerIndex(c);
}

const std::vector<UpgradeStep> kUpgrades = {
    {2, [](Connection &c, const PartDone &) { return addCustomerListCounts(c); }},
    // 3: the disc search index (substring and value search for the picker and the query).
    {3, [](Connection &c, const PartDone &) { return CreateDiscIndex(c); }},
    // 4: the customer search index (name parts and card types for the customer query).
    {4, [](Connection &c, const PartDone &) { return CreateCustomerIndex(c); }},
    {5, [](Connection &c, const PartDone &) { return refileNulValues(c); }},
    {6, [](Connection &c, const PartDone &) { return refileFourCharacterRuns(c); }},
    // 7: the figures of the statistics, kept by triggers (figures.h).
    {7, AddShopFigures},
    // 8: rentals per customer per month, the bound of the customer ranking (customermonths.h).
    {8, AddCustomerMonths},
};

// Applies the steps after `from` up to `to` inside the caller's transaction, telling
// `progress` which step runs and, where a step says so, how far into it; an upgrade cannot
// stop half-way, so a stop is not asked. A step counts kStepUnits on the progress.
constexpr qint64 kStepUnits = 100;

Status applyUpgrades(Connection &c, int from, int to, Progress &progress = NoProgress())
{
    qint64 steps = 0;
    for (const UpgradeStep &step : kUpgrades)
        steps += step.to > from && step.to <= to ? 1 : 0;
    qint64 done = 0;
    for (const UpgradeStep &step : kUpgrades) {
        if (step.to <= from || step.to > to)
            continue;
        progress.stage(QStringLiteral("正在升级数据文件：第 %1 步，共 %2 步（第 %3 版格式）…")
                           .arg(done + 1).arg(steps).arg(step.to),
                       steps * kStepUnits);
        progress.advance(done * kStepUnits);
        const PartDone partDone = [&](int part, int parts) {
            progress.advance(done * kStepUnits + kStepUnits * std::clamp(part, 0, parts) / std::max(parts, 1));
        };
        if (Status s = step.apply(c, partDone); !s)
            return s;
        progress.advance(++done * kStepUnits);
    }
    return c.exec(QStringLiteral("PRAGMA user_version = %1").arg(to));
}

Result<int> fileVersion(Connection &c)
{
    auto v = c.scalar(QStringLiteral("PRAGMA user_version"));
    if (!v)
        return v.status();
    return v->toInt();
}

} // namespace

int SchemaVersion()
{
    int version = 1;
    for (const UpgradeStep &step : kUpgrades)
        version = std::max(version, step.to);
    return version;
}

Status CreateSchema(Connection &c)
{
    return CreateSchema(c, SchemaVersion());
}

Status CreateSchema(Connection &c, int version)
{
    if (version < 1 || version > SchemaVersion())
        return Status::failure(QStringLiteral("没有第 %1 版的数据文件格式。").arg(version));
    Transaction tx(c);
    if (!tx.ok())
        return tx.status();
    for (const char *sql : kStatements) {
        if (Status s = c.exec(QString::fromUtf8(sql)); !s)
            return s;
    }
    if (Status s = applyUpgrades(c, 1, version); !s)
        return s;
    return tx.commit();
}

Status UpgradeSchema(Connection &c)
{
    auto before = fileVersion(c);
    if (!before)
        return before.status();
    if (*before == SchemaVersion())
        return {};
    Transaction tx(c);
    if (!tx.ok())
        return tx.status();
    // Read again under the write lock: another program may have upgraded it meanwhile.
    auto version = fileVersion(c);
    if (!version)
        return version.status();
    if (*version > SchemaVersion())
        return Status::failure(QStringLiteral("数据文件由更新版本的程序写入，本程序无法使用。"));
    if (*version == SchemaVersion())
        return {};
    if (*version < 1)
        return Status::failure(QStringLiteral("数据文件不是本程序的数据文件。"), Fault::Damaged);
    Progress &progress = ScopedProgress::current();
    if (Status s = applyUpgrades(c, *version, SchemaVersion(), progress); !s)
        return s;
    progress.stage(QStringLiteral("正在保存升级后的数据文件…"), 0);
    progress.advance(0);
    return tx.commit();
}

bool RemoveDatabaseFile(const QString &path)
{
    bool gone = !QFileInfo::exists(path) || QFile::remove(path);
    for (const char *side : {"-journal", "-wal", "-shm"}) {
        const QString f = path + QLatin1String(side);
        if (QFileInfo::exists(f))
            gone = QFile::remove(f) && gone;
    }
    return gone;
}

Status CreateDatabaseFile(const QString &path)
{
    if (QFileInfo::exists(path))
        return Status::failure(QStringLiteral("数据库文件已存在：%1").arg(path));
    const QString partial = path + QStringLiteral(".new");
    // A run killed half-way leaves the file and its journal; a journal left beside a new
    // file of the same name would be played back into it.
    RemoveDatabaseFile(partial);
    {
        Connection c(partial, Connection::Mode::Create);
        if (!c.ok())
            return c.status();
        if (Status s = CreateSchema(c); !s) {
            return s;
        }
    }
    if (!QFile::rename(partial, path)) {
        RemoveDatabaseFile(partial);
        return Status::failure(QStringLiteral("无法创建数据库文件：%1").arg(path));
    }
    return {};
}

} // namespace db
