#pragma once
#include <QDate>
#include <QList>
#include <QString>

#include "data/store/pagedquery.h"
#include "data/store/result.h"

namespace db {

class Connection;

// How the shop runs, counted from its records: rentals and returns per day and per month,
// the discs out by how long they have been out, the deposits, and the titles and customers
// rented most in a chosen period.
struct RentalCount
{
    QDate from;  // the day, or the first day of the month
    qint64 rentals = 0;
    qint64 returns = 0;
};

struct DepositMonth
{
    QDate month;  // first day of the month
    double taken = 0;
    double refunded = 0;
};

struct Ranked
{
    qint64 id = 0;  // customer number; 0 for a title
    QString name;
    qint64 rentals = 0;
};

// Discs out for ≤ 7, 8–30, 31–90 and more than 90 days.
enum class DaysOut { UpToWeek, UpToMonth, UpToQuarter, Longer };
constexpr int kDaysOutGroups = 4;
QString DaysOutLabel(DaysOut group);

struct ShopStatistics
{
    QList<RentalCount> days;      // the 30 days up to today, oldest first
    QList<RentalCount> months;    // the 12 months up to this one, oldest first
    qint64 discsOut[kDaysOutGroups] = {};
    double depositsHeld = 0;
    QList<DepositMonth> deposits; // the 12 months up to this one, oldest first
    QList<Ranked> topTitles;      // at most 20, most rentals first
    QList<Ranked> topCustomers;   // at most 20, most rentals first
};

// Everything the statistics window shows, as of `today`; the rankings count the rentals
// made from `from` to `to` (both included).
Result<ShopStatistics> ReadStatistics(Connection &c, const QDate &today, const QDate &from, const QDate &to);
Result<ShopStatistics> ReadStatistics(const QDate &today, const QDate &from, const QDate &to);
// Only the rankings, for a change of period.
Status ReadRankings(Connection &c, const QDate &from, const QDate &to, ShopStatistics &out);
Status ReadRankings(const QDate &from, const QDate &to, ShopStatistics &out);

// The discs out in one group as of `today`, as the disc lists page them.
PagedQuery DiscsOutQuery(DaysOut group, const QDate &today);

} // namespace db
