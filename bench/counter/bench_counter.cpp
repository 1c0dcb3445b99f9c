// Times the counter: a scan to its row in the rental window's pre-rent list and in the
// quick-return list, the 提交 of 20 quick returns, and a PDF of 1,000 labels:
//   lanlan_bench_counter SHOP.sqlite [--reps N]
// The shop (from lanlan_makeshop) is copied first; only the copy is written to.
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <memory>

#include "data/shop/quickreturns.h"
#include "data/shop/returns.h"
#include "data/store/clock.h"
#include "data/store/dates.h"
#include "data/store/connection.h"
#include "data/store/programdir.h"
#include "printing/labels_form.h"
#include "rental/input_form2.h"
#include "rental/prerentlist.h"
#include "rental/quickreturn_form.h"
#include "ui/listgrid.h"

#include "bench/common/timing.h"

using namespace bench;

namespace {

QTextStream out(stdout);

QList<qint64> ids(const QString &sql)
{
    db::Connection c;
    auto q = c.run(sql);
    must(q.ok(), sql);
    QList<qint64> out;
    while (q.value().next())
        out << q.value().value(0).toLongLong();
    return out;
}

// What a scanner does: the number typed into the box, then Return.
void scanInto(QWidget *w, qint64 number)
{
    auto *box = w->findChild<QLineEdit *>(QStringLiteral("ScanBox"));
    must(box, QStringLiteral("scan box"));
    box->setText(QString::number(number));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(box, &press);
}

int gridRows(QWidget *w)
{
    return w->findChild<ui::ListGrid *>(QStringLiteral("Grid1"))->rowCount();
}

void runAll(const QString &file, int reps)
{
    QTemporaryDir dir;
    must(dir.isValid(), QStringLiteral("temporary folder"));
    const QString copy = dir.filePath(QStringLiteral("db.sqlite"));
    must(QFile::copy(file, copy), QStringLiteral("copy ") + file);
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    db::ProgramDir::setPath(dir.path());
    {
        db::Connection c; // upgrades the copy when it is of an earlier layout
        must(c.ok(), c.status().error());
    }
    out << "| action | median | p95 | naive median | naive p95 | naive/ours |\n|---|---:|---:|---:|---:|---:|\n";

    // Rentable and out discs spread over the whole catalogue.
    const QList<qint64> rentable = ids(QStringLiteral("SELECT id FROM table1 WHERE t13 IS NOT NULL AND s3 IS NULL "
                                                      "AND abs(random()) % 500 = 0 LIMIT 2000"));
    const QList<qint64> out_ = ids(QStringLiteral("SELECT discid FROM table4 WHERE s2 IS NULL AND abs(random()) % 20 = 0 LIMIT 2000"));
    must(rentable.size() >= reps && out_.size() >= 20 + reps, QStringLiteral("discs to scan"));

    {
        std::unique_ptr<input_Form2> w(new input_Form2);
        w->show();
        int next = 0;
        printRow(out, {QStringLiteral("租碟登记：扫描到预租列表的行")}, time(reps, [&] {
                     const int before = gridRows(w.get());
                     scanInto(w.get(), rentable.at(next++));
                     must(gridRows(w.get()) == before + 1, QStringLiteral("row added"));
                 }, [&] {
                     // A full list is cleared untimed: the last of 100 rows is timed too.
                     if (rental::PreRent().PreRentCount() >= rental::PreRentList::Capacity) {
                         rental::PreRent().clear();
                         w->Grid1_load();
                     }
                 }),
                 std::nullopt);
    }
    {
        std::unique_ptr<rental::quickReturn_Form> w;
        int next = 20;
        printRow(out, {QStringLiteral("快速还碟：扫描到还碟列表的行")}, time(reps, [&] {
                     const int before = gridRows(w.get());
                     scanInto(w.get(), out_.at(next++));
                     must(gridRows(w.get()) == before + 1, QStringLiteral("row added"));
                 }, [&] {
                     if (!w || gridRows(w.get()) >= 20) {
                         w.reset(new rental::quickReturn_Form);
                         w->show();
                     }
                 }),
                 std::nullopt);
    }
    {
        // 20 discs out with several customers, returned and, untimed, put back by the undo.
        const QList<qint64> records = ids(QStringLiteral("SELECT r.id FROM table4 r JOIN table1 d ON d.id = r.discid "
                                                         "AND d.t13 = r.discname AND d.s1 = r.s1 AND d.s3 IS NOT NULL "
                                                         "WHERE r.s2 IS NULL AND abs(random()) % 20 = 0 LIMIT 20"));
        must(records.size() == 20, QStringLiteral("20 open records"));
        db::QuickReturnReceipt last;
        const auto undoLast = [&] {
            if (!last.returned.isEmpty())
                must(db::UndoQuickReturn(last).ok(), QStringLiteral("undo"));
            last = {};
        };
        const Stats ours = time(reps, [&] {
            auto done = db::QuickReturn(records);
            must(done.ok() && done->returned.size() == 20, QStringLiteral("quick return"));
            last = *done;
        }, undoLast);
        undoLast();
        // The naive way: the status window's return, one transaction per disc.
        struct Open { qint64 record, disc, customer; };
        QList<Open> open;
        for (const qint64 r : records) {
            db::Connection c;
            auto row = c.run(QStringLiteral("SELECT discid, khid FROM table4 WHERE id = ?"), {r});
            must(row.ok() && row.value().next(), QStringLiteral("record"));
            open << Open{r, row.value().value(0).toLongLong(), row.value().value(1).toLongLong()};
        }
        const Stats naive = time(std::max(3, reps / 3), [&] {
            last.returnedOn = db::toStoredDate(db::Clock::today());
            for (const Open &o : std::as_const(open)) {
                must(db::ReturnDiscs(o.customer, {o.record}).ok(), QStringLiteral("return"));
                last.returned << db::ReturnedRecord{o.record, o.disc, o.customer};
            }
        }, undoLast);
        undoLast();
        printRow(out, {QStringLiteral("快速还碟：提交 20 张（对照：逐张还碟，每张一个事务）")}, ours, naive);
    }
    {
        // 1,000 labels from a range of numbers, through the window's save with its progress dialog.
        const qint64 first = ids(QStringLiteral("SELECT min(id) + 1000 FROM table1")).value(0);
        const qint64 last = ids(QStringLiteral("SELECT id FROM table1 WHERE id >= %1 AND t13 IS NOT NULL ORDER BY id LIMIT 1 OFFSET 999")
                                    .arg(first))
                                .value(0);
        printing::labels_Form w(printing::labels_Form::Source::Range, {});
        w.findChild<QLineEdit *>(QStringLiteral("FromNumber"))->setText(QString::number(first));
        w.findChild<QLineEdit *>(QStringLiteral("ToNumber"))->setText(QString::number(last));
        const QString pdf = dir.filePath(QStringLiteral("labels.pdf"));
        printRow(out, {QStringLiteral("1000 张标签存为 PDF（A4 3×8，42 页）")},
                 time(std::max(3, reps / 10), [&] { must(w.saveAsPdf(pdf), QStringLiteral("pdf")); }), std::nullopt);
        out << "\nPDF: " << QFileInfo(pdf).size() / 1024 << " KiB\n";
    }
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
        QTextStream(stderr) << "usage: lanlan_bench_counter SHOP.sqlite [--reps N]\n";
        return 2;
    }
    out << "times in ms, " << reps << " runs each\n";
    runAll(shop, reps);
    return 0;
}
