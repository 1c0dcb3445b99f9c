// Times the customer lists, the rental status window and returns on a generated shop, each
// beside the same work done the naive way (rows counted, sorted and skipped over the
// table, no index):
//   lanlan_bench_returns SHOP.sqlite [--reps N]
// The shop (from lanlan_makeshop) is copied first; the copy is upgraded and written to.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/shop/customerlists.h"
#include "data/store/dates.h"
#include "data/store/pagedquery.h"
#include "data/store/programdir.h"
#include "data/shop/returns.h"
#include "lists/kh_list_form1.h"
#include "lists/kh_list_form2.h"
#include "rental/input_form3.h"
#include "ui/reloadflag.h"

#include "bench/common/timing.h"

using namespace bench;

namespace {

QTextStream out(stdout);

void exec(db::Connection &c, const QString &sql, const QVariantList &binds = {})
{
    const db::Status s = c.exec(sql, binds);
    must(s.ok(), sql + QStringLiteral(": ") + s.error());
}

qint64 scalar(db::Connection &c, const QString &sql, const QVariantList &binds = {})
{
    auto v = c.scalar(sql, binds);
    must(v.ok(), sql);
    return v->toLongLong();
}

void row(const QString &action, const Stats &ours, const std::optional<Stats> &naive)
{
    printRow(out, {action}, ours, naive);
}

// The naive page: count every customer of the list and sort them all to skip to the page.
void naivePage(const db::PagedQuery &q, qint64 page)
{
    db::Connection c;
    scalar(c, QStringLiteral("SELECT count(*) FROM table2 NOT INDEXED WHERE %1").arg(q.where));
    auto rows = c.run(QStringLiteral("SELECT %1 FROM table2 NOT INDEXED WHERE %2 ORDER BY s1 DESC, id DESC LIMIT 30 OFFSET ?")
                          .arg(q.columns, q.where),
                      {(page - 1) * 30});
    must(rows.ok(), rows.error());
    int got = 0;
    while (rows.value().next())
        ++got;
    must(got > 0, QStringLiteral("naive page has rows"));
}

// The naive status read: the customer's records found by reading every rental record.
void naiveStatus(qint64 customer)
{
    db::Connection c;
    for (const char *extra : {" AND table4.s2 IS NULL", ""}) {
        auto rows = c.run(QStringLiteral("SELECT table4.id, table4.discid, table4.discname, table1.t14, table1.t11, table1.t7, "
                                         "table1.t18, table4.s1, table4.s2, table4.s3, table4.s4 "
                                         "FROM table4 NOT INDEXED LEFT JOIN table1 ON table1.id = table4.discid "
                                         "WHERE table4.khid = ?%1 ORDER BY table4.s1 DESC")
                              .arg(QLatin1String(extra)),
                          {customer});
        must(rows.ok(), rows.error());
        while (rows.value().next()) {
        }
    }
}

struct Customer
{
    qint64 id = 0;
    QString name;
    QList<qint64> discs; // discs it has out
};

// A customer with `records` rental records, the last `outNow` of them still out, on discs
// that were on the shelf.
Customer makeCustomer(db::Connection &c, const QString &name, int records, int outNow, QList<std::pair<qint64, QString>> &shelf)
{
    const QDate today = db::Clock::today();
    exec(c, QStringLiteral("INSERT INTO table2 (t1, t2, t3, s4, t4, s5, s1, s2) VALUES (?, '110105198502300', '金卡', ?, 100, ?, ?, ?)"),
         {name, db::toStoredDate(today.addDays(-400)), db::toStoredDate(today.addDays(-400)), db::toStoredDate(today), records});
    Customer k{scalar(c, QStringLiteral("SELECT max(id) FROM table2")), name, {}};
    for (int i = 0; i < records; ++i) {
        must(!shelf.isEmpty(), QStringLiteral("discs on the shelf"));
        const auto [disc, title] = shelf.takeFirst();
        const bool out = i >= records - outNow;
        const QDate rented = out ? today.addDays(-(records - i)) : today.addDays(-(365 * (records - i)) / records - 2);
        exec(c, QStringLiteral("INSERT INTO table4 (discid, discname, khid, s1, s2, s3) VALUES (?, ?, ?, ?, ?, ?)"),
             {disc, title, k.id, db::toStoredDate(rented), out ? QVariant() : QVariant(QStringLiteral("√")),
              out ? QVariant() : QVariant(db::toStoredDate(rented.addDays(2)))});
        if (out) {
            exec(c, QStringLiteral("UPDATE table1 SET s1 = ?, s3 = ?, s4 = s4 + 1 WHERE id = ?"), {db::toStoredDate(rented), name, disc});
            k.discs << disc;
        }
    }
    return k;
}

void runAll(const QString &file, int reps)
{
    QTemporaryDir dir;
    must(dir.isValid(), QStringLiteral("temporary folder"));
    const QString copy = dir.filePath(QStringLiteral("db.sqlite"));
    must(QFile::copy(file, copy), QStringLiteral("copy ") + file);
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    db::ProgramDir::setPath(dir.path());
    db::DemoData::setEnabled(false);
    const int naiveReps = std::max(5, reps / 3);

    // The first open upgrades a file of the first release in place.
    QElapsedTimer upgrade;
    upgrade.start();
    {
        db::Connection c;
        must(c.ok(), c.status().error());
    }
    out << "upgrade of " << QFileInfo(file).fileName() << " on first open: " << upgrade.elapsed() << " ms\n\n";
    out << "| action | median | p95 | naive median | naive p95 | naive/ours |\n";
    out << "|---|---:|---:|---:|---:|---:|\n";

    for (const auto &[name, q] : {std::pair{QStringLiteral("全部客户"), db::AllCustomersQuery()},
                                  std::pair{QStringLiteral("未还客户"), db::UnreturnedCustomersQuery()}}) {
        auto first = db::ReadPage(q, 1, 30);
        must(first.ok(), first.error());
        const qint64 last = first->pageCount, middle = std::max<qint64>(1, last / 2);
        out << "| " << name << "：" << first->recordCount << " 记录，" << last << " 页 | | | | | |\n";
        for (const auto &[what, page] : {std::pair{QStringLiteral("第一页"), qint64(1)},
                                         std::pair{QStringLiteral("中间页（直接打开）"), middle},
                                         std::pair{QStringLiteral("最后一页（直接打开）"), last}}) {
            const Stats ours = time(reps, [&] { must(db::ReadPage(q, page, 30).ok(), what); });
            const Stats naive = time(naiveReps, [&] { naivePage(q, page); });
            row(name + what, ours, naive);
        }
        db::PageReader reader;
        const Stats next = time(reps, [&] { must(reader.read(q, middle, 30).ok(), QStringLiteral("next")); },
                                [&] { reader = db::PageReader(); must(reader.read(q, middle - 1, 30).ok(), QStringLiteral("prime")); });
        row(name + QStringLiteral("中间页（下一页翻到）"), next, time(naiveReps, [&] { naivePage(q, middle); }));
    }

    // The whole list window: statement, counter and grid.
    for (const bool unreturned : {false, true}) {
        std::unique_ptr<kh_list_Form1> w;
        auto fresh = [&] {
            w.reset(unreturned ? new kh_list_Form2 : new kh_list_Form1);
            ui::ReloadFlag::set();
            w->activate();
        };
        fresh();
        const qint64 last = w->pageCount(), middle = std::max<qint64>(1, last / 2);
        const QString name = unreturned ? QStringLiteral("窗口 kh_list_Form2 ") : QStringLiteral("窗口 kh_list_Form1 ");
        row(name + QStringLiteral("打开（第一页）"), time(reps, fresh, [&] { w.reset(); }), std::nullopt);
        row(name + QStringLiteral("下一页到中间页"), time(reps, [&] { w->turnPage(1); must(w->currentPage() == middle, QStringLiteral("middle")); },
                                                   [&] { fresh(); w->showPage(middle - 1); }),
            std::nullopt);
        row(name + QStringLiteral("下一页到最后一页"), time(reps, [&] { w->turnPage(1); must(w->currentPage() == last, QStringLiteral("last")); },
                                                     [&] { fresh(); w->showPage(last - 1); }),
            std::nullopt);
        w.reset();
    }

    // Customers of known size, made in the copy.
    Customer five, many, returner;
    {
        db::Connection c;
        QList<std::pair<qint64, QString>> shelf;
        auto rows = c.run(QStringLiteral("SELECT id, t13 FROM table1 WHERE t13 IS NOT NULL AND s3 IS NULL ORDER BY id LIMIT 600"));
        must(rows.ok(), rows.error());
        while (rows.value().next())
            shelf.append({rows.value().value(0).toLongLong(), rows.value().value(1).toString()});
        db::Transaction tx(c);
        five = makeCustomer(c, QStringLiteral("五条记录"), 5, 2, shelf);
        many = makeCustomer(c, QStringLiteral("五百条记录"), 500, 10, shelf);
        returner = makeCustomer(c, QStringLiteral("还碟客户"), 10, 10, shelf);
        must(tx.commit().ok(), QStringLiteral("commit"));
    }
    for (const Customer &k : {five, many}) {
        auto st = db::LoadRentalStatus(k.id);
        must(st.ok() && st->history.size() == (k.id == five.id ? 5 : 500), QStringLiteral("status rows"));
        const QString name = QStringLiteral("租碟状况 %1 条记录").arg(st->history.size());
        row(name + QStringLiteral("：LoadRentalStatus"), time(reps, [&] { must(db::LoadRentalStatus(k.id).ok(), name); }),
            time(naiveReps, [&] { naiveStatus(k.id); }));
        std::unique_ptr<input_Form3> w;
        row(name + QStringLiteral("：打开窗口（建窗口并装入）"), time(reps, [&] {
                w.reset(new input_Form3);
                must(w->loadRentalStatus(k.id), name);
            }, [&] { w.reset(); }),
            std::nullopt);
        row(name + QStringLiteral("：还碟提交后重新装入"), time(reps, [&] { must(w->loadRentalStatus(k.id), name); }), std::nullopt);
        w.reset();
    }

    // A return of 10 discs; before each run the same discs go out again, untimed.
    const QString today = db::toStoredDate(db::Clock::today());
    QList<qint64> records;
    auto rentAgain = [&] {
        db::Connection c;
        db::Transaction tx(c);
        records.clear();
        for (const qint64 disc : returner.discs) {
            exec(c, QStringLiteral("INSERT INTO table4 (discid, discname, khid, s1) SELECT id, t13, ?, ? FROM table1 WHERE id = ?"),
                 {returner.id, today, disc});
            records << scalar(c, QStringLiteral("SELECT max(id) FROM table4"));
            exec(c, QStringLiteral("UPDATE table1 SET s1 = ?, s3 = ? WHERE id = ?"), {today, returner.name, disc});
        }
        exec(c, QStringLiteral("UPDATE table2 SET s3 = NULL WHERE id = ?"), {returner.id});
        must(tx.commit().ok(), QStringLiteral("commit"));
    };
    {
        db::Connection c;
        exec(c, QStringLiteral("UPDATE table4 SET s2 = '√', s3 = ? WHERE khid = ?"), {today, returner.id});
    }
    row(QStringLiteral("还碟 10 张（ReturnDiscs）"), time(reps, [&] {
            auto r = db::ReturnDiscs(returner.id, records);
            must(r.ok() && r->returned == 10 && r->settled, QStringLiteral("return"));
        }, rentAgain),
        time(naiveReps, [&] {
            // By disc, title and date, as the statements of the first release do, without an index.
            db::Connection c;
            db::Transaction tx(c);
            for (const qint64 disc : returner.discs) {
                exec(c, QStringLiteral("UPDATE table4 NOT INDEXED SET s2 = '√', s3 = ? WHERE discid = ? "
                                       "AND discname = (SELECT t13 FROM table1 WHERE id = ?) AND s1 = ?"),
                     {today, disc, disc, today});
                exec(c, QStringLiteral("UPDATE table1 SET s3 = NULL, s1 = NULL WHERE id = ? AND s1 = ?"), {disc, today});
            }
            exec(c, QStringLiteral("UPDATE table2 SET s3 = '√' WHERE id = ?"), {returner.id});
            must(tx.commit().ok(), QStringLiteral("commit"));
        }, rentAgain));
    db::ProgramDir::setPath(QString());
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QString shop;
    int reps = 30;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--reps") && i + 1 < args.size())
            reps = std::max(3, args[++i].toInt());
        else
            shop = args[i];
    }
    if (shop.isEmpty()) {
        QTextStream(stderr) << "usage: lanlan_bench_returns SHOP.sqlite [--reps N]\n";
        return 2;
    }
    out << "times in ms, " << reps << " runs each (naive: " << std::max(5, reps / 3) << ")\n";
    runAll(shop, reps);
    return 0;
}
