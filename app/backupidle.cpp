#include "app/backupidle.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QPointer>
#include <QWidget>
#include <QTimer>

#include <cstdio>

#include "data/safety/backupjob.h"
#include "data/safety/backups.h"
#include "data/safety/backupsettings.h"
#include "data/store/location.h"
#include "data/store/programdir.h"
#include "ui/messages.h"

namespace backups {
namespace {

void logLines(const QStringList &lines)
{
    for (const QString &line : lines)
        std::fprintf(stderr, "lanlan: %s\n", line.toLocal8Bit().constData());
}

class QuietCopies final : public QObject
{
public:
    QuietCopies()
    {
        m_sinceInput.start();
        qApp->installEventFilter(this);
        m_timer.setInterval(5000);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { maybeStart(); });
        m_timer.start();
    }
    void stop() { m_job.stop(); }
    void holdWhileShown(QWidget *w) { m_holders << w; }

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        switch (e->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::Wheel:
            m_sinceInput.restart();
            break;
        default:
            break;
        }
        return QObject::eventFilter(o, e);
    }

private:
    void maybeStart()
    {
        if (m_job.running() || m_sinceInput.elapsed() < kQuietMs || db::ShopLocation::serverInUse()
            || QApplication::activeModalWidget())
            return;
        for (const QPointer<QWidget> &w : std::as_const(m_holders)) {
            if (w && w->isVisible())
                return;
        }
        if (m_sinceCopy.isValid() && m_sinceCopy.elapsed() < kBetweenCopiesMs)
            return;
        const QString second = db::SecondBackupDir();
        const bool second_ok = second.isEmpty() || QFileInfo(second).isDir();
        m_sinceCopy.start();
        m_job.start(second_ok ? second : QString(), logLines);
    }

    QElapsedTimer m_sinceInput, m_sinceCopy;
    QList<QPointer<QWidget>> m_holders;
    QTimer m_timer;
    db::BackupJob m_job;
};

QuietCopies *g_copies = nullptr;

} // namespace

void StartQuietCopies()
{
    if (!g_copies)
        g_copies = new QuietCopies;
}

void HoldQuietCopiesWhileShown(QWidget *window)
{
    if (g_copies)
        g_copies->holdWhileShown(window);
}

void StopQuietCopy()
{
    if (g_copies)
        g_copies->stop();
}

void CopyAtExit()
{
    StopQuietCopy();
    if (db::ShopLocation::serverInUse())
        return;
    const QString second = db::SecondBackupDir();
    db::Deadline budget(kExitBudgetMs);
    QStringList lines;
    const auto copy = [&] { lines = db::BackUpDataFiles(second, budget, db::Check::Later); };
    // The stick not plugged in: said once a day, in a box shown while the copy beside the
    // data is taken and gone with it, so the exit waits for the copy only.
    if (!second.isEmpty() && !QFileInfo(second).isDir() && db::TellSecondPlaceMissingToday())
        msg::notice(nullptr,
                    QStringLiteral("找不到备份位置：%1\n这次只在数据文件旁备份。请插上备份盘，下次退出时备份到那里。")
                        .arg(QDir::toNativeSeparators(second)),
                    copy);
    else
        copy();
    logLines(lines);
}

} // namespace backups
