#pragma once
#include <QString>
#include <QtGlobal>

namespace db {

// What long work (an upgrade, a check, an export, an import, a copy) tells whoever waits
// for it: what it is doing, how far it is, and whether to go on. Data work knows no
// window; a window shows it as a progress dialog (ui/progressdialog.h).
class Progress
{
public:
    virtual ~Progress() = default;
    // A new stage of the work, in words for the shop keeper, with its number of steps
    // (0 when not known beforehand).
    virtual void stage(const QString &what, qint64 steps) = 0;
    // Steps of the current stage done so far. False when the shop keeper asked to stop:
    // the work then stops and leaves nothing half-done.
    virtual bool advance(qint64 done) = 0;
};

// Tells nobody and never stops: for callers that do not watch.
Progress &NoProgress();

// The progress that work started without one reports to (an upgrade on opening a file).
// A window installs its dialog here for the time of a long step; null: nobody watches.
// Installed per thread.
class ScopedProgress
{
public:
    explicit ScopedProgress(Progress *p);
    ~ScopedProgress();
    ScopedProgress(const ScopedProgress &) = delete;
    ScopedProgress &operator=(const ScopedProgress &) = delete;
    // The innermost installed one, or NoProgress().
    static Progress &current();

private:
    Progress *m_previous;
};

} // namespace db
