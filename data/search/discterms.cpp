#include "data/search/discterms.h"

namespace db::index {

QString rowColumns(const QString &p, bool server)
{
    // A server's columns hold text alone; the file's may hold numbers, which no value matches.
    if (server)
        return QStringLiteral("%1t13 IS NOT NULL, %1t13::text, %1t14::text, %1t11::text, %1t18::text, %1t20::text, "
                              "%1t10::text, %1s3 IS NOT NULL")
            .arg(p);
    return QStringLiteral("%1t13 IS NOT NULL, CAST(%1t13 AS TEXT), CAST(%1t14 AS TEXT), CAST(%1t11 AS TEXT), "
                          "CASE WHEN typeof(%1t18) = 'text' THEN %1t18 END, "
                          "CASE WHEN typeof(%1t20) = 'text' THEN %1t20 END, "
                          "CASE WHEN typeof(%1t10) = 'text' THEN %1t10 END, %1s3 IS NOT NULL")
        .arg(p);
}

DiscRow readRow(const QSqlQuery &q)
{
    DiscRow r;
    r.id = q.value(0).toLongLong();
    r.disc = q.value(1).toLongLong() != 0;
    r.title = q.value(2).toString();
    r.starring = q.value(3).toString();
    r.director = q.value(4).toString();
    r.media = q.value(5).toString();
    r.category = q.value(6).toString();
    r.country = q.value(7).toString();
    r.out = q.value(8).toLongLong() != 0;
    return r;
}

void termKeys(const DiscRow &r, std::vector<TermKey> &out, Values &values)
{
    if (!r.disc)
        return;
    gramKeys(out, kTitle, r.title);
    gramKeys(out, kStarring, r.starring);
    gramKeys(out, kDirector, r.director);
    valueKey(out, kMedia, r.media, values);
    valueKey(out, kCategory, r.category, values);
    valueKey(out, kCountry, r.country, values);
    if (r.out)
        markKey(out, kOut);
}

void rowTermKeys(const QSqlQuery &q, std::vector<TermKey> &out, Values &values)
{
    termKeys(readRow(q), out, values);
}

Terms termsOf(const DiscRow &r)
{
    std::vector<TermKey> keys;
    Values values;
    termKeys(r, keys, values);
    return termsOf(keys, values);
}

} // namespace db::index
