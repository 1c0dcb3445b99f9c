#include "app/termination.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QStringList>
#include <QWidget>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

#include "data/store/programdir.h"

namespace startup {
namespace {
int g_pipe[2] = {-1, -1};
bool g_requested = false;

void onSignal(int)
{
    const char c = 1;
    // Only async-signal-safe work here; the event loop does the rest.
    [[maybe_unused]] auto n = ::write(g_pipe[0], &c, 1);
}

void terminate()
{
    g_requested = true;
    QStringList open;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible())
            open << QString::fromLatin1(w->metaObject()->className());
    }
    std::fprintf(stderr, "lanlan: terminated; open windows: %s\n", qPrintable(open.join(QStringLiteral(", "))));
    QApplication::closeAllWindows();
    db::EmptyScratchDir();
    QCoreApplication::exit(0);
}
} // namespace

void handleTermination()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char c;
        [[maybe_unused]] auto n = ::read(g_pipe[1], &c, 1);
        terminate();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
}

bool terminationRequested()
{
    return g_requested;
}

} // namespace startup
