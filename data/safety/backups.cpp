#include "data/safety/backups.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>

#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/store/programdir.h"
#include "data/store/schema.h"

namespace db {
namespace {

const QString kStampFormat = QStringLiteral("yyyyMMdd-HHmmss");

QString stem(const QString &dataFile)
{
    return QFileInfo(dataFile).completeBaseName();
}

QRegularExpression copyName(const QString &dataFile)
{
    return QRegularExpression(QStringLiteral("^%1-(\\d{8}-\\d{6})(?:-(\\d+))?\\.sqlite$")
                                  .arg(QRegularExpression::escape(stem(dataFile))));
}

// What tells whether a file changed since its last copy: SQLite counts every committed
// change in the file's header; the size catches a file replaced by another.
QString fingerprint(const QString &dataFile)
{
    QFile f(dataFile);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = f.read(100);
    if (head.size() < 28)
        return {};
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(head.mid(24, 4).toHex())).arg(f.size());
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

Status integrityOk(const QString &file)
{
    Connection c(file, Connection::Mode::Inspect);
    if (!c.ok())
        return c.status();
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
        return Status::failure(QStringLiteral("备份检查未通过：%1").arg(found.first()), Fault::Damaged);
    return {};
}

// A name for a new copy or a kept file that no file has yet.
QString freeName(const QString &base, const QString &suffix)
{
    QString name = base + suffix;
    for (int n = 2; QFileInfo::exists(name) || QFileInfo::exists(name + QStringLiteral(".part")); ++n)
        name = base + QStringLiteral("-%1").arg(n) + suffix;
    return name;
}

void dropOldest(const QString &dataFile)
{
    const QStringList copies = BackupsOf(dataFile);
    for (qsizetype i = kBackupsKept; i < copies.size(); ++i)
        RemoveDatabaseFile(copies[i]);
}

} // namespace

QString BackupDir()
{
    return ProgramDir::file(QStringLiteral("backup"));
}

QStringList BackupsOf(const QString &dataFile)
{
    const QRegularExpression pattern = copyName(dataFile);
    QStringList names;
    for (const QString &name : QDir(BackupDir()).entryList(QDir::Files)) {
        const auto m = pattern.match(name);
        if (m.hasMatch())
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
        out << BackupDir() + QLatin1Char('/') + n;
    return out;
}

QDateTime BackupTime(const QString &backup)
{
    const QString name = QFileInfo(backup).fileName();
    static const QRegularExpression stamp(QStringLiteral("-(\\d{8}-\\d{6})(?:-\\d+)?\\.sqlite$"));
    const auto m = stamp.match(name);
    return m.hasMatch() ? QDateTime::fromString(m.captured(1), kStampFormat) : QDateTime();
}

Result<QString> BackUpFile(const QString &dataFile)
{
    if (!QFileInfo::exists(dataFile))
        return Status::failure(QStringLiteral("找不到数据库文件：%1").arg(QDir::toNativeSeparators(dataFile)), Fault::Missing);
    if (!QDir().mkpath(BackupDir()))
        return Status::failure(QStringLiteral("无法建立备份文件夹：%1").arg(QDir::toNativeSeparators(BackupDir())), Fault::IO);
    const QString print = fingerprint(dataFile);
    const QString target = freeName(BackupDir() + QLatin1Char('/') + stem(dataFile) + QLatin1Char('-')
                                        + Clock::now().toString(kStampFormat),
                                    QStringLiteral(".sqlite"));
    // A copy cut short (the program was killed at its exit) is never taken for one.
    const QRegularExpression leftover(QStringLiteral("^%1-.*\\.sqlite\\.part$").arg(QRegularExpression::escape(stem(dataFile))));
    for (const QString &name : QDir(BackupDir()).entryList(QDir::Files)) {
        if (leftover.match(name).hasMatch())
            RemoveDatabaseFile(BackupDir() + QLatin1Char('/') + name);
    }
    const QString partial = target + QStringLiteral(".part");
    {
        Connection c(dataFile, Connection::Mode::Inspect);
        if (!c.ok())
            return c.status();
        // SQLite's own copy of a live file: consistent even while another program reads it.
        if (Status s = c.exec(QStringLiteral("VACUUM INTO ?"), {partial}); !s) {
            RemoveDatabaseFile(partial);
            return s;
        }
    }
    if (Status s = integrityOk(partial); !s) {
        RemoveDatabaseFile(partial);
        return s;
    }
    if (!QFile::rename(partial, target)) {
        RemoveDatabaseFile(partial);
        return Status::failure(QStringLiteral("无法写入备份文件：%1").arg(QDir::toNativeSeparators(target)), Fault::IO);
    }
    recordFingerprint(dataFile, print);
    dropOldest(dataFile);
    return target;
}

QStringList BackUpDataFiles()
{
    QStringList log;
    for (const QString &file : {RealDatabaseFile(), DemoDatabaseFile()}) {
        const QString name = QFileInfo(file).fileName();
        if (!QFileInfo::exists(file))
            continue;
        const QStringList copies = BackupsOf(file);
        if (!copies.isEmpty() && BackupTime(copies.first()).date() == Clock::today()) {
            log << QStringLiteral("%1 今天已备份过。").arg(name);
            continue;
        }
        if (!copies.isEmpty() && fingerprint(file) == recordedFingerprint(file)) {
            log << QStringLiteral("%1 自上次备份后没有变化。").arg(name);
            continue;
        }
        const auto copy = BackUpFile(file);
        log << (copy ? QStringLiteral("已备份 %1：%2").arg(name, QDir::toNativeSeparators(copy.value()))
                     : QStringLiteral("备份 %1 失败：%2").arg(name, copy.error()));
    }
    return log;
}

std::optional<QString> NewestGoodBackup(const QString &dataFile)
{
    for (const QString &copy : BackupsOf(dataFile)) {
        if (integrityOk(copy))
            return copy;
    }
    return std::nullopt;
}

Result<QString> RestoreBackup(const QString &dataFile, const QString &backup)
{
    // The copy is made first, so a failure leaves everything as it was.
    const QString partial = dataFile + QStringLiteral(".restoring");
    RemoveDatabaseFile(partial);
    if (!QFile::copy(backup, partial)) {
        RemoveDatabaseFile(partial);
        return Status::failure(QStringLiteral("无法从备份恢复数据文件：%1").arg(QDir::toNativeSeparators(backup)), Fault::IO);
    }
    QFile::setPermissions(partial, QFile::ReadOwner | QFile::WriteOwner);
    QString kept;
    if (QFileInfo::exists(dataFile)) {
        kept = freeName(dataFile + QStringLiteral(".damaged-") + Clock::now().toString(kStampFormat), QString());
        if (!QFile::rename(dataFile, kept)) {
            RemoveDatabaseFile(partial);
            return Status::failure(QStringLiteral("无法将损坏的数据文件改名保留：%1").arg(QDir::toNativeSeparators(dataFile)), Fault::IO);
        }
    }
    // A journal beside the damaged file belongs to it, not to the copy put in its place.
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
        return Status::failure(QStringLiteral("无法从备份恢复数据文件：%1").arg(QDir::toNativeSeparators(backup)), Fault::IO);
    }
    return kept;
}

} // namespace db
