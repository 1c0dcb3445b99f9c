// Work run on a thread of its own behind a progress dialog: the dialog shows the stages the
// work tells, and 取消 in the dialog reaches the work at its next step.
#include <QLabel>
#include <QProgressDialog>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>

#include "ui/backgroundwork.h"
#include "ui/progressdialog.h"

class TestBackgroundWork : public QObject
{
    Q_OBJECT
private slots:
    void stagesShownAndStopReachesWork();
};

void TestBackgroundWork::stagesShownAndStopReachesWork()
{
    ui::ProgressDialog progress(nullptr, QStringLiteral("检查"));
    QStringList seen;
    // The user-interface thread sees the second stage, then cancels, as the clerk would.
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const QString label = progress.dialog()->labelText();
        if (seen.isEmpty() || seen.last() != label)
            seen << label;
        if (label == QStringLiteral("第二步"))
            progress.dialog()->cancel();
    });
    watch.start();
    std::atomic<bool> stopped{false};
    std::atomic<bool> onOtherThread{false};
    QThread *ui = QThread::currentThread();
    ui::RunInBackground(progress, [&](db::Progress &p) {
        onOtherThread = QThread::currentThread() != ui;
        p.stage(QStringLiteral("第一步"), 0);
        QThread::msleep(150);
        p.stage(QStringLiteral("第二步"), 100);
        for (qint64 i = 0; i < 100000; ++i) {
            QThread::msleep(1);
            if (!p.advance(i)) {
                stopped = true;
                return;
            }
        }
    });
    QVERIFY(onOtherThread);
    QVERIFY(stopped);
    QVERIFY2(seen.contains(QStringLiteral("第一步")) && seen.contains(QStringLiteral("第二步")), qPrintable(seen.join(u'|')));
}

QTEST_MAIN(TestBackgroundWork)
#include "tst_backgroundwork.moc"
