#include "support/filedigest.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QIODevice>
#include <QSqlQuery>
#include <QSqlRecord>

#include "data/store/connection.h"

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
        auto names = c.run(QStringLiteral("SELECT name FROM pragma_table_info(?) ORDER BY cid"), {table});
        if (!names) {
            fail(error, names.error());
            return {};
        }
        QStringList columns;
        while (names.value().next()) {
            const QString name = names.value().value(0).toString();
            // A search index names itself with a random token so a copied file is told
            // apart; two runs of one operation differ there and nowhere else.
            if (!(table.endsWith(QLatin1String("_index_state")) && name == QLatin1String("token")))
                columns << QLatin1Char('"') + name + QLatin1Char('"');
        }
        names.value().finish();
        // Every column in the order: a total order on the rows whatever the table's key.
        const QString list = columns.join(QLatin1Char(','));
        auto q = c.run(QStringLiteral("SELECT %2 FROM \"%1\" ORDER BY %2").arg(table, list));
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
