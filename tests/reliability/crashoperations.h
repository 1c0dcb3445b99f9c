#pragma once
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

#include "data/store/result.h"

// The multi-row writes the crash test kills half-way. Adding a write is one entry in
// Operations() (crashoperations.cpp).
namespace crashtest {

enum class Judge {
    // After a kill the files hold exactly what they held before or exactly what the
    // uninterrupted operation leaves.
    AllOrNothing,
    // Start-up work that the next start finishes: after a kill every file there is sound,
    // and running the operation again ends exactly as an uninterrupted run.
    Resumable,
};

struct CrashOperation
{
    QString name;
    QStringList files; // the data files it writes, by name in the program folder
    Judge judge = Judge::AllOrNothing;
    // In the test program: lays out the program folder the operation starts from.
    std::function<void(const QString &folder)> prepare;
    // In the child, with the program folder chosen and the clock pinned, before the
    // statements of the operation are counted: reads what the window would already know
    // and returns the operation.
    std::function<std::function<db::Status()>()> setUp;
    // Kills after at most this many statement positions, spread evenly from the first to
    // the last, unless LANLAN_CRASH_EVERY_STATEMENT is set (the long sweep); 0: every one.
    qint64 positions = 0;
    // A rule of what a kill may leave beside the data files, judged in the program folder
    // after every kill: empty when it holds, else what is wrong.
    std::function<QString(const QString &folder)> leftBehind;
};

const QList<CrashOperation> &Operations();
const CrashOperation *FindOperation(const QString &name);

} // namespace crashtest
