#include "ui/windowhost.h"

#include <QHash>
#include <QMdiSubWindow>
#include <QPointer>

namespace ui {
namespace {
WindowHost *g_host = nullptr;
QHash<QByteArray, QPointer<QWidget>> g_shared;
// The window that windows shown now were opened from, and what takes the focus back there.
QPointer<QWidget> g_openedFrom, g_focusBack;
} // namespace

OpenedFrom::OpenedFrom(QWidget *window, QWidget *focus) : m_window(g_openedFrom), m_focus(g_focusBack)
{
    g_openedFrom = window;
    g_focusBack = focus;
}

OpenedFrom::~OpenedFrom()
{
    g_openedFrom = m_window;
    g_focusBack = m_focus;
}

void RegisterWindowHost(WindowHost *host)
{
    g_host = host;
}

void UnregisterWindowHost(WindowHost *host)
{
    if (g_host == host)
        g_host = nullptr;
}

WindowHost *RegisteredWindowHost()
{
    return g_host;
}

void ShowWindow(QWidget *w)
{
    w->setAttribute(Qt::WA_DeleteOnClose);
    if (g_openedFrom) {
        // After the workspace has activated whatever it picks next.
        QObject::connect(w, &QObject::destroyed, g_openedFrom,
                         [from = g_openedFrom, focus = g_focusBack] {
                             QMetaObject::invokeMethod(
                                 from,
                                 [from, focus] {
                                     if (!from)
                                         return;
                                     BringToFront(from);
                                     if (focus)
                                         focus->setFocus(Qt::OtherFocusReason);
                                 },
                                 Qt::QueuedConnection);
                         });
    }
    if (g_host) {
        g_host->showChild(w);
        return;
    }
    w->show();
    w->raise();
    w->activateWindow();
}

void BringToFront(QWidget *w)
{
    if (g_host && w->parentWidget()) {
        g_host->activateChild(w);
        return;
    }
    w->show();
    w->raise();
    w->activateWindow();
}

void CloseWindow(QWidget *w)
{
    // Inside the workspace the frame around the window is what closes.
    if (auto *frame = qobject_cast<QMdiSubWindow *>(w->parentWidget()))
        frame->close();
    else
        w->close();
}

QWidget *SharedWindow(const QByteArray &kind)
{
    return g_shared.value(kind).data();
}

QWidget *SharedWindow(const QByteArray &kind, const std::function<QWidget *()> &make)
{
    if (QWidget *existing = g_shared.value(kind).data())
        return existing;
    QWidget *w = make();
    g_shared.insert(kind, w);
    ShowWindow(w);
    return w;
}

DataSwitch *DataSwitch::instance()
{
    static DataSwitch signal;
    return &signal;
}

} // namespace ui
