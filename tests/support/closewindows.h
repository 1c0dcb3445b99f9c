#pragma once
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QList>
#include <QPointer>
#include <QWidget>

namespace testsupport {

// Deletes every window a test left open. Only windows without a parent are deleted by hand:
// a drop-down's popup is a window too, but its box owns it and must be the one to delete it.
inline void DeleteAllWindows()
{
    QList<QPointer<QWidget>> open;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (!w->parentWidget())
            open << w;
    }
    for (const QPointer<QWidget> &w : open)
        delete w.data();
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace testsupport
