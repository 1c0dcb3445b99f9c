#pragma once
#include <QElapsedTimer>
#include <QPointer>
#include <QString>

#include "data/store/progress.h"

class QProgressDialog;
class QWidget;

namespace ui {

// Long work's progress as a modal dialog with a 取消 button (none when the work cannot
// stop half-way). The dialog appears once the work has run a moment, and the events of
// the program are handled at every advance, at most every 50 ms, so no window looks
// frozen while the work runs on the user-interface thread.
class ProgressDialog final : public db::Progress
{
public:
    ProgressDialog(QWidget *parent, const QString &title, bool cancellable = true);
    ~ProgressDialog() override;
    ProgressDialog(const ProgressDialog &) = delete;
    ProgressDialog &operator=(const ProgressDialog &) = delete;

    void stage(const QString &what, qint64 steps) override;
    bool advance(qint64 done) override;
    bool cancelled() const;
    // The dialog, for tests; null once closed.
    QProgressDialog *dialog() const { return m_dialog; }

private:
    QPointer<QProgressDialog> m_dialog;
    QElapsedTimer m_sinceEvents;
    qint64 m_steps = 0;
};

} // namespace ui
