#include "data/store/progress.h"

namespace db {

namespace {

class Silent final : public Progress
{
public:
    void stage(const QString &, qint64) override {}
    bool advance(qint64) override { return true; }
};

// Per thread: work on a worker thread must not report to a dialog of the window thread.
thread_local Progress *g_current = nullptr;

} // namespace

Progress &NoProgress()
{
    static Silent silent;
    return silent;
}

ScopedProgress::ScopedProgress(Progress *p) : m_previous(g_current)
{
    g_current = p;
}

ScopedProgress::~ScopedProgress()
{
    g_current = m_previous;
}

Progress &ScopedProgress::current()
{
    return g_current ? *g_current : NoProgress();
}

} // namespace db
