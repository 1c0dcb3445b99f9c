#include "support/filedigest.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QIODevice>
#include <QSqlQuery>
#include <QSqlRecord>

#include "data/connection.h"

namespace testsupport {
namespace {

void add(QCryptographicHash &h, const QVariant &v)
{
    QByteArray b;
    QDataStream s(&b, QIODevice::WriteOnly);
    s << v.isNull() << v.metaType().id();
    if (!v.isNull())
        s << v;
    h.addData(b);
}

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

} // namespace

QByteArray ContentDigest(const QString &path, QString *error)
{
    db::Connection c(path, db::Connection::Mode::Inspect);
    if (!c.ok()) {
        fail(error, c.status().error());
        return {};
    }
    QCryptographicHash h(QCryptographicHash::Sha256);
    auto version = c.scalar(QStringLiteral("PRAGMA user_version"));
    if (!version) {
        fail(error, version.error());
        return {};
    }
    add(h, version.value());
    auto schema = c.run(QStringLiteral("SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY type, name"));
    if (!schema) {
        fail(error, schema.error());
        return {};
    }
    QStringList tables;
    while (schema.value().next()) {
        for (int i = 0; i < 4; ++i)
            add(h, schema.value().value(i));
        if (schema.value().value(0).toString() == QLatin1String("table"))
            tables << schema.value().value(1).toString();
    }
    schema.value().finish();
    for (const QString &table : std::as_const(tables)) {
        auto columns = c.scalar(QStringLiteral("SELECT count(*) FROM pragma_table_info(?)"), {table});
        if (!columns) {
            fail(error, columns.error());
            return {};
        }
        QStringList order;
        for (int i = 1; i <= columns->toInt(); ++i)
            order << QString::number(i);
        // Every column in the order: a total order on the rows whatever the table's key.
        auto q = c.run(QStringLiteral("SELECT * FROM \"%1\" ORDER BY %2").arg(table, order.join(QLatin1Char(','))));
        if (!q) {
            fail(error, q.error());
            return {};
        }
        add(h, table);
        while (q.value().next()) {
            const int n = q.value().record().count();
            for (int i = 0; i < n; ++i)
                add(h, q.value().value(i));
        }
    }
    return h.result();
}

} // namespace testsupport
