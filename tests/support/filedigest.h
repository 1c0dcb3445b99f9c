#pragma once
#include <QByteArray>
#include <QString>

namespace testsupport {

// A fingerprint of everything a data file stores: its layout version, the statements that
// made its tables, indexes and triggers, and every row of every table (sqlite_sequence
// included). Files holding the same rows give the same digest however their pages lie.
// Empty, with the reason in *error, when the file cannot be read.
QByteArray ContentDigest(const QString &path, QString *error = nullptr);

} // namespace testsupport
