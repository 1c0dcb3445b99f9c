#include "data/safety/backups.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSaveFile>
#include <QtEndian>

#include <sqlite3.h>
#include <zstd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include <cstdio>
#include <unistd.h>

#include "data/safety/pagecopies.h"
#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/store/programdir.h"
#include "data/store/schema.h"

namespace db {
namespace {

const QString kStampFormat = QStringLiteral("yyyyMMdd-HHmmss");
const QString kPages = QStringLiteral(".sqlite.pages");
constexpr qint64 kChunk = 4 << 20;

QString stem(const QString &dataFile)
{
    return QFileInfo(dataFile).completeBaseName();
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QRegularExpression copyName(const QString &dataFile)
{
    return QRegularExpression(QStringLiteral("^%1-(\\d{8}-\\d{6})(?:-(\\d+))?\\.sqlite(?:\\.zst|\\.pages)?$")
                                  .arg(QRegularExpression::escape(stem(dataFile))));
}

bool packed(const QString &backup)
{
    return backup.endsWith(QStringLiteral(".zst"));
}

bool paged(const QString &backup)
{
    return backup.endsWith(kPages);
}

// The chunks a copy of pages refers to sit beside it, in the store of its data file.
QString storeOfCopy(const QString &copy)
{
    static const QRegularExpression stemOf(QStringLiteral("^(.*)-\\d{8}-\\d{6}(?:-\\d+)?\\.sqlite"));
    const QFileInfo info(copy);
    return pagecopies::StoreOf(info.absolutePath(), stemOf.match(info.fileName()).captured(1));
}

// What tells whether a file changed since its last copy: SQLite counts every committed
// change in the file's header; the size catches a file replaced by another.
QString fingerprintOf(quint32 counter, qint64 size)
{
    return QStringLiteral("%1 %2").arg(counter, 8, 16, QLatin1Char('0')).arg(size);
}

QString fingerprint(const QString &dataFile)
{
    QFile f(dataFile);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = f.read(100);
    if (head.size() < 28)
        return {};
    return fingerprintOf(qFromBigEndian<quint32>(head.constData() + 24), f.size());
}

QString fingerprintFile(const QString &dataFile)
{
    return BackupDir() + QLatin1Char('/') + QFileInfo(dataFile).fileName() + QStringLiteral(".last");
}

QString recordedFingerprint(const QString &dataFile)
{
    QFile f(fingerprintFile(dataFile));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).trimmed() : QString();
}

void recordFingerprint(const QString &dataFile, const QString &print)
{
    QSaveFile f(fingerprintFile(dataFile));
    if (f.open(QIODevice::WriteOnly)) {
        f.write(print.toLatin1());
        f.commit();
    }
}

Status integrityOn(Connection &c)
{
    auto q = c.run(QStringLiteral("PRAGMA integrity_check"));
    if (!q)
        return q.status();
    QStringList found;
    while (q.value().next()) {
        const QString line = q.value().value(0).toString();
        if (line != QLatin1String("ok"))
            found << line;
    }
    if (!found.isEmpty())
        return Status::failure(QStringLiteral("数据文件检查未通过，可能已损坏：%1").arg(found.first()), Fault::Damaged);
    return {};
}

Status integrityOk(const QString &file)
{
    Connection c(file, Connection::Mode::Inspect);
    if (!c.ok())
        return c.status();
    return integrityOn(c);
}

// A name for a new copy or a kept file that no file has yet.
QString freeName(const QString &base, const QString &suffix)
{
    QString name = base + suffix;
    for (int n = 2; QFileInfo::exists(name) || QFileInfo::exists(name + QStringLiteral(".part")); ++n)
        name = base + QStringLiteral("-%1").arg(n) + suffix;
    return name;
}

Status writeFailure(const QString &file)
{
    return Status::failure(QStringLiteral("无法写入备份文件（备份位置已满、只读或已移除？）：%1").arg(native(file)), Fault::IO);
}

Status cancelled()
{
    return Status::failure(QStringLiteral("备份已取消。"), Fault::IO);
}

// Written data reaches the disk before the copy takes its name.
bool closeSynced(QFile &f)
{
    const bool ok = f.flush() && ::fsync(f.handle()) == 0;
    f.close();
    return ok && f.error() == QFileDevice::NoError;
}

struct DCtxFree { void operator()(ZSTD_DCtx *c) const { ZSTD_freeDCtx(c); } };

// Decodes a compressed copy of an earlier release, to target when one is given. A frame
// that ends early or whose checksum differs is a damaged copy.
Status decode(const QString &backup, QFile *target, Progress &progress)
{
    QFile in(backup);
    if (!in.open(QIODevice::ReadOnly))
        return Status::failure(QStringLiteral("无法读取备份文件：%1").arg(native(backup)), Fault::IO);
    const Status damaged = Status::failure(QStringLiteral("备份文件不完整或已损坏：%1").arg(native(backup)), Fault::Damaged);
    std::unique_ptr<ZSTD_DCtx, DCtxFree> dctx(ZSTD_createDCtx());
    std::vector<char> ibuf(ZSTD_DStreamInSize() * 16), obuf(ZSTD_DStreamOutSize() * 16);
    size_t left = 1; // nothing decoded is no copy
    qint64 done = 0;
    for (;;) {
        const qint64 n = in.read(ibuf.data(), qint64(ibuf.size()));
        if (n < 0)
            return Status::failure(QStringLiteral("无法读取备份文件：%1").arg(native(backup)), Fault::IO);
        if (n == 0)
            break;
        done += n;
        ZSTD_inBuffer input{ibuf.data(), size_t(n), 0};
        while (input.pos < input.size) {
            ZSTD_outBuffer output{obuf.data(), obuf.size(), 0};
            left = ZSTD_decompressStream(dctx.get(), &output, &input);
            if (ZSTD_isError(left))
                return damaged;
            if (target && target->write(obuf.data(), qint64(output.pos)) != qint64(output.pos))
                return Status::failure(QStringLiteral("无法写入文件：%1").arg(native(target->fileName())), Fault::IO);
        }
        if (!progress.advance(done / (1 << 20)))
            return cancelled();
    }
    return left == 0 ? Status() : damaged;
}

// Where a copy's content is put together to be checked: a name of its own for each check,
// so two checks never write into one file.
QString scratchIn(const QString &dir, const QString &stem)
{
    return dir + QLatin1Char('/') + stem + QStringLiteral(".checking-")
        + QString::number(QRandomGenerator::global()->generate64(), 16);
}

// What a copy killed half-way left behind is never taken for one: a copy or chunk not
// yet named, a content being checked.
void removeLeftovers(const QString &dir, const QString &dataFile)
{
    const QRegularExpression leftover(
        QStringLiteral("^%1-.*\\.sqlite(\\.zst|\\.pages)?\\.part").arg(QRegularExpression::escape(stem(dataFile))));
    for (const QString &name : QDir(dir).entryList(QDir::Files)) {
        if (leftover.match(name).hasMatch())
            RemoveDatabaseFile(dir + QLatin1Char('/') + name);
    }
    for (const QString &name : QDir(dir).entryList({stem(dataFile) + QStringLiteral(".checking-*")}, QDir::Files))
        RemoveDatabaseFile(dir + QLatin1Char('/') + name);
    QDir store(pagecopies::StoreOf(dir, stem(dataFile)));
    for (const QString &name : store.entryList({QStringLiteral("*.part")}, QDir::Files))
        store.remove(name);
}

// Drops the copies the rotation does not keep, then the chunks no kept copy refers to.
void rotate(const QString &dir, const QString &dataFile)
{
    const QStringList copies = BackupsOf(dataFile, dir);
    QList<QDateTime> taken;
    for (const QString &c : copies)
        taken << BackupTime(c);
    const QList<int> kept = KeptByRotation(taken);
    QStringList pages;
    for (qsizetype i = 0; i < copies.size(); ++i) {
        if (!kept.contains(int(i)))
            RemoveDatabaseFile(copies[i]);
        else if (paged(copies[i]))
            pages << copies[i];
    }
    pagecopies::CollectGarbage(pagecopies::StoreOf(dir, stem(dataFile)), pages);
}

// The integrity check, stopped when whoever watches asks to stop (the exit does).
int stopAsked(void *progress)
{
    return static_cast<Progress *>(progress)->advance(0) ? 0 : 1;
}

Status integrityWatched(const QString &file, Progress &progress)
{
    Connection c(file, Connection::Mode::Inspect);
    if (!c.ok())
        return c.status();
    const QVariant handle = c.database().driver()->handle();
    sqlite3 *h = qstrcmp(handle.typeName(), "sqlite3*") == 0 ? *static_cast<sqlite3 *const *>(handle.constData()) : nullptr;
    if (h)
        sqlite3_progress_handler(h, 20000, stopAsked, &progress);
    Status s = integrityOn(c);
    if (h)
        sqlite3_progress_handler(h, 0, nullptr, nullptr);
    if (!s && !progress.advance(0))
        return cancelled();
    return s;
}

// The content of a copy of pages put together beside it and checked by SQLite.
Status checkContent(const QString &copy, const QString &scratch, Progress &progress)
{
    progress.stage(QStringLiteral("正在核对备份…"), 0);
    RemoveDatabaseFile(scratch);
    Status s;
    {
        QFile out(scratch);
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return writeFailure(scratch);
        s = pagecopies::Read(copy, storeOfCopy(copy), progress, &out);
        out.close();
        if (s && out.error() != QFileDevice::NoError)
            s = writeFailure(scratch);
    }
    if (s)
        s = integrityWatched(scratch, progress);
    RemoveDatabaseFile(scratch);
    return s;
}

// Writes the copy's list under a passing name, checks it when asked, then names it.
Status placeCopy(const pagecopies::Manifest &taken, const QString &target, const QString &scratch, Check check,
                 Progress &progress)
{
    const QString partial = target + QStringLiteral(".part");
    pagecopies::Manifest m = taken;
    m.checked = false;
    Status s = pagecopies::WriteManifest(m, partial);
    if (s && check == Check::Full) {
        s = checkContent(partial, scratch, progress);
        m.checked = true;
        if (s)
            s = pagecopies::WriteManifest(m, partial);
    }
    if (s && !QFile::rename(partial, target))
        s = writeFailure(target);
    if (!s)
        RemoveDatabaseFile(partial);
    return s;
}

} // namespace

QString BackupDir()
{
    return ProgramDir::file(QStringLiteral("backup"));
}

QList<int> KeptByRotation(const QList<QDateTime> &taken)
{
    QList<int> order;
    for (int i = 0; i < taken.size(); ++i)
        order << i;
    std::sort(order.begin(), order.end(), [&](int a, int b) { return taken[a] > taken[b]; });
    std::set<int> kept;
    // The newest copy of each period, for as many periods back as are kept.
    auto keep = [&](int periods, auto periodOf) {
        std::set<qint64> seen;
        for (int i : std::as_const(order)) {
            const qint64 p = periodOf(taken[i].date());
            if (seen.count(p))
                continue;
            if (int(seen.size()) == periods)
                break;
            seen.insert(p);
            kept.insert(i);
        }
    };
    keep(kDailyKept, [](const QDate &d) { return d.toJulianDay(); });
    keep(kWeeklyKept, [](const QDate &d) {
        int year = 0;
        const int week = d.weekNumber(&year);
        return qint64(year) * 100 + week;
    });
    keep(kMonthlyKept, [](const QDate &d) { return qint64(d.year()) * 100 + d.month(); });
    return QList<int>(kept.begin(), kept.end());
}

QStringList BackupsOf(const QString &dataFile, const QString &folder)
{
    const QString dir = folder.isEmpty() ? BackupDir() : folder;
    const QRegularExpression pattern = copyName(dataFile);
    QStringList names;
    for (const QString &name : QDir(dir).entryList(QDir::Files)) {
        if (pattern.match(name).hasMatch())
            names << name;
    }
    std::sort(names.begin(), names.end(), [&](const QString &a, const QString &b) {
        const auto ma = pattern.match(a), mb = pattern.match(b);
        if (ma.captured(1) != mb.captured(1))
            return ma.captured(1) > mb.captured(1);
        return ma.captured(2).toInt() > mb.captured(2).toInt();
    });
    QStringList out;
    for (const QString &n : std::as_const(names))
        out << dir + QLatin1Char('/') + n;
    return out;
}

qint64 BackupSize(const QString &backup)
{
    if (paged(backup)) {
        const auto m = pagecopies::ReadManifest(backup);
        return m ? m->fileBytes : 0;
    }
    return QFileInfo(backup).size();
}

QDateTime BackupTime(const QString &backup)
{
    const QString name = QFileInfo(backup).fileName();
    static const QRegularExpression stamp(QStringLiteral("-(\\d{8}-\\d{6})(?:-\\d+)?\\.sqlite(?:\\.zst|\\.pages)?$"));
    const auto m = stamp.match(name);
    return m.hasMatch() ? QDateTime::fromString(m.captured(1), kStampFormat) : QDateTime();
}

Result<BackupMade> BackUpFile(const QString &dataFile, const QString &secondDir, Progress &progress, Check check)
{
    if (!QFileInfo::exists(dataFile))
        return Status::failure(QStringLiteral("找不到数据库文件：%1").arg(native(dataFile)), Fault::Missing);
    if (!QDir().mkpath(BackupDir()))
        return Status::failure(QStringLiteral("无法建立备份文件夹：%1").arg(native(BackupDir())), Fault::IO);
    removeLeftovers(BackupDir(), dataFile);
    const QString name = stem(dataFile) + QLatin1Char('-') + Clock::now().toString(kStampFormat);
    const QString target = freeName(BackupDir() + QLatin1Char('/') + name, kPages);
    const QString store = pagecopies::StoreOf(BackupDir(), stem(dataFile));
    const auto taken = pagecopies::Take(dataFile, store, progress);
    if (!taken)
        return taken.status();
    const QString scratch = scratchIn(BackupDir(), stem(dataFile));
    if (Status s = placeCopy(*taken, target, scratch, check, progress); !s)
        return s;
    recordFingerprint(dataFile, fingerprintOf(taken->changeCounter, taken->fileBytes));
    rotate(BackupDir(), dataFile);

    BackupMade out;
    out.copy = target;
    if (secondDir.isEmpty())
        return out;
    if (!QFileInfo(secondDir).isDir()) {
        out.secondError = QStringLiteral("找不到备份位置：%1").arg(native(secondDir));
        return out;
    }
    removeLeftovers(secondDir, dataFile);
    const QString second = freeName(secondDir + QLatin1Char('/') + name, kPages);
    progress.stage(QStringLiteral("正在复制到备份位置…"), taken->fileBytes / (1 << 20));
    const Status copied = pagecopies::Replicate(target, store, second, pagecopies::StoreOf(secondDir, stem(dataFile)), progress);
    if (copied) {
        out.secondCopy = second;
        rotate(secondDir, dataFile);
    } else {
        out.secondError = copied.error();
        removeLeftovers(secondDir, dataFile);
    }
    return out;
}

QStringList BackUpDataFiles(const QString &secondDir, Progress &progress, Check check)
{
    QStringList log;
    for (const QString &file : {RealDatabaseFile(), DemoDatabaseFile()}) {
        const QString name = QFileInfo(file).fileName();
        if (!QFileInfo::exists(file))
            continue;
        if (!BackupsOf(file).isEmpty() && fingerprint(file) == recordedFingerprint(file)) {
            log << QStringLiteral("%1 自上次备份后没有变化。").arg(name);
            continue;
        }
        const auto made = BackUpFile(file, secondDir, progress, check);
        if (!made) {
            log << QStringLiteral("备份 %1 失败：%2").arg(name, made.error());
            continue;
        }
        log << QStringLiteral("已备份 %1：%2").arg(name, native(made->copy));
        if (!made->secondCopy.isEmpty())
            log << QStringLiteral("已备份 %1 到备份位置：%2").arg(name, native(made->secondCopy));
        if (!made->secondError.isEmpty())
            log << QStringLiteral("未能备份 %1 到备份位置：%2").arg(name, made->secondError);
    }
    return log;
}

bool ChangedSinceLastCopy(const QString &dataFile)
{
    return QFileInfo::exists(dataFile) && (BackupsOf(dataFile).isEmpty() || fingerprint(dataFile) != recordedFingerprint(dataFile));
}

QStringList CheckLaterCopies(const QString &secondDir, Progress &progress)
{
    QStringList log;
    for (const QString &file : {RealDatabaseFile(), DemoDatabaseFile()}) {
        QHash<QByteArray, bool> sound; // whole-content hash: passed the check
        const QString scratch = scratchIn(BackupDir(), stem(file));
        for (const QString &dir : {BackupDir(), secondDir}) {
            if (dir.isEmpty() || !QFileInfo(dir).isDir())
                continue;
            for (const QString &copy : BackupsOf(file, dir)) {
                if (!paged(copy))
                    continue;
                auto m = pagecopies::ReadManifest(copy);
                if (!m || m->checked)
                    continue;
                if (!sound.contains(m->wholeHash)) {
                    const Status s = checkContent(copy, scratch, progress);
                    if (!s && s.error() == cancelled().error())
                        return log;
                    sound.insert(m->wholeHash, s.ok());
                }
                if (sound.value(m->wholeHash)) {
                    m.value().checked = true;
                    // The checked list takes the copy's place in one step.
                    const QString partial = copy + QStringLiteral(".part");
                    if (!pagecopies::WriteManifest(*m, partial)
                        || ::rename(QFile::encodeName(partial).constData(), QFile::encodeName(copy).constData()) != 0)
                        RemoveDatabaseFile(partial);
                } else {
                    RemoveDatabaseFile(copy);
                    log << QStringLiteral("备份 %1 检查未通过，已删除。").arg(native(copy));
                }
            }
        }
    }
    return log;
}

Status VerifyBackup(const QString &backup, Progress &progress)
{
    if (paged(backup)) {
        const auto m = pagecopies::ReadManifest(backup);
        if (!m)
            return m.status();
        if (m->checked)
            return pagecopies::Read(backup, storeOfCopy(backup), progress);
        // Taken at an exit and not yet checked: its content is checked now.
        return checkContent(backup, scratchIn(QFileInfo(backup).absolutePath(), storeOfCopy(backup).section(QLatin1Char('/'), -1).chopped(6)), progress);
    }
    // The content of a compressed copy passed the integrity check before it was taken;
    // its frame checksum shows it is still that content.
    if (packed(backup))
        return decode(backup, nullptr, progress);
    return integrityOk(backup);
}

QList<Status> VerifyBackups(const QStringList &backups, Progress &progress)
{
    QHash<QString, QSet<QByteArray>> known; // per store: the chunks found whole
    QList<Status> out;
    for (const QString &copy : backups) {
        const auto m = paged(copy) ? pagecopies::ReadManifest(copy) : Result<pagecopies::Manifest>(Status());
        if (paged(copy) && m && m->checked)
            out << pagecopies::Read(copy, storeOfCopy(copy), progress, nullptr, &known[storeOfCopy(copy)]);
        else
            out << VerifyBackup(copy, progress);
    }
    return out;
}

Status UnpackBackup(const QString &backup, const QString &target, Progress &progress)
{
    if (!packed(backup) && !paged(backup))
        return QFile::copy(backup, target) ? Status()
                                           : Status::failure(QStringLiteral("无法复制备份文件：%1").arg(native(backup)), Fault::IO);
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return Status::failure(QStringLiteral("无法写入文件：%1").arg(native(target)), Fault::IO);
    Status s = paged(backup) ? pagecopies::Read(backup, storeOfCopy(backup), progress, &out) : decode(backup, &out, progress);
    if (!closeSynced(out) && s)
        s = Status::failure(QStringLiteral("无法写入文件：%1").arg(native(target)), Fault::IO);
    if (!s)
        RemoveDatabaseFile(target);
    return s;
}

std::optional<QString> NewestGoodBackup(const QString &dataFile)
{
    for (const QString &copy : BackupsOf(dataFile)) {
        if (VerifyBackup(copy))
            return copy;
    }
    return std::nullopt;
}

Result<QString> RestoreBackup(const QString &dataFile, const QString &backup, Progress &progress, const QString &keptAs)
{
    // The copy is made and checked first, so a failure leaves everything as it was.
    const QString partial = dataFile + QStringLiteral(".restoring");
    RemoveDatabaseFile(partial);
    progress.stage(QStringLiteral("正在恢复…"), QFileInfo(backup).size() / (1 << 20));
    if (Status s = UnpackBackup(backup, partial, progress); !s) {
        RemoveDatabaseFile(partial);
        return s.fault() == Fault::Damaged ? s
                                           : Status::failure(QStringLiteral("无法从备份恢复数据文件：%1").arg(native(backup)), Fault::IO);
    }
    QFile::setPermissions(partial, QFile::ReadOwner | QFile::WriteOwner);
    progress.stage(QStringLiteral("正在检查恢复的数据…"), 0);
    if (Status s = integrityOk(partial); !s) {
        RemoveDatabaseFile(partial);
        return s;
    }
    QString kept;
    if (QFileInfo::exists(dataFile)) {
        kept = freeName(dataFile + QLatin1Char('.') + keptAs + QLatin1Char('-') + Clock::now().toString(kStampFormat), QString());
        if (!QFile::rename(dataFile, kept)) {
            RemoveDatabaseFile(partial);
            return Status::failure(QStringLiteral("无法将原数据文件改名保留：%1").arg(native(dataFile)), Fault::IO);
        }
    }
    // A journal beside the replaced file belongs to it, not to the copy put in its place.
    const QString journalsGo = kept.isEmpty() ? freeName(dataFile + QStringLiteral(".old"), QString()) : kept;
    bool journalsMoved = true;
    for (const char *side : {"-journal", "-wal", "-shm"}) {
        const QString f = dataFile + QLatin1String(side);
        if (QFileInfo::exists(f))
            journalsMoved = QFile::rename(f, journalsGo + QLatin1String(side)) && journalsMoved;
    }
    if (!journalsMoved || !QFile::rename(partial, dataFile)) {
        if (!kept.isEmpty())
            QFile::rename(kept, dataFile);
        RemoveDatabaseFile(partial);
        return Status::failure(QStringLiteral("无法从备份恢复数据文件：%1").arg(native(backup)), Fault::IO);
    }
    return kept;
}

} // namespace db
