#include "data/safety/backupjob.h"

#include <QDateTime>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "data/safety/backups.h"

namespace db {

BackupJob::~BackupJob()
{
    stop();
}

bool BackupJob::start(const QString &secondDir, std::function<void(const QStringList &)> done)
{
    if (m_running)
        return false;
    if (m_thread.joinable())
        m_thread.join();
    m_running = true;
    m_stopper.stopAsked = false;
    m_thread = std::thread([this, secondDir, done = std::move(done)] {
        // The counter's work comes first; not the lowest priority, so a stop asked on a
        // busy machine is still heeded soon.
        ::setpriority(PRIO_PROCESS, pid_t(::syscall(SYS_gettid)), 10);
        QStringList log = CheckLaterCopies(secondDir, m_stopper);
        if (!m_stopper.stopAsked)
            log += BackUpDataFiles(secondDir, m_stopper, Check::Full);
        if (done)
            done(log);
        m_running = false;
    });
    return true;
}

void BackupJob::stop()
{
    m_stopper.stopAsked = true;
    if (m_thread.joinable())
        m_thread.join();
    m_running = false;
}

Deadline::Deadline(qint64 ms) : m_end(QDateTime::currentMSecsSinceEpoch() + ms) {}

bool Deadline::advance(qint64)
{
    return QDateTime::currentMSecsSinceEpoch() < m_end;
}

} // namespace db
