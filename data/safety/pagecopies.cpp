#include "data/safety/pagecopies.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <xxhash.h>
#include <zstd.h>

#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "data/store/connection.h"

namespace db::pagecopies {
namespace {

const QByteArray kMagic("LANLANPG");
constexpr quint32 kFormat = 1;
// Chunks read under one hold of the read lock: 4 MB, a few milliseconds.
constexpr int kChunksPerStep = 16;

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

Status writeFailure(const QString &file)
{
    return Status::failure(QStringLiteral("无法写入备份文件（备份位置已满、只读或已移除？）：%1").arg(native(file)), Fault::IO);
}

Status readFailure(const QString &file)
{
    return Status::failure(QStringLiteral("无法读取备份文件：%1").arg(native(file)), Fault::IO);
}

Status damaged(const QString &copy)
{
    return Status::failure(QStringLiteral("备份文件不完整或已损坏：%1").arg(native(copy)), Fault::Damaged);
}

Status cancelled()
{
    return Status::failure(QStringLiteral("备份已取消。"), Fault::IO);
}

QByteArray hash128(const char *data, size_t n)
{
    const XXH128_hash_t h = XXH3_128bits(data, n);
    XXH128_canonical_t c;
    XXH128_canonicalFromHash(&c, h);
    return QByteArray(reinterpret_cast<const char *>(c.digest), 16);
}

// The hash of the whole content: of its chunks' hashes in order (each chunk's own hash
// is checked against its bytes).
QByteArray wholeOf(const QList<QByteArray> &chunks)
{
    QByteArray all;
    all.reserve(chunks.size() * 16);
    for (const QByteArray &h : chunks)
        all += h;
    return hash128(all.constData(), size_t(all.size()));
}

QString chunkFile(const QString &store, const QByteArray &hash)
{
    return store + QLatin1Char('/') + QString::fromLatin1(hash.toHex()) + QStringLiteral(".zst");
}

bool closeSynced(QFile &f)
{
    const bool ok = f.flush() && ::fsync(f.handle()) == 0;
    f.close();
    return ok && f.error() == QFileDevice::NoError;
}

// The content of a stored chunk, checked against its name; empty when it is not whole.
QByteArray decodeChunk(const QByteArray &packed, const QByteArray &hash)
{
    const unsigned long long size = ZSTD_getFrameContentSize(packed.constData(), size_t(packed.size()));
    if (size == ZSTD_CONTENTSIZE_ERROR || size == ZSTD_CONTENTSIZE_UNKNOWN || size > quint64(kChunkBytes))
        return {};
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    const size_t n = ZSTD_decompress(out.data(), size_t(out.size()), packed.constData(), size_t(packed.size()));
    if (ZSTD_isError(n) || n != size || hash128(out.constData(), n) != hash)
        return {};
    return out;
}

QByteArray readAll(const QString &path, bool *ok)
{
    QFile f(path);
    *ok = f.open(QIODevice::ReadOnly);
    if (!*ok)
        return {};
    QByteArray bytes = f.readAll();
    *ok = f.error() == QFileDevice::NoError;
    return bytes;
}

// Chunks written under a passing name, their writing to disk started; settled together,
// so the disk writes them at once instead of one flush after the other.
class NewChunks
{
public:
    explicit NewChunks(const QString &store) : m_store(store) {}
    ~NewChunks()
    {
        for (const QString &partial : std::as_const(m_partial))
            QFile::remove(partial);
    }
    Status write(const QByteArray &hash, const QByteArray &packed)
    {
        const QString partial = chunkFile(m_store, hash) + QStringLiteral(".part");
        QFile out(partial);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(packed) != packed.size() || !out.flush()) {
            QFile::remove(partial);
            return writeFailure(partial);
        }
        ::sync_file_range(out.handle(), 0, 0, SYNC_FILE_RANGE_WRITE);
        m_partial << partial;
        m_hashes << hash;
        return {};
    }
    // On disk, read back whole, then named; stopped between two chunks when asked.
    Status settle(Progress &progress, qint64 stepsDone)
    {
        for (qsizetype i = 0; i < m_partial.size(); ++i) {
            if (!progress.advance(stepsDone))
                return cancelled();
            QFile f(m_partial[i]);
            if (!f.open(QIODevice::ReadOnly) || ::fsync(f.handle()) != 0)
                return writeFailure(m_partial[i]);
            const QByteArray back = f.readAll();
            if (f.error() != QFileDevice::NoError || decodeChunk(back, m_hashes[i]).isNull()
                || !QFile::rename(m_partial[i], chunkFile(m_store, m_hashes[i])))
                return writeFailure(m_partial[i]);
        }
        m_partial.clear();
        m_hashes.clear();
        return {};
    }

private:
    QString m_store;
    QStringList m_partial;
    QList<QByteArray> m_hashes;
};

class Packer
{
public:
    Packer() : m_ctx(ZSTD_createCCtx())
    {
        ZSTD_CCtx_setParameter(m_ctx.get(), ZSTD_c_compressionLevel, 3);
        ZSTD_CCtx_setParameter(m_ctx.get(), ZSTD_c_checksumFlag, 1);
    }
    QByteArray pack(const char *data, size_t n)
    {
        QByteArray out(qsizetype(ZSTD_compressBound(n)), Qt::Uninitialized);
        const size_t m = ZSTD_compress2(m_ctx.get(), out.data(), size_t(out.size()), data, n);
        if (ZSTD_isError(m))
            return {};
        out.resize(qsizetype(m));
        return out;
    }

private:
    struct Free { void operator()(ZSTD_CCtx *c) const { ZSTD_freeCCtx(c); } };
    std::unique_ptr<ZSTD_CCtx, Free> m_ctx;
};

quint32 bigEndian32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return (quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | quint32(u[3]);
}

} // namespace

QString StoreOf(const QString &dir, const QString &stem)
{
    return dir + QLatin1Char('/') + stem + QStringLiteral(".pages");
}

Result<Manifest> ReadManifest(const QString &copy)
{
    bool read = false;
    const QByteArray bytes = readAll(copy, &read);
    if (!read)
        return readFailure(copy);
    if (bytes.size() < 16 || hash128(bytes.constData(), size_t(bytes.size() - 16)) != bytes.right(16))
        return damaged(copy);
    QDataStream in(bytes.left(bytes.size() - 16));
    QByteArray magic(kMagic.size(), '\0');
    in.readRawData(magic.data(), int(magic.size()));
    quint32 format = 0, chunkBytes = 0;
    quint8 checked = 0;
    quint64 count = 0;
    Manifest m;
    in >> format >> chunkBytes >> m.fileBytes >> m.changeCounter >> checked;
    m.wholeHash.resize(16);
    in.readRawData(m.wholeHash.data(), 16);
    in >> count;
    if (magic != kMagic || format != kFormat || chunkBytes != quint32(kChunkBytes) || in.status() != QDataStream::Ok
        || count != quint64((m.fileBytes + kChunkBytes - 1) / kChunkBytes))
        return damaged(copy);
    m.checked = checked != 0;
    for (quint64 i = 0; i < count; ++i) {
        QByteArray h(16, '\0');
        if (in.readRawData(h.data(), 16) != 16)
            return damaged(copy);
        m.chunks << h;
    }
    return m;
}

Status WriteManifest(const Manifest &m, const QString &path)
{
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out.writeRawData(kMagic.constData(), int(kMagic.size()));
        out << kFormat << quint32(kChunkBytes) << m.fileBytes << m.changeCounter << quint8(m.checked ? 1 : 0);
        out.writeRawData(m.wholeHash.constData(), 16);
        out << quint64(m.chunks.size());
        for (const QByteArray &h : m.chunks)
            out.writeRawData(h.constData(), 16);
    }
    bytes += hash128(bytes.constData(), size_t(bytes.size()));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size() || !closeSynced(f))
        return writeFailure(path);
    return {};
}

Result<Manifest> Take(const QString &dataFile, const QString &store, Progress &progress, int maxRestarts)
{
    if (!QDir().mkpath(store))
        return writeFailure(store);
    Connection c(dataFile, Connection::Mode::Inspect);
    if (!c.ok())
        return c.status();
    // Unbuffered: every step reads the header as it is on disk now.
    QFile in(dataFile);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return Status::failure(QStringLiteral("无法读取数据文件：%1").arg(native(dataFile)), Fault::IO);
    const QString name = QFileInfo(dataFile).fileName();
    const QSet<QString> present = [&] {
        const QStringList names = QDir(store).entryList({QStringLiteral("*.zst")}, QDir::Files);
        return QSet<QString>(names.begin(), names.end());
    }();
    QSet<QByteArray> stored;
    NewChunks fresh(store);
    Packer packer;
    std::vector<char> buf(size_t(kChunkBytes) * kChunksPerStep);
    for (int restarts = 0;; ++restarts) {
        if (restarts > maxRestarts)
            return Status::failure(QStringLiteral("%1 一直在改动，这次没有备份，稍后再试。").arg(name), Fault::Busy);
        Manifest m;
        bool changed = false;
        progress.stage(QStringLiteral("正在备份 %1…").arg(name), in.size() / (1 << 20));
        for (qint64 pos = 0; !changed;) {
            // The read lock: no writer changes the file while these chunks are read.
            if (Status s = c.exec(QStringLiteral("BEGIN")); !s)
                return s;
            if (Status s = c.exec(QStringLiteral("SELECT 1 FROM sqlite_master LIMIT 1")); !s) {
                c.exec(QStringLiteral("ROLLBACK"));
                return s;
            }
            char head[100];
            const bool headRead = in.seek(0) && in.read(head, 100) == 100;
            const qint64 size = in.size();
            qint64 got = -1;
            if (headRead && in.seek(pos))
                got = in.read(buf.data(), qint64(buf.size()));
            c.exec(QStringLiteral("COMMIT"));
            if (!headRead || got < 0 || std::memcmp(head, "SQLite format 3", 16) != 0)
                return Status::failure(QStringLiteral("数据文件检查未通过，可能已损坏：%1").arg(native(dataFile)), Fault::Damaged);
            const quint32 counter = bigEndian32(head + 24);
            if (pos == 0) {
                m.fileBytes = size;
                m.changeCounter = counter;
            } else if (counter != m.changeCounter || size != m.fileBytes) {
                changed = true;
                break;
            }
            for (qint64 at = 0; at < got; at += kChunkBytes) {
                // Asked every chunk: a stop is heeded within milliseconds even at low priority.
                if (!progress.advance((pos + at) / (1 << 20)))
                    return cancelled();
                const size_t n = size_t(std::min<qint64>(kChunkBytes, got - at));
                const char *data = buf.data() + at;
                const QByteArray h = hash128(data, n);
                m.chunks << h;
                const QString file = QString::fromLatin1(h.toHex()) + QStringLiteral(".zst");
                if (present.contains(file) || stored.contains(h))
                    continue;
                const QByteArray packed = packer.pack(data, n);
                if (packed.isNull())
                    return Status::failure(QStringLiteral("压缩备份失败。"), Fault::IO);
                if (Status s = fresh.write(h, packed); !s)
                    return s;
                stored.insert(h);
            }
            pos += got;
            if (!progress.advance(pos / (1 << 20)))
                return cancelled();
            if (pos >= m.fileBytes)
                break;
        }
        if (!changed) {
            if (Status s = fresh.settle(progress, m.fileBytes / (1 << 20)); !s)
                return s;
            m.wholeHash = wholeOf(m.chunks);
            return m;
        }
    }
}

Status Read(const QString &copy, const QString &store, Progress &progress, QFile *target, QSet<QByteArray> *known)
{
    const auto m = ReadManifest(copy);
    if (!m)
        return m.status();
    bool skipped = false;
    qint64 done = 0;
    for (const QByteArray &h : m->chunks) {
        if (!target && known && known->contains(h)) {
            skipped = true;
            done += kChunkBytes;
            continue;
        }
        bool read = false;
        const QByteArray packed = readAll(chunkFile(store, h), &read);
        const QByteArray data = read ? decodeChunk(packed, h) : QByteArray();
        if (data.isNull())
            return damaged(copy);
        if (target && target->write(data) != data.size())
            return Status::failure(QStringLiteral("无法写入文件：%1").arg(native(target->fileName())), Fault::IO);
        if (known)
            known->insert(h);
        done += data.size();
        if (!progress.advance(done / (1 << 20)))
            return cancelled();
    }
    // Chunks checked before are each whole against their hash; the whole content's hash
    // is compared when every chunk was read now.
    if (skipped)
        return {};
    return done == m->fileBytes && wholeOf(m->chunks) == m->wholeHash ? Status() : damaged(copy);
}

Status Replicate(const QString &copy, const QString &fromStore, const QString &to, const QString &toStore,
                 Progress &progress)
{
    const auto m = ReadManifest(copy);
    if (!m)
        return m.status();
    if (!QDir().mkpath(toStore))
        return writeFailure(toStore);
    const QStringList names = QDir(toStore).entryList({QStringLiteral("*.zst")}, QDir::Files);
    QSet<QString> present(names.begin(), names.end());
    NewChunks fresh(toStore);
    qint64 done = 0;
    for (const QByteArray &h : m->chunks) {
        const QString name = QString::fromLatin1(h.toHex()) + QStringLiteral(".zst");
        if (!present.contains(name)) {
            bool read = false;
            const QByteArray packed = readAll(chunkFile(fromStore, h), &read);
            if (!read || decodeChunk(packed, h).isNull())
                return damaged(copy);
            if (Status s = fresh.write(h, packed); !s)
                return s;
            present.insert(name);
        }
        done += kChunkBytes;
        if (!progress.advance(done / (1 << 20)))
            return cancelled();
    }
    if (Status s = fresh.settle(progress, done / (1 << 20)); !s)
        return s;
    const QString partial = to + QStringLiteral(".part");
    Status s = WriteManifest(*m, partial);
    if (s && !QFile::rename(partial, to))
        s = writeFailure(to);
    if (!s)
        QFile::remove(partial);
    return s;
}

void CollectGarbage(const QString &store, const QStringList &copies)
{
    QSet<QString> used;
    for (const QString &copy : copies) {
        const auto m = ReadManifest(copy);
        if (!m)
            return; // a copy that cannot be read now keeps every chunk
        for (const QByteArray &h : m->chunks)
            used.insert(QString::fromLatin1(h.toHex()) + QStringLiteral(".zst"));
    }
    QDir dir(store);
    for (const QString &name : dir.entryList(QDir::Files)) {
        if (!used.contains(name))
            dir.remove(name);
    }
}

} // namespace db::pagecopies
