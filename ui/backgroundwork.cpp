#include "ui/backgroundwork.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMutex>
#include <QProgressDialog>
#include <QThread>

#include <memory>

#include "data/store/connection.h"
#include "ui/progressdialog.h"

namespace ui {

namespace {

// What the work reports, kept for the user-interface thread to pick up.
class Relay final : public db::Progress
{
public:
    void stage(const QString &what, qint64 steps) override
    {
        QMutexLocker lock(&m_mutex);
        m_what = what;
        m_steps = steps;
        m_done = 0;
        ++m_stage;
    }
    bool advance(qint64 done) override
    {
        QMutexLocker lock(&m_mutex);
        m_done = done;
        return !m_stop;
    }
    void stop()
    {
        QMutexLocker lock(&m_mutex);
        m_stop = true;
    }
    // Hands a new stage to the dialog, then how far it is; false once the dialog was cancelled.
    bool show(ProgressDialog &dialog, int &shownStage)
    {
        QString what;
        qint64 steps = 0, done = 0;
        bool newStage = false;
        {
            QMutexLocker lock(&m_mutex);
            newStage = m_stage != shownStage;
            shownStage = m_stage;
            what = m_what;
            steps = m_steps;
            done = m_done;
        }
        if (newStage)
            dialog.stage(what, steps);
        return dialog.advance(done);
    }

private:
    QMutex m_mutex;
    QString m_what;
    qint64 m_steps = 0, m_done = 0;
    int m_stage = 0;
    bool m_stop = false;
};

} // namespace

void RunInBackground(ProgressDialog &dialog, const std::function<void(db::Progress &)> &work)
{
    Relay relay;
    std::unique_ptr<QThread> thread(QThread::create([&relay, &work] {
        // A file or server shop the work opens that needs an upgrade reports here too.
        db::ScopedProgress watching(&relay);
        work(relay);
        // A server shop's connection is kept per thread; this thread ends here.
        db::Connection::closeServerConnection();
    }));
    thread->start();
    int shownStage = 0;
    // Every wake, each 20 ms, handles the program's events (the dialog alone would do so at
    // most every 50 ms), so every window answers well within 100 ms.
    bool stopping = false;
    while (!thread->wait(QDeadlineTimer(20))) {
        QCoreApplication::processEvents();
        if (stopping) {
            dialog.advance(0); // keeps the program's events handled while the work winds down
            continue;
        }
        if (relay.show(dialog, shownStage))
            continue;
        // The work stops at its next step, which may be a while in one long statement.
        relay.stop();
        stopping = true;
        dialog.stage(QStringLiteral("正在停止，请稍候…"), 0);
    }
    if (stopping)
        return;
    relay.show(dialog, shownStage);
}

} // namespace ui
