#pragma once
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <thread>

#include "data/store/progress.h"

namespace db {

// The copies of a quiet moment, on a thread of their own at low priority: the copies taken
// at an exit are checked, then each data file changed since its last copy is copied and
// checked. The window thread never waits on it, except in stop(), which the copy heeds
// within one step (a few chunks, or a slice of the integrity check).
class BackupJob
{
public:
    BackupJob() = default;
    ~BackupJob();
    BackupJob(const BackupJob &) = delete;
    BackupJob &operator=(const BackupJob &) = delete;

    // False when one is under way. done gets the log, on the job's thread.
    bool start(const QString &secondDir, std::function<void(const QStringList &log)> done = {});
    bool running() const { return m_running; }
    // Asks the job to stop and waits for it: what it left half-done is never offered.
    void stop();

private:
    class Stopper final : public Progress
    {
    public:
        void stage(const QString &, qint64) override {}
        bool advance(qint64) override { return !stopAsked; }
        std::atomic<bool> stopAsked{false};
    };
    std::thread m_thread;
    Stopper m_stopper;
    std::atomic<bool> m_running{false};
};

// Stops once its time is up: the exit's copy is given a time, and what it could not finish
// is left for the next quiet moment.
class Deadline final : public Progress
{
public:
    explicit Deadline(qint64 ms);
    void stage(const QString &, qint64) override {}
    bool advance(qint64) override;

private:
    qint64 m_end;
};

} // namespace db
