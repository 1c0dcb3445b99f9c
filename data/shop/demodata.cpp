#include "data/shop/demodata.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <algorithm>
#include <vector>

#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/search/customerindex.h"
#include "data/store/dates.h"
#include "data/search/discindex.h"
#include "data/store/programdir.h"
#include "data/store/schema.h"

namespace db {
namespace {

// A small, fixed generator so that a seed gives the same shop on every machine.
class Rng
{
public:
    explicit Rng(quint32 seed) : m_state(seed * 2654435761u + 1u) {}
    quint32 next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    int below(int n) { return n <= 0 ? 0 : int(next() % quint32(n)); }
    bool percent(int p) { return below(100) < p; }
    template <typename T>
    const T &pick(const std::vector<T> &v) { return v[size_t(below(int(v.size())))]; }

private:
    quint32 m_state;
};

const std::vector<QString> kTitleHeads = {
    QStringLiteral("月光"), QStringLiteral("江湖"), QStringLiteral("风云"), QStringLiteral("少年"),
    QStringLiteral("红尘"), QStringLiteral("夜色"), QStringLiteral("金色"), QStringLiteral("青春"),
    QStringLiteral("大漠"), QStringLiteral("星空"), QStringLiteral("海港"), QStringLiteral("古城"),
    QStringLiteral("飞鹰"), QStringLiteral("雪山"), QStringLiteral("黎明"), QStringLiteral("长街")};
const std::vector<QString> kTitleTails = {
    QStringLiteral("传说"), QStringLiteral("往事"), QStringLiteral("之恋"), QStringLiteral("行动"),
    QStringLiteral("奇缘"), QStringLiteral("风暴"), QStringLiteral("密码"), QStringLiteral("英雄"),
    QStringLiteral("归来"), QStringLiteral("岁月"), QStringLiteral("追踪"), QStringLiteral("笑传")};
const std::vector<QString> kSurnames = {
    QStringLiteral("王"), QStringLiteral("李"), QStringLiteral("张"), QStringLiteral("刘"),
    QStringLiteral("陈"), QStringLiteral("杨"), QStringLiteral("赵"), QStringLiteral("黄"),
    QStringLiteral("周"), QStringLiteral("吴"), QStringLiteral("林"), QStringLiteral("郑")};
const std::vector<QString> kGivenNames = {
    QStringLiteral("小明"), QStringLiteral("建国"), QStringLiteral("丽华"), QStringLiteral("志强"),
    QStringLiteral("海燕"), QStringLiteral("子文"), QStringLiteral("晓东"), QStringLiteral("美玲"),
    QStringLiteral("国栋"), QStringLiteral("秀英"), QStringLiteral("家辉"), QStringLiteral("静怡")};
const std::vector<QString> kCountries = {
    QStringLiteral("中国"), QStringLiteral("香港"), QStringLiteral("台湾"), QStringLiteral("美国"),
    QStringLiteral("日本"), QStringLiteral("韩国"), QStringLiteral("法国"), QStringLiteral("英国")};
const std::vector<QString> kMedia = {QStringLiteral("VCD"), QStringLiteral("DVD"),
                                     QStringLiteral("SVCD"), QStringLiteral("DVD9")};
const std::vector<QString> kCategories = {
    QStringLiteral("动作"), QStringLiteral("喜剧"), QStringLiteral("爱情"), QStringLiteral("科幻"),
    QStringLiteral("恐怖"), QStringLiteral("动画"), QStringLiteral("战争"), QStringLiteral("剧情")};
const std::vector<QString> kShelves = {
    QStringLiteral("A1"), QStringLiteral("A2"), QStringLiteral("A3"), QStringLiteral("B1"),
    QStringLiteral("B2"), QStringLiteral("B3"), QStringLiteral("C1"), QStringLiteral("C2")};
const std::vector<QString> kCardTypes = {QStringLiteral("普通卡"), QStringLiteral("银卡"),
                                         QStringLiteral("金卡"), QStringLiteral("钻石卡")};
const std::vector<QString> kRegions = {QStringLiteral("110105"), QStringLiteral("310104"),
                                       QStringLiteral("440106"), QStringLiteral("510107"),
                                       QStringLiteral("330102")};

QString personName(Rng &r) { return r.pick(kSurnames) + r.pick(kGivenNames); }

// Identity numbers pass the shop's own check: digits only, born 1930-1992, month 1-12, day 1-28.
QString identityNumber(Rng &r, int serial)
{
    const int year = 1930 + r.below(63);
    const QString md = QStringLiteral("%1%2").arg(1 + r.below(12), 2, 10, QLatin1Char('0'))
                           .arg(1 + r.below(28), 2, 10, QLatin1Char('0'));
    const QString region = r.pick(kRegions);
    if (r.percent(30))
        return region + QString::number(year % 100) + md + QStringLiteral("%1").arg(serial % 1000, 3, 10, QLatin1Char('0'));
    for (int seq = serial;; ++seq) {
        const QString body = region + QString::number(year) + md
                             + QStringLiteral("%1").arg(seq % 1000, 3, 10, QLatin1Char('0'));
        static const int weights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
        int sum = 0;
        for (int i = 0; i < 17; ++i)
            sum += body[i].digitValue() * weights[i];
        const char check = "10X98765432"[sum % 11];
        if (check != 'X')
            return body + QLatin1Char(check);
    }
}

struct Disc
{
    QString title, starring, director, country, media, category, shelf, remark, synopsis;
    int count = 1;
    QDate registered;
    bool cover = false;
    int rentals = 0;
    int openRecord = -1; // index of the record while the disc is out
    bool deleted = false;
};

struct Customer
{
    QString name, card, cardType, remark;
    QDate cardDate, depositDate, lastRental;
    int deposit = 0;
    int discsRented = 0;
};

struct Rental
{
    int disc = 0, customer = 0;
    QDate rented, returned, deletedOn;
    bool deleted = false;
};

Status fail(const QSqlQuery &q, Connection &c) { return c.failure(q.lastError()); }

} // namespace

QByteArray MakeCoverBmp(int width, int height, quint32 seed)
{
    Rng r(seed);
    const int rowBytes = (width * 3 + 3) & ~3;
    const quint32 pixelBytes = quint32(rowBytes * height);
    QByteArray bmp(54 + int(pixelBytes), '\0');
    auto put32 = [&](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + i] = char((v >> (8 * i)) & 0xff);
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, quint32(bmp.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, quint32(width));
    put32(22, quint32(height));
    bmp[26] = 1;
    bmp[28] = 24;
    put32(34, pixelBytes);
    const int r0 = 40 + r.below(180), g0 = 40 + r.below(180), b0 = 40 + r.below(180);
    const int band = 6 + r.below(10);
    for (int y = 0; y < height; ++y) {
        char *row = bmp.data() + 54 + y * rowBytes;
        for (int x = 0; x < width; ++x) {
            const bool stripe = ((x + y) / band) % 2 == 0;
            const int shade = (y * 60) / height;
            row[x * 3 + 0] = char(std::clamp(b0 + shade - (stripe ? 30 : 0), 0, 255));
            row[x * 3 + 1] = char(std::clamp(g0 + shade, 0, 255));
            row[x * 3 + 2] = char(std::clamp(r0 - shade + (stripe ? 20 : 0), 0, 255));
        }
    }
    return bmp;
}

Status GenerateDemoData(Connection &c, const DemoSize &size)
{
    Rng r(size.seed);
    const QDate today = size.anchor.isValid() ? size.anchor : Clock::today();

    std::vector<Disc> discs(size_t(std::max(0, size.discs)));
    for (size_t i = 0; i < discs.size(); ++i) {
        Disc &d = discs[i];
        d.title = r.pick(kTitleHeads) + r.pick(kTitleTails);
        if (r.percent(20))
            d.title += QString::number(2 + r.below(3));
        d.starring = personName(r);
        d.director = personName(r);
        d.country = r.pick(kCountries);
        d.media = r.pick(kMedia);
        d.category = r.pick(kCategories);
        d.shelf = r.pick(kShelves);
        d.count = r.percent(70) ? 1 : (r.percent(80) ? 2 : 3);
        if (r.percent(25))
            d.remark = r.percent(50) ? QStringLiteral("正版") : QStringLiteral("附赠花絮");
        d.synopsis = QStringLiteral("%1主演的%2片《%3》，讲述了一段关于%4的故事。")
                         .arg(d.starring, d.category, d.title, r.pick(kTitleTails));
        d.registered = today.addDays(-(400 + r.below(300)));
        d.cover = r.percent(size.coverPercent);
    }

    std::vector<Customer> customers(size_t(std::max(0, size.customers)));
    for (size_t i = 0; i < customers.size(); ++i) {
        Customer &k = customers[i];
        k.name = personName(r);
        k.card = identityNumber(r, int(i));
        if (r.percent(75)) {
            k.cardType = r.pick(kCardTypes);
            k.cardDate = today.addDays(-(200 + r.below(400)));
        }
        if (r.percent(60)) {
            static const int amounts[] = {50, 100, 200, 300};
            k.deposit = amounts[r.below(4)];
            k.depositDate = today.addDays(-(200 + r.below(400)));
        }
        if (r.percent(20))
            k.remark = QStringLiteral("老顾客");
    }

    // Rentals in date order, so a disc is out with at most one customer at a time.
    std::vector<Rental> rentals;
    if (!discs.empty() && !customers.empty()) {
        std::vector<int> days(size_t(std::max(0, size.rentals)));
        for (int &d : days)
            d = r.below(366);
        std::sort(days.begin(), days.end(), std::greater<int>());
        rentals.reserve(days.size());
        for (int daysAgo : days) {
            Rental t;
            t.disc = r.below(int(discs.size()));
            t.customer = r.below(int(customers.size()));
            t.rented = today.addDays(-daysAgo);
            Disc &d = discs[size_t(t.disc)];
            if (d.openRecord >= 0) {
                Rental &open = rentals[size_t(d.openRecord)];
                open.returned = open.rented.addDays(r.below(int(open.rented.daysTo(t.rented)) + 1));
            }
            d.openRecord = int(rentals.size());
            d.rentals += 1;
            Customer &k = customers[size_t(t.customer)];
            k.discsRented += d.count;
            k.lastRental = t.rented;
            rentals.push_back(t);
        }
        // Most discs have come back by now; the rest are out.
        for (Disc &d : discs) {
            if (d.openRecord < 0)
                continue;
            Rental &open = rentals[size_t(d.openRecord)];
            if (r.percent(70)) {
                open.returned = open.rented.addDays(r.below(int(open.rented.daysTo(today)) + 1));
                d.openRecord = -1;
            }
        }
        // Some discs leave the catalogue: the first while out, the second after coming back.
        const int toDelete = std::max(2, int(discs.size()) * size.deletePercent / 100);
        int deleted = 0;
        bool wantOut = true;
        for (size_t i = 0; i < discs.size() && deleted < toDelete; ++i) {
            Disc &d = discs[(i * 7919) % discs.size()];
            if (d.deleted || d.rentals == 0 || (wantOut != (d.openRecord >= 0)))
                continue;
            d.deleted = true;
            ++deleted;
            wantOut = !wantOut;
        }
        for (Rental &t : rentals) {
            const Disc &d = discs[size_t(t.disc)];
            if (!d.deleted)
                continue;
            t.deleted = true;
            const QDate last = t.returned.isValid() ? t.returned : t.rented;
            t.deletedOn = last.addDays(r.below(int(last.daysTo(today)) + 1));
        }
        // Deletion dates of one disc's records are one date: the day it was deleted.
        std::vector<QDate> deletedOn(discs.size());
        for (const Rental &t : rentals) {
            if (t.deleted && (!deletedOn[size_t(t.disc)].isValid() || t.deletedOn > deletedOn[size_t(t.disc)]))
                deletedOn[size_t(t.disc)] = t.deletedOn;
        }
        for (Rental &t : rentals) {
            if (t.deleted)
                t.deletedOn = deletedOn[size_t(t.disc)];
        }
    }

    Transaction tx(c);
    if (!tx.ok())
        return tx.status();

    QSqlQuery q = c.query();
    // Lookup values: one row may carry a value for several lists.
    std::vector<QString> directors, stars;
    for (size_t i = 0; i < 10 && i < discs.size(); ++i) {
        if (std::find(directors.begin(), directors.end(), discs[i].director) == directors.end())
            directors.push_back(discs[i].director);
        if (std::find(stars.begin(), stars.end(), discs[i].starring) == stars.end())
            stars.push_back(discs[i].starring);
    }
    if (!q.prepare(QStringLiteral("INSERT INTO table3 (s2, s3, s6, s8, s9, s11, s13) VALUES (?,?,?,?,?,?,?)")))
        return fail(q, c);
    for (size_t row = 0; row < 10; ++row) {
        auto value = [&](const std::vector<QString> &v) { return row < v.size() ? QVariant(v[row]) : QVariant(); };
        q.addBindValue(value(kCategories));
        q.addBindValue(value(kCardTypes));
        q.addBindValue(value(kCountries));
        q.addBindValue(value(directors));
        q.addBindValue(value(kShelves));
        q.addBindValue(value(kMedia));
        q.addBindValue(value(stars));
        if (!q.exec())
            return fail(q, c);
    }

    if (!q.prepare(QStringLiteral(
            "INSERT INTO table1 (t13, t14, t10, t11, t18, t7, t20, t38, t41, t34, img1, s1, s2, s3, s4) "
            "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)")))
        return fail(q, c);
    QSqlQuery blank = c.query();
    if (!blank.prepare(QStringLiteral("INSERT INTO table1 (s4) VALUES (0)")))
        return fail(blank, c);
    for (size_t i = 0; i < discs.size(); ++i) {
        const Disc &d = discs[i];
        if (d.deleted) {
            if (!blank.exec())
                return fail(blank, c);
            continue;
        }
        const Rental *open = d.openRecord >= 0 ? &rentals[size_t(d.openRecord)] : nullptr;
        q.addBindValue(d.title);
        q.addBindValue(d.starring);
        q.addBindValue(d.country);
        q.addBindValue(d.director);
        q.addBindValue(d.media);
        q.addBindValue(d.count);
        q.addBindValue(d.category);
        q.addBindValue(d.shelf);
        q.addBindValue(d.remark.isEmpty() ? QVariant() : QVariant(d.remark));
        q.addBindValue(d.synopsis);
        q.addBindValue(d.cover ? QVariant(MakeCoverBmp(96, 128, size.seed + quint32(i))) : QVariant(QMetaType(QMetaType::QByteArray)));
        q.addBindValue(open ? QVariant(toStoredDate(open->rented)) : QVariant());
        q.addBindValue(toStoredDate(d.registered));
        q.addBindValue(open ? QVariant(customers[size_t(open->customer)].name) : QVariant());
        q.addBindValue(d.rentals);
        if (!q.exec())
            return fail(q, c);
    }

    // A customer has settled when none of their discs is out or was lost while out.
    std::vector<bool> owes(customers.size(), false);
    for (const Rental &t : rentals) {
        if (!t.returned.isValid())
            owes[size_t(t.customer)] = true;
    }
    if (!q.prepare(QStringLiteral("INSERT INTO table2 (t1, t2, t3, s4, t4, s5, t5, s1, s2, s3) "
                                  "VALUES (?,?,?,?,?,?,?,?,?,?)")))
        return fail(q, c);
    auto date = [](const QDate &d) { return d.isValid() ? QVariant(toStoredDate(d)) : QVariant(); };
    for (size_t i = 0; i < customers.size(); ++i) {
        const Customer &k = customers[i];
        q.addBindValue(k.name);
        q.addBindValue(k.card);
        q.addBindValue(k.cardType.isEmpty() ? QVariant() : QVariant(k.cardType));
        q.addBindValue(date(k.cardDate));
        q.addBindValue(k.deposit);
        q.addBindValue(date(k.depositDate));
        q.addBindValue(k.remark.isEmpty() ? QVariant() : QVariant(k.remark));
        q.addBindValue(date(k.lastRental));
        q.addBindValue(k.discsRented);
        q.addBindValue(k.discsRented > 0 && !owes[i] ? QVariant(QStringLiteral("√")) : QVariant());
        if (!q.exec())
            return fail(q, c);
    }

    if (!q.prepare(QStringLiteral("INSERT INTO table4 (discid, discname, khid, s1, s2, s3, s4) "
                                  "VALUES (?,?,?,?,?,?,?)")))
        return fail(q, c);
    for (const Rental &t : rentals) {
        q.addBindValue(t.disc + 1);
        q.addBindValue(discs[size_t(t.disc)].title);
        q.addBindValue(t.customer + 1);
        q.addBindValue(toStoredDate(t.rented));
        if (t.deleted)
            q.addBindValue(QStringLiteral("已删除"));
        else
            q.addBindValue(t.returned.isValid() ? QVariant(QStringLiteral("√")) : QVariant());
        q.addBindValue(date(t.returned));
        q.addBindValue(date(t.deletedOn));
        if (!q.exec())
            return fail(q, c);
    }
    // The search indexes logged every disc and customer on the way in; one rebuild each
    // files them at once.
    if (Status s = RebuildDiscIndex(c); !s)
        return s;
    if (Status s = RebuildCustomerIndex(c); !s)
        return s;
    return tx.commit();
}

Status CreateDatabaseFiles()
{
    if (!QFileInfo::exists(RealDatabaseFile())) {
        if (Status s = CreateDatabaseFile(RealDatabaseFile()); !s)
            return s;
    }
    if (QFileInfo::exists(DemoDatabaseFile()))
        return {};
    const QString partial = DemoDatabaseFile() + QStringLiteral(".part");
    RemoveDatabaseFile(partial);
    if (Status s = CreateDatabaseFile(partial); !s)
        return s;
    {
        Connection c(partial);
        if (!c.ok())
            return c.status();
        if (Status s = GenerateDemoData(c, DemoSize{}); !s)
            return s;
        // A demonstration file made anew beside a shop that has accounts gets them, so
        // whoever logs in passes the login check of the switch to the demonstration data.
        if (Status s = c.exec(QStringLiteral("ATTACH DATABASE ? AS shop"), {RealDatabaseFile()}); !s)
            return s;
        const Status copied = c.exec(QStringLiteral("INSERT INTO main.table7 (t1, t2) SELECT t1, t2 FROM shop.table7 "
                                                    "WHERE t1 NOT IN (SELECT t1 FROM main.table7) ORDER BY id"));
        c.exec(QStringLiteral("DETACH DATABASE shop"));
        if (!copied)
            return copied;
    }
    if (!QFile::rename(partial, DemoDatabaseFile()))
        return Status::failure(QStringLiteral("无法创建数据库文件：%1").arg(DemoDatabaseFile()));
    return {};
}

} // namespace db
