// Times the customer query on a generated shop: for each kind of criteria, page 1, a middle
// page and the last page with their page counter, each beside the plain statement run the
// naive way (rows counted and skipped over the table, no index, LIKE for the name):
//   lanlan_bench_custquery SHOP.sqlite [--reps N] [--only TEXT]
// --only times the kinds whose name holds TEXT.
// The shop (from lanlan_makeshop) is copied first; the copy is upgraded on first open.
#include <QApplication>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <optional>

#include "data/store/connection.h"
#include "data/search/customerindex.h"
#include "data/shop/customerquery.h"
#include "data/store/dates.h"
#include "data/store/pagedquery.h"
#include "data/store/programdir.h"
#include "data/search/termindex.h"
#include "lists/qkh_list_form.h"
#include "ui/windowhost.h"

#include "bench/common/timing.h"

using namespace bench;

namespace {

QTextStream out(stdout);

void row(const QString &action, const Stats &ours, const std::optional<Stats> &naive)
{
    printRow(out, {action}, ours, naive);
}

// A kind of query: the criteria, and the same selection as the plain statement of the first
// release writes it (name by LIKE, dates on s1, card type and identity card by equality).
struct Kind
{
    QString name;
    db::CustomerCriteria criteria;
    QString plain;
    QVariantList binds;
};

// The naive page: count every customer the plain statement selects, then sort them all and
// skip to the page, reading the table row by row.
void naivePage(const Kind &k, qint64 page)
{
    db::Connection c;
    const QString where = QStringLiteral("t1 IS NOT NULL") + (k.plain.isEmpty() ? QString() : QStringLiteral(" AND ") + k.plain);
    auto n = c.scalar(QStringLiteral("SELECT count(*) FROM table2 NOT INDEXED WHERE %1").arg(where), k.binds);
    must(n.ok(), n.error());
    auto rows = c.run(QStringLiteral("SELECT id,t1,t2,t3,s2,t4,s1,s3 FROM table2 NOT INDEXED WHERE %1 "
                                     "ORDER BY s1 DESC, id DESC LIMIT 30 OFFSET ?")
                          .arg(where),
                      QVariantList(k.binds) << (page - 1) * 30);
    must(rows.ok(), rows.error());
    int got = 0;
    while (rows.value().next())
        ++got;
    must(got > 0 || n->toLongLong() == 0, QStringLiteral("naive page has rows"));
}

Kind kind(const QString &name, const QString &plain, const QVariantList &binds, const std::function<void(db::CustomerCriteria &)> &set)
{
    Kind k{name, {}, plain, binds};
    set(k.criteria);
    return k;
}

void run(const QString &file, int reps, const QString &only)
{
    QTemporaryDir dir;
    must(dir.isValid(), QStringLiteral("temporary folder"));
    const QString copy = dir.filePath(QStringLiteral("db.sqlite"));
    must(QFile::copy(file, copy), QStringLiteral("copy ") + file);
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    db::ProgramDir::setPath(dir.path());
    db::DemoData::setEnabled(false);
    const int naiveReps = std::max(5, reps / 3);

    // The first open upgrades a file of an earlier release in place.
    QElapsedTimer upgrade;
    upgrade.start();
    QString card;
    qint64 customers = 0;
    {
        db::Connection c;
        must(c.ok(), c.status().error());
        out << "upgrade of " << QFileInfo(file).fileName() << " on first open: " << upgrade.elapsed() << " ms\n\n";
        auto v = c.scalar(QStringLiteral("SELECT t2 FROM table2 WHERE t1 IS NOT NULL AND t2 IS NOT NULL "
                                         "ORDER BY id LIMIT 1 OFFSET (SELECT count(*) / 2 FROM table2)"));
        must(v.ok(), QStringLiteral("a card"));
        card = v->toString();
        auto n = c.scalar(QStringLiteral("SELECT count(*) FROM table2 WHERE t1 IS NOT NULL"));
        must(n.ok(), QStringLiteral("customers"));
        customers = n->toLongLong();
    }
    auto date = [](const char *iso) { return QDate::fromString(QString::fromLatin1(iso), Qt::ISODate); };
    const QString june1 = QStringLiteral("2026-06-01"), june30 = QStringLiteral("2026-06-30");
    const QString oct1 = QStringLiteral("2026-10-01"), nov30 = QStringLiteral("2026-11-30"), nov1 = QStringLiteral("2026-11-01");
    const std::vector<Kind> kinds = {
        kind(QStringLiteral("全部客户（空查询）"), {}, {}, [](auto &) {}),
        kind(QStringLiteral("身份证号"), QStringLiteral("t2 = ?"), {card}, [&](auto &c) { c.card = card; }),
        kind(QStringLiteral("姓名含“明”"), QStringLiteral("t1 LIKE '%明%'"), {}, [](auto &c) { c.name = QStringLiteral("明"); }),
        kind(QStringLiteral("姓名含“张”"), QStringLiteral("t1 LIKE '%张%'"), {}, [](auto &c) { c.name = QStringLiteral("张"); }),
        kind(QStringLiteral("姓名含“海燕”"), QStringLiteral("t1 LIKE '%海燕%'"), {}, [](auto &c) { c.name = QStringLiteral("海燕"); }),
        kind(QStringLiteral("姓名含“王海”"), QStringLiteral("t1 LIKE '%王海%'"), {}, [](auto &c) { c.name = QStringLiteral("王海"); }),
        kind(QStringLiteral("姓名含“王海燕”"), QStringLiteral("t1 LIKE '%王海燕%'"), {}, [](auto &c) { c.name = QStringLiteral("王海燕"); }),
        kind(QStringLiteral("办证类型 金卡"), QStringLiteral("t3 = '金卡'"), {}, [](auto &c) { c.cardType = QStringLiteral("金卡"); }),
        kind(QStringLiteral("租碟日期 2026-6-1 至 2026-6-30"), QStringLiteral("s1 BETWEEN ? AND ?"), {june1, june30},
             [&](auto &c) { c.from = date("2026-06-01"); c.to = date("2026-06-30"); }),
        kind(QStringLiteral("租碟日期 2026-10-1 至 2026-11-30"), QStringLiteral("s1 BETWEEN ? AND ?"), {oct1, nov30},
             [&](auto &c) { c.from = date("2026-10-01"); c.to = date("2026-11-30"); }),
        kind(QStringLiteral("租碟日期 2026-11-1 起"), QStringLiteral("s1 >= ?"), {nov1}, [&](auto &c) { c.from = date("2026-11-01"); }),
        kind(QStringLiteral("租碟日期 至 2026-6-30"), QStringLiteral("s1 <= ?"), {june30}, [&](auto &c) { c.to = date("2026-06-30"); }),
        kind(QStringLiteral("姓名含“明” + 金卡"), QStringLiteral("t1 LIKE '%明%' AND t3 = '金卡'"), {},
             [](auto &c) { c.name = QStringLiteral("明"); c.cardType = QStringLiteral("金卡"); }),
        kind(QStringLiteral("姓名含“海燕” + 银卡"), QStringLiteral("t1 LIKE '%海燕%' AND t3 = '银卡'"), {},
             [](auto &c) { c.name = QStringLiteral("海燕"); c.cardType = QStringLiteral("银卡"); }),
        kind(QStringLiteral("姓名含“明” + 2026-10-1 至 2026-11-30"), QStringLiteral("t1 LIKE '%明%' AND s1 BETWEEN ? AND ?"),
             {oct1, nov30}, [&](auto &c) { c.name = QStringLiteral("明"); c.from = date("2026-10-01"); c.to = date("2026-11-30"); }),
        kind(QStringLiteral("姓名含“张” + 2026-6-1 至 2026-6-30"), QStringLiteral("t1 LIKE '%张%' AND s1 BETWEEN ? AND ?"),
             {june1, june30}, [&](auto &c) { c.name = QStringLiteral("张"); c.from = date("2026-06-01"); c.to = date("2026-06-30"); }),
        kind(QStringLiteral("金卡 + 2026-10-1 至 2026-11-30"), QStringLiteral("t3 = '金卡' AND s1 BETWEEN ? AND ?"), {oct1, nov30},
             [&](auto &c) { c.cardType = QStringLiteral("金卡"); c.from = date("2026-10-01"); c.to = date("2026-11-30"); }),
    };

    out << "| action | median | p95 | naive median | naive p95 | naive/ours |\n";
    out << "|---|---:|---:|---:|---:|---:|\n";
    for (const Kind &k : kinds) {
        if (!k.name.contains(only))
            continue;
        const db::PagedQuery q = db::CustomerCriteriaQuery(k.criteria);
        auto first = db::ReadPage(q, 1, 30);
        must(first.ok(), first.error());
        const qint64 last = std::max<qint64>(1, first->pageCount), middle = std::max<qint64>(1, last / 2);
        out << "| " << k.name << "：" << first->recordCount << " 记录，" << first->pageCount << " 页 | | | | | |\n";
        for (const auto &[what, page] : {std::pair{QStringLiteral("第一页"), qint64(1)},
                                         std::pair{QStringLiteral("中间页（直接打开）"), middle},
                                         std::pair{QStringLiteral("最后一页（直接打开）"), last}}) {
            const Stats ours = time(reps, [&] { must(db::ReadPage(q, page, 30).ok(), what); });
            const Stats naive = time(naiveReps, [&] { naivePage(k, page); });
            row(QStringLiteral("　") + what, ours, naive);
        }
        if (db::CustomerIndexServes(k.criteria)) {
            // The first search after the program starts reads the terms from the file.
            row(QStringLiteral("　第一页（程序刚启动）"), time(reps, [&] { must(db::ReadPage(q, 1, 30).ok(), k.name); },
                                                      [] { db::index::ForgetMemory(); }),
                std::nullopt);
        }
        db::PageReader reader;
        row(QStringLiteral("　中间页（下一页翻到）"),
            time(reps, [&] { must(reader.read(q, middle, 30).ok(), QStringLiteral("next")); },
                 [&] { reader = db::PageReader(); must(reader.read(q, std::max<qint64>(1, middle - 1), 30).ok(), QStringLiteral("prime")); }),
            std::nullopt);
    }

    // What the layout step does to the customers of this shop: every one filed at once.
    if (only.isEmpty()) {
        row(QStringLiteral("客户搜索索引重建（升级时的建立，%1 客户）").arg(customers), time(3, [] {
                db::Connection c;
                db::Transaction tx(c);
                must(db::RebuildCustomerIndex(c).ok() && tx.commit().ok(), QStringLiteral("rebuild"));
            }),
            std::nullopt);
    }

    // The whole result window: criteria read, statement, counter and grid, page 1.
    for (const QString &criteria : {QStringLiteral("@@@明@@@金卡@@@--@@@--"), QStringLiteral("@@@@@@@@@2026-10-1@@@2026-11-30")}) {
        row(QStringLiteral("窗口 Qkh_list_Form 新查询（第一页）") + criteria,
            time(reps, [&] { Qkh_list_Form::showCriteria(criteria); }), std::nullopt);
    }
    if (auto *w = ui::SharedIfOpen<Qkh_list_Form>())
        delete w;
    db::ProgramDir::setPath(QString());
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QString shop, only;
    int reps = 30;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--reps") && i + 1 < args.size())
            reps = std::max(3, args[++i].toInt());
        else if (args[i] == QLatin1String("--only") && i + 1 < args.size())
            only = args[++i];
        else
            shop = args[i];
    }
    if (shop.isEmpty()) {
        QTextStream(stderr) << "usage: lanlan_bench_custquery SHOP.sqlite [--reps N] [--only TEXT]\n";
        return 2;
    }
    out << "times in ms, " << reps << " runs each (naive: " << std::max(5, reps / 3) << ")\n";
    run(shop, reps, only);
    return 0;
}
