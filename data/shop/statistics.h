#pragma once
#include <QDate>
#include <QList>
#include <QString>

#include "data/store/pagedquery.h"
#include "data/store/result.h"

namespace db {

class Connection;

// How the shop runs, read from the figures the database keeps (data/store/figures.h):
// rentals and returns per day and per month, the discs out by how long they have been out,
// the deposits, and the titles and customers rented most in a chosen period.
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

// A chosen period (both days included) drives every figure but the discs out and the
// deposits held now, which are as of today.
constexpr int kMaxDays = 31;    // a longer period shows its last 31 days per day
constexpr int kMinMonths = 12;  // a shorter period shows the 12 months up to its end
constexpr int kMaxMonths = 36;  // a longer one shows its last 36 months
constexpr int kRanked = 20;

struct ShopStatistics
{
    QDate from, to;               // the period
    QList<RentalCount> days;      // the days of the period, at most its last kMaxDays, oldest first
    QList<RentalCount> months;    // whole months up to the period's last, oldest first
    qint64 discsOut[kDaysOutGroups] = {};
    double depositsHeld = 0;
    QList<DepositMonth> deposits; // the months of `months`
    QList<Ranked> topTitles;      // at most kRanked, most rentals first
    QList<Ranked> topCustomers;   // at most kRanked, most rentals first
};

// Everything the statistics window shows: the discs out as of `today`, the rest for the
// period from `from` to `to` (given the other way round, they are swapped).
Result<ShopStatistics> ReadStatistics(Connection &c, const QDate &today, const QDate &from, const QDate &to);
Result<ShopStatistics> ReadStatistics(const QDate &today, const QDate &from, const QDate &to);
// How the customers are ranked: down the kept totals, down the kept month sums (a period
// within one year; another is counted), or by counting the period's rentals, whichever
// costs less (the tests hold them against each other).
enum class CustomerRanking { Cheaper, Walk, Months, Count };
// Only what follows the period, for a change of period.
Status ReadPeriod(Connection &c, const QDate &from, const QDate &to, ShopStatistics &out,
                  CustomerRanking way = CustomerRanking::Cheaper);
Status ReadPeriod(const QDate &from, const QDate &to, ShopStatistics &out);

// The discs out in one group as of `today`, as the disc lists page them.
PagedQuery DiscsOutQuery(DaysOut group, const QDate &today);

} // namespace db
