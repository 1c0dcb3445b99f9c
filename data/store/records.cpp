#include "data/store/records.h"

#include "data/store/connection.h"

namespace db {

Status AppendBlankDisc(Connection &c)
{
    return c.exec(QStringLiteral("INSERT INTO table1 DEFAULT VALUES"));
}

Status AppendBlankCustomer(Connection &c)
{
    return c.exec(QStringLiteral("INSERT INTO table2 DEFAULT VALUES"));
}

Result<qint64> NextDiscId(Connection &c)
{
    auto free = c.scalar(QStringLiteral("SELECT min(id) AS minid FROM table1 WHERE t13 IS NULL"));
    if (!free)
        return free.status();
    if (!free->isNull())
        return free->toLongLong();
    auto last = c.scalar(QStringLiteral("SELECT max(id) AS minid FROM table1 WHERE t13 IS NOT NULL"));
    if (!last)
        return last.status();
    return last->isNull() ? qint64(1) : last->toLongLong() + 1;
}

Result<qint64> NextDiscId()
{
    Connection c;
    if (!c.ok())
        return c.status();
    return NextDiscId(c);
}

} // namespace db
