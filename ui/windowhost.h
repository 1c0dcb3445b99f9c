#pragma once
#include <QByteArray>
#include <QObject>
#include <QWidget>

#include <functional>

namespace ui {

// Where data windows are shown: the main window's workspace. The main window registers
// itself when it is created; without a host (tests, tools) windows show as top-level windows.
class WindowHost
{
public:
    virtual ~WindowHost() = default;
    // Shows w as a child window of the workspace and makes it the active one.
    virtual void showChild(QWidget *w) = 0;
    // Makes a child window already shown the active one.
    virtual void activateChild(QWidget *w) = 0;
};

void RegisterWindowHost(WindowHost *host);   // null: no host
void UnregisterWindowHost(WindowHost *host); // only if it is the one registered
WindowHost *RegisteredWindowHost();

// Shows a new window: inside the host's workspace, or on its own when there is none. The
// window is deleted when the user closes it.
void ShowWindow(QWidget *w);
// While one lives, every window ShowWindow shows was opened from `window`: closing it brings
// `window` to the front again with the focus on `focus` (a list and its grid).
class OpenedFrom
{
public:
    OpenedFrom(QWidget *window, QWidget *focus);
    ~OpenedFrom();
    OpenedFrom(const OpenedFrom &) = delete;
    OpenedFrom &operator=(const OpenedFrom &) = delete;

private:
    QWidget *m_window, *m_focus; // the ones before, set back at the end
};

// Brings a shown window to the front.
void BringToFront(QWidget *w);
// Closes a shown window, with the workspace frame around it.
void CloseWindow(QWidget *w);

// The shared instance of a window kind, or null when none is open.
QWidget *SharedWindow(const QByteArray &kind);
// The shared instance of a window kind: shown by ShowWindow when make creates it.
QWidget *SharedWindow(const QByteArray &kind, const std::function<QWidget *()> &make);

template <typename W>
W *SharedIfOpen()
{
    return qobject_cast<W *>(SharedWindow(W::staticMetaObject.className()));
}

template <typename W>
W *Shared(const std::function<W *()> &make)
{
    return qobject_cast<W *>(SharedWindow(W::staticMetaObject.className(), [&] { return make(); }));
}

// Tells every window that the demonstration-data switch changed the file in use.
class DataSwitch : public QObject
{
    Q_OBJECT
public:
    static DataSwitch *instance();
    static void announce() { emit instance()->switched(); }

signals:
    void switched();
};

} // namespace ui
