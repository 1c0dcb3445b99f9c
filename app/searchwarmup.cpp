#include "app/searchwarmup.h"

#include <QCoreApplication>
#include <QThread>

#include "data/search/discindex.h"
#include "data/store/connection.h"
#include "data/shop/lookuplists.h"

namespace startup {

namespace {
QThread *g_warmUp = nullptr;
} // namespace

void WarmSearchInBackground()
{
    WaitForSearchWarmUp();
    static const bool waitedAtExit = [] {
        qAddPostRoutine(WaitForSearchWarmUp);
        return true;
    }();
    Q_UNUSED(waitedAtExit);
    // The lookup lists belong to the window thread: their terms are taken here.
    const db::LookupLists &lists = db::Lookups();
    const QStringList terms =
        db::DiscValueTerms(lists.MediaList.entries(), lists.ContentList.entries(), lists.CountryList.entries());
    // Nothing is shown: a file that cannot be read is reported by the search that needs it.
    g_warmUp = QThread::create([terms] {
        db::WarmDiscIndex(terms);
        // A server shop's connection is kept per thread: this thread's ends with it.
        db::Connection::closeServerConnection();
    });
    g_warmUp->start(QThread::LowPriority);
}

void WaitForSearchWarmUp()
{
    if (!g_warmUp)
        return;
    g_warmUp->wait();
    delete g_warmUp;
    g_warmUp = nullptr;
}

} // namespace startup
