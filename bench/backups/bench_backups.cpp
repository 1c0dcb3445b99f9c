// Times the backups on a generated shop: the work of the exit once the windows are closed
// (a changed file, no copy yet today), a copy in two places, and a restore; and the room
// 10 and 23 kept copies take against the file:
//   lanlan_bench_backups SHOP.sqlite [--reps N]
// The shop is copied into a program folder of its own first; the original is only read.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include "data/safety/backups.h"
#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/store/programdir.h"
#include "data/store/schema.h"

#include "bench/common/timing.h"

using namespace bench;

namespace {

QTextStream out(stdout);

void row(const QString &what, const Stats &s)
{
    out << "| " << what << " | " << QString::number(s.median / 1000.0, 'f', 2) << " s | "
        << QString::number(s.p95 / 1000.0, 'f', 2) << " s |\n";
    out.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        out << "usage: lanlan_bench_backups SHOP.sqlite [--reps N]\n";
        return 2;
    }
    const int at = args.indexOf(QStringLiteral("--reps"));
    const int reps = at > 0 && at + 1 < args.size() ? args[at + 1].toInt() : 3;
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/lanlan-bench-backups-XXXXXX"));
    db::ProgramDir::setPath(dir.path());
    const QString file = db::RealDatabaseFile();
    must(QFile::copy(args[1], file), QStringLiteral("cannot copy the shop"));
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    const QString second = dir.filePath(QStringLiteral("second"));
    QDir().mkpath(second);
    const qint64 size = QFileInfo(file).size();
    out << "shop " << args[1] << ": " << QString::number(double(size) / (1 << 20), 'f', 0) << " MB, " << reps
        << " runs each\n\n| work | median | p95 |\n|---|---|---|\n";

    // Every exit on a new day after a change: one copy beside the file and one in the second place.
    int day = 0;
    auto newDay = [&] {
        db::Clock::setFixed(QDateTime(QDate(2026, 3, 1).addDays(++day), QTime(21, 0)));
        db::Connection c(file);
        must(c.exec(QStringLiteral("INSERT INTO table7 (t1, t2) VALUES (?, NULL)"), {QStringLiteral("bench%1").arg(day)}).ok(),
             QStringLiteral("cannot change the shop"));
    };
    row(QStringLiteral("exit: copies of a changed file, after the windows closed"),
        time(reps, [&] { db::BackUpDataFiles(second); }, newDay));

    QString copy;
    row(QStringLiteral("立即备份: a copy in two places (check, compress, verify, copy, verify)"), time(reps, [&] {
            auto made = db::BackUpFile(file, second, db::NoProgress());
            must(made.ok() && made->secondError.isEmpty(), made.ok() ? made->secondError : made.error());
            copy = made->copy;
        }));
    const qint64 copySize = QFileInfo(copy).size();
    row(QStringLiteral("check of one kept copy (as the restore window lists it)"),
        time(reps, [&] { must(db::VerifyBackup(copy).ok(), QStringLiteral("a copy failed its check")); }));
    row(QStringLiteral("restore of a copy (unpack, integrity check, swap)"), time(reps, [&] {
            auto kept = db::RestoreBackup(file, copy);
            must(kept.ok(), kept.error());
            db::RemoveDatabaseFile(kept.value());
        }));

    out << "\nfile " << size << " bytes; one copy " << copySize << " bytes ("
        << QString::number(double(copySize) / double(size), 'f', 3) << " of the file)\n"
        << "10 kept copies: " << QString::number(10.0 * double(copySize) / double(size), 'f', 2) << " x the file\n"
        << "23 kept copies (7 daily, 4 weekly, 12 monthly): "
        << QString::number(23.0 * double(copySize) / double(size), 'f', 2) << " x the file\n";
    return 0;
}
