// Times the rental actions on a generated shop, each beside the same work done the naive way
// (the same statements row by row, each in its own implicit transaction):
//   lanlan_bench_rental SHOP.sqlite [--reps N]
// The shop is copied first; the copy is written to. Every run rents discs of its own, so no
// run finds its discs already out.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/store/dates.h"
#include "data/shop/lookuplists.h"
#include "data/store/programdir.h"
#include "data/shop/rentals.h"
#include "rental/input_form2.h"
#include "rental/prerentlist.h"

#include "bench/common/naiverental.h"
#include "bench/common/timing.h"

using namespace bench;

namespace {

QTextStream out(stdout);


void row(const QString &shop, const QString &action, const Stats &ours, const std::optional<Stats> &naive)
{
    printRow(out, {shop, action}, ours, naive);
}

// Rentable discs to hand out, taken in turn so that no two runs rent the same disc.
class DiscPool
{
public:
    explicit DiscPool(int n)
    {
        db::Connection c;
        auto q = c.run(QStringLiteral("SELECT id, t13 FROM table1 WHERE t13 IS NOT NULL AND s3 IS NULL "
                                      "ORDER BY (id * 7919) % 1000003 LIMIT ?"),
                       {n});
        must(q.ok(), q.error());
        while (q.value().next())
            m_discs.push_back({q.value().value(0).toLongLong(), q.value().value(1).toString()});
        must(int(m_discs.size()) == n, QStringLiteral("enough rentable discs"));
    }
    QList<db::PickedDisc> take(int n)
    {
        must(m_next + n <= m_discs.size(), QStringLiteral("disc pool exhausted"));
        QList<db::PickedDisc> picked(m_discs.begin() + m_next, m_discs.begin() + m_next + n);
        m_next += n;
        return picked;
    }

private:
    std::vector<db::PickedDisc> m_discs;
    size_t m_next = 0;
};

db::RentalRequest newCustomer(const QList<db::PickedDisc> &discs, int serial)
{
    db::RentalRequest r;
    r.name = QStringLiteral("基准客户%1").arg(serial);
    r.cardType = QStringLiteral("VIP卡");
    r.deposit = QStringLiteral("100");
    r.remark = QStringLiteral("基准");
    r.discs = discs;
    return r;
}

// The picker's per-row read done the naive way: one statement per row
// inside one transaction.
void naiveReadForPreRent(const QList<qint64> &ids)
{
    db::Connection c;
    must(c.exec(QStringLiteral("BEGIN")).ok(), QStringLiteral("begin"));
    for (qint64 id : ids) {
        auto q = c.run(QStringLiteral("SELECT id, t13, t38, t7, t18, t14, t11, t10, t20 FROM table1 WHERE id = ?"), {id});
        must(q.ok() && q.value().next(), QStringLiteral("disc row"));
    }
    must(c.exec(QStringLiteral("COMMIT")).ok(), QStringLiteral("commit"));
}

void benchShop(const QString &file, int reps)
{
    const QString shop = QFileInfo(file).completeBaseName();
    QTemporaryDir dir;
    must(dir.isValid(), QStringLiteral("temporary folder"));
    const QString copy = dir.filePath(QStringLiteral("db.sqlite"));
    must(QFile::copy(file, copy), QStringLiteral("copy ") + file);
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    db::ProgramDir::setPath(dir.path());
    db::DemoData::setEnabled(false);
    {
        db::Connection warm; // the first open upgrades the copy
        must(warm.ok(), warm.status().error());
    }
    must(db::LoadLookupLists().ok(), QStringLiteral("lookup lists"));
    const int naiveReps = std::max(5, reps / 3);
    DiscPool pool(reps * 21 + naiveReps * 11 + 100);

    // "出    租" on a whole page: the 30 discs of a page read and appended to the list.
    const QList<db::PickedDisc> page = pool.take(30);
    QList<qint64> pageIds;
    for (const db::PickedDisc &d : page)
        pageIds << d.id;
    row(shop, QStringLiteral("AddToPreRentList 30 行（读取）"),
        time(reps, [&] { must(db::ReadPreRentDiscs(pageIds).ok(), QStringLiteral("read")); }),
        time(naiveReps, [&] { naiveReadForPreRent(pageIds); }));
    {
        auto *w = new input_Form2;
        row(shop, QStringLiteral("AddToPreRentList 30 行（窗口：读取、列表、表格）"),
            time(reps, [&] { must(rental::PreRent().PreRentCount() == 0, QStringLiteral("empty list"));
                             w->AddToPreRentList(pageIds);
                             must(rental::PreRent().PreRentCount() == 30, QStringLiteral("30 listed")); },
                 [&] { rental::PreRent().clear(); }),
            std::nullopt);
        delete w;
    }

    // What any write costs on this disk: one row in one transaction, the syncs of a commit.
    row(shop, QStringLiteral("参照：一行写入的事务（磁盘同步的下限）"), time(reps, [] {
            db::Connection c;
            db::Transaction tx(c);
            must(c.exec(QStringLiteral("INSERT INTO table8 (loginer) VALUES ('bench')")).ok(), QStringLiteral("insert"));
            must(tx.commit().ok(), QStringLiteral("commit"));
        }),
        std::nullopt);

    int serial = 0;
    for (const int n : {1, 10}) {
        const Stats ours = time(reps, [&] {
            auto r = db::CommitRental(newCustomer(pool.take(n), ++serial));
            must(r.ok(), r.error());
        });
        const Stats naive = time(naiveReps, [&] { naiveCommit(newCustomer(pool.take(n), ++serial)); });
        row(shop, QStringLiteral("CommitRental %1 张碟（新客户）").arg(n), ours, naive);
    }
    // A returning customer found by identity card.
    {
        db::RentalRequest first = newCustomer(pool.take(1), ++serial);
        first.card = QStringLiteral("110101850230123");
        must(db::CommitRental(first).ok(), QStringLiteral("first rental"));
        row(shop, QStringLiteral("CommitRental 10 张碟（按身份证找到老客户）"), time(reps, [&] {
                db::RentalRequest r = newCustomer(pool.take(10), serial);
                r.card = first.card;
                auto done = db::CommitRental(r);
                must(done.ok(), done.error());
            }),
            std::nullopt);
    }
    db::ProgramDir::setPath(QString());
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStringList shops;
    int reps = 30;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--reps") && i + 1 < args.size())
            reps = std::max(3, args[++i].toInt());
        else
            shops << args[i];
    }
    if (shops.isEmpty()) {
        QTextStream(stderr) << "usage: lanlan_bench_rental SHOP.sqlite [SHOP.sqlite ...] [--reps N]\n";
        return 2;
    }
    out << "times in ms, " << reps << " runs each (naive: " << std::max(5, reps / 3) << ")\n\n";
    out << "| shop | action | median | p95 | naive median | naive p95 | naive/ours |\n";
    out << "|---|---|---:|---:|---:|---:|---:|\n";
    for (const QString &s : shops)
        benchShop(s, reps);
    return 0;
}
