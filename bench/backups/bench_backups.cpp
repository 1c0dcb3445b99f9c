// Times the backups on a generated shop and measures the room the kept copies take:
//   lanlan_bench_backups SHOP.sqlite [--reps N] [--program LANLAN] [--no-year]
// - the exit's copy after a few changes (in-process: the same call the program makes once
//   its windows are closed, with the same time budget), and with --program the real
//   program, started offscreen on a copy of the shop and ended as a logout ends it;
// - 立即备份 (a copy in two places, checked), the check of a kept copy, a restore;
// - a simulated year (clock pinned, a few rentals, returns and customer edits a day): the
//   room of the copies when 10 are kept, and at the end, 23.
// The shop is copied into a program folder of its own first; the original is only read.
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include "data/safety/backupjob.h"
#include "data/safety/backups.h"
#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/store/programdir.h"
#include "data/store/schema.h"

#include "bench/common/timing.h"

using namespace bench;

namespace {

QTextStream out(stdout);

void row(const QString &what, const Stats &s, const QString &before = QString())
{
    out << "| " << what << " | " << QString::number(s.median / 1000.0, 'f', 2) << " s | "
        << QString::number(s.p95 / 1000.0, 'f', 2) << " s | " << before << " |\n";
    out.flush();
}

qint64 roomOf(const QString &dir)
{
    qint64 n = 0;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        n += it.nextFileInfo().size();
    return n;
}

// A day at the counter: rentals, returns and customer edits on discs and customers
// chosen at random, each committed on its own.
void dayOfChanges(const QString &file, const QDate &day)
{
    db::Connection c(file);
    auto *r = QRandomGenerator::global();
    const qint64 discs = c.scalar(QStringLiteral("SELECT max(id) FROM table1")).value().toLongLong();
    const qint64 customers = c.scalar(QStringLiteral("SELECT max(id) FROM table2")).value().toLongLong();
    const QString date = day.toString(Qt::ISODate);
    for (int i = 0; i < 10; ++i) {
        const qint64 disc = 1 + r->bounded(discs), customer = 1 + r->bounded(customers);
        must(c.exec(QStringLiteral("BEGIN IMMEDIATE")).ok() &&
                 c.exec(QStringLiteral("UPDATE table1 SET s3 = ? WHERE id = ?"), {QString::number(customer), disc}).ok() &&
                 c.exec(QStringLiteral("INSERT INTO table4 (discid, discname, khid, s1) SELECT id, t13, ?, ? FROM table1 WHERE id = ?"),
                        {customer, date, disc}).ok() &&
                 c.exec(QStringLiteral("UPDATE table2 SET s1 = ? WHERE id = ?"), {date, customer}).ok() &&
                 c.exec(QStringLiteral("COMMIT")).ok(),
             QStringLiteral("cannot change the shop"));
        must(c.exec(QStringLiteral("UPDATE table1 SET s3 = NULL WHERE id = ?"), {1 + r->bounded(discs)}).ok(),
             QStringLiteral("cannot change the shop"));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        out << "usage: lanlan_bench_backups SHOP.sqlite [--reps N] [--program LANLAN] [--no-year]\n";
        return 2;
    }
    auto option = [&](const char *name) {
        const int at = args.indexOf(QLatin1String(name));
        return at > 0 && at + 1 < args.size() ? args[at + 1] : QString();
    };
    const int reps = option("--reps").isEmpty() ? 5 : option("--reps").toInt();
    const QString program = option("--program");
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/lanlan-bench-backups-XXXXXX"));
    db::ProgramDir::setPath(dir.path());
    const QString file = db::RealDatabaseFile();
    must(QFile::copy(args[1], file), QStringLiteral("cannot copy the shop"));
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    const QString second = dir.filePath(QStringLiteral("second"));
    QDir().mkpath(second);
    const qint64 size = QFileInfo(file).size();
    out << "shop " << args[1] << ": " << QString::number(double(size) / (1 << 20), 'f', 0) << " MB, " << reps
        << " runs each\n\n| work | median | p95 | before |\n|---|---|---|---|\n";

    int day = 0;
    auto newDay = [&] {
        const QDate d = QDate(2026, 3, 1).addDays(++day);
        db::Clock::setFixed(QDateTime(d, QTime(21, 0)));
        dayOfChanges(file, d);
    };
    {
        QElapsedTimer t;
        t.start();
        must(db::BackUpFile(file, second, db::NoProgress()).ok(), QStringLiteral("the first copy failed"));
        out << "| first copy of the shop (every chunk stored, checked) | " << QString::number(t.elapsed() / 1000.0, 'f', 2)
            << " s | | |\n";
    }
    int finished = 0;
    row(QStringLiteral("exit: copy of a day's changes, in two places, after the windows closed (in-process)"),
        time(reps, [&] {
            db::Deadline budget(2500);
            const QStringList log = db::BackUpDataFiles(second, budget, db::Check::Later);
            finished += log.filter(QStringLiteral("已备份 db.sqlite 到备份位置")).size();
        }, newDay),
        QStringLiteral("32 s (182 s loaded)"));
    out << "  exits that finished their copy within the budget: " << finished << " of " << reps << "\n";
    row(QStringLiteral("quiet moment after that exit: the exit's copies checked (SQLite) in both places"),
        time(1, [&] { db::CheckLaterCopies(second); }));

    QString copy;
    row(QStringLiteral("立即备份 after a day's changes: a copy in two places, checked"), time(reps, [&] {
            auto made = db::BackUpFile(file, second, db::NoProgress());
            must(made.ok() && made->secondError.isEmpty(), made.ok() ? made->secondError : made.error());
            copy = made->copy;
        }, newDay));
    row(QStringLiteral("check of one kept copy (as the restore window lists it)"),
        time(reps, [&] { must(db::VerifyBackup(copy).ok(), QStringLiteral("a copy failed its check")); }));
    row(QStringLiteral("restore of a copy (put together, integrity check, swap)"), time(reps, [&] {
            auto kept = db::RestoreBackup(file, copy);
            must(kept.ok(), kept.error());
            db::RemoveDatabaseFile(kept.value());
        }));

    if (!program.isEmpty()) {
        // The real program: a copy taken, a change, start, wait, then ended as a logout ends it.
        // An account, so it starts at the login window.
        {
            db::Connection c(file);
            must(c.exec(QStringLiteral("INSERT INTO table7 (t1, t2) VALUES ('bench', NULL)")).ok(),
                 QStringLiteral("cannot add an account"));
        }
        std::vector<double> ms;
        for (int i = 0; i < reps; ++i) {
            newDay();
            QElapsedTimer t;
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            p.setProcessEnvironment(env);
            const QString exe = dir.filePath(QStringLiteral("lanlan"));
            QFile::remove(exe);
            must(QFile::copy(program, exe), QStringLiteral("cannot copy the program"));
            QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            p.start(exe, {});
            must(p.waitForStarted(), QStringLiteral("the program did not start"));
            QThread::sleep(20);
            t.start();
            p.terminate();
            must(p.waitForFinished(600000), QStringLiteral("the program did not end"));
            ms.push_back(double(t.elapsed()));
            const QString err = QString::fromLocal8Bit(p.readAllStandardError());
            if (!err.contains(QStringLiteral("已备份 db.sqlite")))
                out << "  (run " << i + 1 << " did not copy db.sqlite at the exit: " << err.trimmed().replace('\n', " / ") << ")\n";
        }
        row(QStringLiteral("exit of the real program (offscreen): SIGTERM to process end, after a change"), stats(ms),
            QStringLiteral("32 s (182 s loaded)"));
    }

    if (args.contains(QStringLiteral("--no-year")))
        return 0;
    // A year of days from empty backup folders. Copies are taken every day until 10 are
    // kept; after that only on the days the rotation will keep at the year's end (a copy
    // the rotation drops later leaves nothing behind).
    for (const QString &d : {db::BackupDir(), second}) {
        QDir(d).removeRecursively();
        QDir().mkpath(d);
    }
    const QDate first(2027, 1, 1);
    QList<QDateTime> all;
    for (int i = 0; i < 365; ++i)
        all << QDateTime(first.addDays(i), QTime(21, 0));
    const QList<int> keptAtEnd = db::KeptByRotation(all);
    bool tenShown = false;
    QElapsedTimer year;
    year.start();
    for (int i = 0; i < 365; ++i) {
        db::Clock::setFixed(all[i]);
        dayOfChanges(file, all[i].date());
        if (tenShown && !keptAtEnd.contains(i))
            continue;
        const auto made = db::BackUpFile(file, second, db::NoProgress(), db::Check::Later);
        must(made.ok(), made.ok() ? QString() : made.error());
        const qsizetype kept = db::BackupsOf(file).size();
        if (!tenShown && kept == 10) {
            tenShown = true;
            out << "\n10 kept copies (day " << i + 1 << "): beside the file " << roomOf(db::BackupDir()) << " bytes = "
                << QString::number(double(roomOf(db::BackupDir())) / double(size), 'f', 2) << " x the file; second place "
                << QString::number(double(roomOf(second)) / double(size), 'f', 2) << " x (before: 8.4 GB = 9.6 x)\n";
        }
    }
    const qint64 room = roomOf(db::BackupDir());
    out << db::BackupsOf(file).size() << " kept copies after a year (" << year.elapsed() / 1000 << " s to simulate): beside the file "
        << room << " bytes = " << QString::number(double(room) / double(size), 'f', 2) << " x the file; second place "
        << QString::number(double(roomOf(second)) / double(size), 'f', 2) << " x (before: 23 x 0.96 = 22 x)\n";
    out << "file " << size << " bytes\n";
    return 0;
}
