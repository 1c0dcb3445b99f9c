#include "data/safety/shopcopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <limits>

#include "data/search/customerindex.h"
#include "data/search/discindex.h"
#include "data/store/connection.h"
#include "data/store/schema.h"
#include "data/store/serverschema.h"

namespace db {
namespace {

struct Table
{
    const char *name;
    const char *what; // for the progress
};
const Table kTables[] = {
    {"table1", "碟片"},         {"table2", "客户"},     {"table3", "选择列表"}, {"table4", "租碟记录"},
    {"table5", "退证记录"},     {"table6", "退押金记录"},   {"table7", "登录账户"}, {"table8", "登录记录"},
};

// Rows are read a batch at a time, so a large shop never sits in memory whole.
constexpr int kBatch = 5000;
constexpr int kRowsPerServerInsert = 250;

QStringList columnsOf(Connection &c, const QString &table)
{
    auto q = c.run(QStringLiteral("SELECT * FROM %1 WHERE 1 = 0").arg(table));
    QStringList out;
    if (!q)
        return out;
    const QSqlRecord r = q.value().record();
    for (int i = 0; i < r.count(); ++i)
        out << r.fieldName(i).toLower();
    return out;
}

// The highest id the source ever gave out, deleted rows included.
Result<qint64> lastIdGiven(Connection &c, const QString &table)
{
    auto max = c.scalar(QStringLiteral("SELECT max(id) FROM %1").arg(table));
    if (!max)
        return max.status();
    auto seq = c.onServer()
        ? c.scalar(QStringLiteral("SELECT CASE WHEN is_called THEN last_value ELSE 0 END FROM %1_id_seq").arg(table))
        : c.scalar(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ?"), {table});
    if (!seq)
        return seq.status();
    return std::max(max->toLongLong(), seq->toLongLong());
}

Status setLastId(Connection &c, const QString &table, qint64 last)
{
    if (last <= 0)
        return {};
    if (c.onServer())
        return c.exec(QStringLiteral("SELECT setval('%1_id_seq', ?)").arg(table), {last});
    if (Status s = c.exec(QStringLiteral("DELETE FROM sqlite_sequence WHERE name = ?"), {table}); !s)
        return s;
    return c.exec(QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)"), {table, last});
}

Status copyTable(Connection &from, Connection &to, const Table &t, Progress &progress, qint64 &copied)
{
    const QString table = QString::fromLatin1(t.name);
    const QStringList source = columnsOf(from, table);
    QStringList columns;
    for (const QString &col : columnsOf(to, table)) {
        if (source.contains(col))
            columns << col;
    }
    if (!columns.contains(QLatin1String("id")))
        return Status::failure(QStringLiteral("无法读取表 %1 的列。").arg(table));
    auto count = from.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(table));
    if (!count)
        return count.status();
    progress.stage(QStringLiteral("复制%1").arg(QString::fromUtf8(t.what)), count->toLongLong());
    const QString list = columns.join(QStringLiteral(", "));
    QStringList marks;
    for (qsizetype i = 0; i < columns.size(); ++i)
        marks << QStringLiteral("?");
    // A server is sent many rows a statement: one round trip a row would dominate the copy.
    const int perInsert = to.onServer() ? kRowsPerServerInsert : 1;
    const QString row = QStringLiteral("(%1)").arg(marks.join(QStringLiteral(", ")));
    const QString insertSql = QStringLiteral("INSERT INTO %1 (%2) VALUES ").arg(table, list);
    QSqlQuery insert = to.query(), shorter = to.query();
    auto prepare = [&](QSqlQuery &q, int rows) {
        QStringList values;
        for (int i = 0; i < rows; ++i)
            values << row;
        return q.prepare(insertSql + values.join(QStringLiteral(", ")));
    };
    if (!prepare(insert, perInsert))
        return to.failure(insert.lastError());
    const QString read = QStringLiteral("SELECT %1 FROM %2 WHERE id > ? ORDER BY id LIMIT %3").arg(list, table).arg(kBatch);
    const int idColumn = int(columns.indexOf(QLatin1String("id")));
    qint64 after = std::numeric_limits<qint64>::min(), done = 0;
    while (true) {
        auto rows = from.run(read, {after});
        if (!rows)
            return rows.status();
        int inBatch = 0, pending = 0;
        QVariantList values;
        auto flush = [&]() -> Status {
            if (pending == 0)
                return {};
            QSqlQuery *q = &insert;
            if (pending < perInsert) {
                if (!prepare(shorter, pending))
                    return to.failure(shorter.lastError());
                q = &shorter;
            }
            for (qsizetype i = 0; i < values.size(); ++i)
                q->bindValue(int(i), values[i]);
            values.clear();
            pending = 0;
            return to.execPrepared(*q);
        };
        while (rows.value().next()) {
            for (qsizetype i = 0; i < columns.size(); ++i)
                values << rows.value().value(int(i));
            after = rows.value().value(idColumn).toLongLong();
            ++inBatch;
            ++done;
            if (++pending == perInsert) {
                if (Status s = flush(); !s)
                    return s;
            }
        }
        if (Status s = flush(); !s)
            return s;
        if (!progress.advance(done))
            return Status::failure(QStringLiteral("复制已取消，目标中没有留下任何内容。"));
        if (inBatch < kBatch)
            break;
    }
    copied += done;
    auto last = lastIdGiven(from, table);
    if (!last)
        return last.status();
    return setLastId(to, table, *last);
}

Status copyRows(Connection &from, Connection &to, Progress &progress, qint64 &copied)
{
    for (const Table &t : kTables) {
        if (Status s = copyTable(from, to, t, progress, copied); !s)
            return s;
    }
    // A file logged the rows for its search indexes on the way in, a server (its log triggers
    // off, LoadWithoutTriggers) did not: either way they are filed at once.
    progress.stage(QStringLiteral("建立搜索索引"), 0);
    if (Status s = RebuildDiscIndex(to); !s)
        return s;
    return RebuildCustomerIndex(to);
}

Result<qint64> copyToServer(Connection &from, const ServerShop &shop, Progress &progress)
{
    Connection to(shop, Connection::Mode::Create);
    if (!to.ok())
        return to.status();
    Transaction tx(to);
    if (!tx.ok())
        return tx.status();
    if (Status s = CreateServerSchema(to); !s)
        return Status::failure(QStringLiteral("%1\n（%2）").arg(s.error(), to.path()), s.fault());
    qint64 copied = 0;
    if (Status s = LoadWithoutTriggers(to, [&] { return copyRows(from, to, progress, copied); }); !s)
        return s;
    // The planner's figures of the new rows, so the first lists after the copy are planned well.
    if (Status s = to.exec(QStringLiteral("ANALYZE")); !s)
        return s;
    if (Status s = tx.commit(); !s)
        return s;
    return copied;
}

Result<qint64> copyToFile(Connection &from, const QString &path, Progress &progress)
{
    if (QFileInfo::exists(path))
        return Status::failure(QStringLiteral("目标文件已经存在，不会覆盖：%1").arg(QDir::toNativeSeparators(path)));
    // The file appears under its name only once the copy is whole.
    const QString partial = path + QStringLiteral(".part");
    RemoveDatabaseFile(partial);
    if (Status s = CreateDatabaseFile(partial); !s)
        return s;
    qint64 copied = 0;
    Status result = [&]() -> Status {
        Connection to(partial);
        if (!to.ok())
            return to.status();
        Transaction tx(to);
        if (!tx.ok())
            return tx.status();
        if (Status s = copyRows(from, to, progress, copied); !s)
            return s;
        return tx.commit();
    }();
    if (result && !QFile::rename(partial, path))
        result = Status::failure(QStringLiteral("无法建立数据库文件：%1").arg(QDir::toNativeSeparators(path)));
    if (!result) {
        RemoveDatabaseFile(partial);
        return result;
    }
    return copied;
}

} // namespace

QString ShopPlace::describe() const
{
    return server ? server->describe() : QStringLiteral("数据文件 %1").arg(QDir::toNativeSeparators(file));
}

Result<ShopPlace> ParseShopPlace(const QString &text)
{
    ShopPlace place;
    if (!text.contains(QLatin1String("dbname="))) {
        place.file = text;
        return place;
    }
    QString problem;
    place.server = ServerShop::parse(text, &problem);
    if (!place.server)
        return Status::failure(problem);
    return place;
}

Result<qint64> CopyShop(const ShopPlace &from, const ShopPlace &to, Progress &progress)
{
    if (from.server && to.server)
        return Status::failure(QStringLiteral("来源和目标不能都是数据库服务器：请先复制到一个数据文件，再从它复制。"));
    if (!from.server && !to.server && QFileInfo(from.file).absoluteFilePath() == QFileInfo(to.file).absoluteFilePath())
        return Status::failure(QStringLiteral("来源和目标是同一个文件。"));
    std::optional<Connection> source;
    if (from.server)
        source.emplace(*from.server, Connection::Mode::Existing);
    else
        source.emplace(from.file, Connection::Mode::Existing);
    if (!source->ok())
        return source->status();
    return to.server ? copyToServer(*source, *to.server, progress) : copyToFile(*source, to.file, progress);
}

} // namespace db
