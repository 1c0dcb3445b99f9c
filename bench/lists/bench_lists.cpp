// Times the paged disc lists and the disc actions on generated shops, each beside the
// same work done the naive way (rows counted and skipped over the table, no index):
//   lanlan_bench_lists SHOP.sqlite [SHOP.sqlite ...] [--reps N]
// Shops come from lanlan_makeshop. Each shop is copied first; the copy is written to.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/main_mdiform.h"
#include "data/store/connection.h"
#include "data/shop/disclists.h"
#include "data/shop/discrecords.h"
#include "data/store/pagedquery.h"
#include "data/store/programdir.h"
#include "data/store/records.h"
#include "lists/list_form.h"
#include "lists/list_form3.h"
#include "lists/openers.h"
#include "ui/reloadflag.h"

#include "bench/common/timing.h"

using namespace bench;

namespace {

QTextStream out(stdout);

// The naive page: count every row and skip `offset` rows of the table itself.
void naivePage(const db::PagedQuery &q, qint64 page)
{
    db::Connection c;
    auto n = c.scalar(QStringLiteral("SELECT count(*) FROM %1 NOT INDEXED WHERE %2").arg(q.from, q.where));
    must(n.ok(), n.error());
    auto rows = c.run(QStringLiteral("SELECT %1 FROM %2 NOT INDEXED WHERE %3 ORDER BY id DESC LIMIT 30 OFFSET ?")
                          .arg(q.columns, q.from, q.where),
                      {(page - 1) * 30});
    must(rows.ok(), rows.error());
    int got = 0;
    while (rows.value().next())
        ++got;
    must(got > 0, QStringLiteral("naive page has rows"));
}

void naiveNextDiscId()
{
    db::Connection c;
    auto free = c.scalar(QStringLiteral("SELECT min(id) FROM table1 NOT INDEXED WHERE t13 IS NULL"));
    must(free.ok(), free.error());
    if (free->isNull()) {
        auto last = c.scalar(QStringLiteral("SELECT max(id) FROM table1 NOT INDEXED WHERE t13 IS NOT NULL"));
        must(last.ok(), last.error());
    }
}

void row(const QString &shop, const QString &action, const Stats &ours, const std::optional<Stats> &naive)
{
    printRow(out, {shop, action}, ours, naive);
}

void benchShop(const QString &file, int reps)
{
    const QString shop = QFileInfo(file).completeBaseName();
    QTemporaryDir dir;
    must(dir.isValid(), QStringLiteral("temporary folder"));
    must(QFile::copy(file, dir.filePath(QStringLiteral("db.sqlite"))), QStringLiteral("copy ") + file);
    QFile::setPermissions(dir.filePath(QStringLiteral("db.sqlite")), QFile::ReadOwner | QFile::WriteOwner);
    must(QFile::copy(file, dir.filePath(QStringLiteral("demo.sqlite"))), QStringLiteral("copy ") + file);
    db::ProgramDir::setPath(dir.path());
    db::DemoData::setEnabled(false);
    const int naiveReps = std::max(5, reps / 3);

    struct List { QString name; db::PagedQuery q; };
    for (const List &l : {List{QStringLiteral("全部碟片"), db::AllDiscsQuery()},
                          List{QStringLiteral("未还碟片"), db::RentedDiscsQuery()}}) {
        auto first = db::ReadPage(l.q, 1, 30);
        must(first.ok(), first.error());
        const qint64 last = first->pageCount, middle = std::max<qint64>(1, last / 2);
        out << "| " << shop << " | " << l.name << "：" << first->recordCount << " 记录，" << last
            << " 页 | | | | | |\n";
        for (const auto &[what, page] : {std::pair{QStringLiteral("第一页"), qint64(1)},
                                         std::pair{QStringLiteral("中间页（直接打开）"), middle},
                                         std::pair{QStringLiteral("最后一页（直接打开）"), last}}) {
            const Stats ours = time(reps, [&] { must(db::ReadPage(l.q, page, 30).ok(), what); });
            const Stats naive = time(naiveReps, [&] { naivePage(l.q, page); });
            row(shop, l.name + what, ours, naive);
        }
        // What the user does: "下一页" from the page before.
        db::PageReader reader;
        const Stats next = time(reps, [&] { must(reader.read(l.q, middle, 30).ok(), QStringLiteral("next")); },
                                [&] { reader = db::PageReader(); must(reader.read(l.q, middle - 1, 30).ok(), QStringLiteral("prime")); });
        const Stats naive = time(naiveReps, [&] { naivePage(l.q, middle); });
        row(shop, l.name + QStringLiteral("中间页（下一页翻到）"), next, naive);
    }

    // The whole window load: statement, counter and grid. A window remembers the pages it
    // showed, so each run starts from a fresh window.
    for (const bool rented : {false, true}) {
        std::unique_ptr<list_Form> w;
        auto fresh = [&] {
            w.reset(rented ? static_cast<list_Form *>(new list_Form3) : new list_Form);
            ui::ReloadFlag::set();
            w->activate();
        };
        fresh();
        const qint64 last = w->pageCount(), middle = std::max<qint64>(1, last / 2);
        const QString name = rented ? QStringLiteral("窗口 list_Form3 ") : QStringLiteral("窗口 list_Form ");
        row(shop, name + QStringLiteral("打开（第一页）"), time(reps, fresh, [&] { w.reset(); }), std::nullopt);
        row(shop, name + QStringLiteral("下一页到中间页"), time(reps, [&] { w->turnPage(1); must(w->currentPage() == middle, QStringLiteral("middle page")); }, [&] { fresh(); w->showPage(middle - 1); }), std::nullopt);
        row(shop, name + QStringLiteral("下一页到最后一页"), time(reps, [&] { w->turnPage(1); must(w->currentPage() == last, QStringLiteral("last page")); }, [&] { fresh(); w->showPage(last - 1); }), std::nullopt);
        // Another window changed a disc; this one shows the middle page and is activated.
        row(shop, name + QStringLiteral("改动后重新激活（中间页）"), time(reps, [&] { w->activate(); must(w->shownPage() == middle, QStringLiteral("reloaded page")); }, [&] {
                fresh();
                w->showPage(middle);
                db::Connection c;
                must(c.exec(QStringLiteral("UPDATE table1 SET s3 = CASE WHEN s3 IS NULL THEN 'x' END, "
                                           "s1 = CASE WHEN s1 IS NULL THEN '2026-01-01' END WHERE id = 1")).ok(),
                     QStringLiteral("change"));
                ui::ReloadFlag::set();
            }), std::nullopt);
        w.reset();
    }

    row(shop, QStringLiteral("NextDiscId"), time(reps, [] { must(db::NextDiscId().ok(), QStringLiteral("NextDiscId")); }),
        time(naiveReps, naiveNextDiscId));
    db::DiscFields disc;
    disc.title = QStringLiteral("基准碟片");
    disc.shelf = QStringLiteral("A1");
    disc.count = QStringLiteral("1");
    disc.media = QStringLiteral("DVD");
    disc.category = QStringLiteral("动作");
    row(shop, QStringLiteral("AddDisc"), time(reps, [&] { must(db::AddDisc(disc).ok(), QStringLiteral("AddDisc")); }),
        std::nullopt);

    // From nothing to the first list window showing its first page.
    const Stats start = time(std::max(5, reps / 3), [] {
        auto *main = new main_MDIForm;
        main->load();
        lists::OpenAllDiscsList();
        QApplication::processEvents();
        auto *w = main->findChild<list_Form *>();
        must(w && w->pageCount() > 0, QStringLiteral("first window loaded"));
        delete main;
    });
    row(shop, QStringLiteral("启动到第一个列表窗口"), start, std::nullopt);
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
        QTextStream(stderr) << "usage: lanlan_bench_lists SHOP.sqlite [SHOP.sqlite ...] [--reps N]\n";
        return 2;
    }
    out << "times in ms, " << reps << " runs each (naive: " << std::max(5, reps / 3) << ")\n\n";
    out << "| shop | action | median | p95 | naive median | naive p95 | naive/ours |\n";
    out << "|---|---|---:|---:|---:|---:|---:|\n";
    for (const QString &s : shops)
        benchShop(s, reps);
    return 0;
}
