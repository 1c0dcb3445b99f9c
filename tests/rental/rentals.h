#pragma once
// Rentals arranged the way the rental window stores them: a rental record with no return
// mark, the disc marked out with the customer's name, the customer's last rental date and
// discs rented moved on and the settled mark cleared.
#include <QString>

#include "support/programfolder.h"

namespace rentals {

inline void addDisc(const testsupport::ProgramFolder &f, qint64 id, const QString &title, int count = 1)
{
    f.exec(QStringLiteral("INSERT INTO table1 (id, t13, t14, t11, t7, t18, t38) VALUES (?, ?, '主角', '导演', ?, 'DVD', 'A1')"),
           {id, title, count});
}

inline void addCustomer(const testsupport::ProgramFolder &f, qint64 id, const QString &name, int deposit = 0,
                        const QString &cardType = QString())
{
    f.exec(QStringLiteral("INSERT INTO table2 (id, t1, t2, t3, s4, t4, s5, t5) VALUES (?, ?, '110105198502300', ?, ?, ?, ?, '老顾客')"),
           {id, name, cardType.isEmpty() ? QVariant() : QVariant(cardType),
            cardType.isEmpty() ? QVariant() : QVariant(QStringLiteral("2025-06-01")), deposit,
            deposit > 0 ? QVariant(QStringLiteral("2025-07-01")) : QVariant()});
}

// Returns the rental record's number.
inline qint64 rent(const testsupport::ProgramFolder &f, qint64 disc, qint64 customer, const QString &on)
{
    f.exec(QStringLiteral("INSERT INTO table4 (discid, discname, khid, s1) SELECT id, t13, ?, ? FROM table1 WHERE id = ?"),
           {customer, on, disc});
    f.exec(QStringLiteral("UPDATE table1 SET s1 = ?, s3 = (SELECT t1 FROM table2 WHERE id = ?), s4 = s4 + 1 WHERE id = ?"),
           {on, customer, disc});
    f.exec(QStringLiteral("UPDATE table2 SET s1 = ?, s2 = s2 + (SELECT ifnull(t7, 0) FROM table1 WHERE id = ?), s3 = NULL "
                          "WHERE id = ?"),
           {on, disc, customer});
    return f.scalar(QStringLiteral("SELECT max(id) FROM table4")).toLongLong();
}

// Rows as the database holds them, with NULL as an invalid QVariant so rows compare with
// lists written in the test.
inline QList<QVariantList> rows(const testsupport::ProgramFolder &f, const QString &sql, const QVariantList &binds = {})
{
    QList<QVariantList> out = f.rows(sql, binds);
    for (QVariantList &row : out) {
        for (QVariant &v : row) {
            if (v.isNull())
                v = QVariant();
        }
    }
    return out;
}

} // namespace rentals
