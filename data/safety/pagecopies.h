#pragma once
#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

#include "data/store/progress.h"
#include "data/store/result.h"

class QFile;

namespace db::pagecopies {

// Copies that share unchanged pages. The data file is cut into chunks of pages; each chunk
// is kept once per folder, compressed with zstd and named after the hash of its content,
// in the store <stem>.pages beside the copies. A copy (db-<moment>.sqlite.pages) is the
// list of the hashes of its chunks, with the hash of the whole content. A copy that shares
// all but a few chunks with the one before costs only those few.
constexpr qint64 kChunkBytes = 256 << 10;

struct Manifest
{
    qint64 fileBytes = 0;
    quint32 changeCounter = 0; // the data file's change counter when it was read
    bool checked = false;      // its content passed SQLite's integrity check
    QByteArray wholeHash;      // 16 bytes
    QList<QByteArray> chunks;  // 16 bytes each, in file order
};

Result<Manifest> ReadManifest(const QString &copy);
Status WriteManifest(const Manifest &m, const QString &path); // synced to disk

// The store of the chunks of a data file's copies in a folder.
QString StoreOf(const QString &dir, const QString &stem);

// Reads the data file in steps, each under SQLite's read lock held for a few chunks only,
// so writers wait milliseconds at most; stores the chunks the store lacks (each read back
// and compared before it takes its name). A write between steps shows in the file's
// change counter: the reading starts again (the chunks stored stay, so only the changed
// ones cost again), at most maxRestarts times. The manifest is not written.
Result<Manifest> Take(const QString &dataFile, const QString &store, Progress &progress, int maxRestarts = 3);

// Every chunk there and whole: decoded, its hash and the whole content's hash compared.
// With target, the content is written there too. Chunks in known were found whole before
// (they are not read again) and those found whole now are added.
Status Read(const QString &copy, const QString &store, Progress &progress, QFile *target = nullptr,
            QSet<QByteArray> *known = nullptr);

// Copies the chunks of a copy that the other store lacks (each verified there), then the
// copy itself under the name to (written as to.part, renamed when whole).
Status Replicate(const QString &copy, const QString &fromStore, const QString &to, const QString &toStore,
                 Progress &progress);

// Removes the chunks no copy in the list refers to, and chunks left half-written.
void CollectGarbage(const QString &store, const QStringList &copies);

} // namespace db::pagecopies
