// Driving the rental windows the way the clerk does: typing (Chinese through the input
// method), moving the focus, clicking buttons and grid cells.
#pragma once
#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>

#include "hoverpad/usercontrol1.h"
#include "ui/listgrid.h"

namespace drive {

inline void focus(QWidget *target)
{
    target->setFocus(Qt::MouseFocusReason);
    QApplication::processEvents();
    QApplication::processEvents();
}

inline void type(QLineEdit *e, const QString &text)
{
    focus(e);
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Backspace);
    QString ascii;
    auto flush = [&] {
        if (!ascii.isEmpty())
            QTest::keyClicks(e, ascii);
        ascii.clear();
    };
    for (QChar ch : text) {
        if (ch.unicode() < 128) {
            ascii += ch;
            continue;
        }
        flush();
        QInputMethodEvent commit;
        commit.setCommitString(QString(ch));
        QApplication::sendEvent(e, &commit);
    }
    flush();
}

inline void click(UserControl1 *b)
{
    QVERIFY(b);
    QVERIFY2(b->isVisible() && b->isEnabled(), qPrintable(b->objectName()));
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
    QApplication::processEvents();
}

inline QPoint at(ui::ListGrid *g, int row, int col)
{
    return g->cellRect(row, col).center();
}

inline void clickCell(ui::ListGrid *g, int row, int col)
{
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, at(g, row, col));
}

inline void doubleClickCell(ui::ListGrid *g, int row, int col)
{
    QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, at(g, row, col));
}

// Presses on (row, col), moves over every row to toRow in column toCol, releases there.
inline void dragCells(ui::ListGrid *g, int row, int col, int toRow, int toCol)
{
    QTest::mousePress(g->viewport(), Qt::LeftButton, {}, at(g, row, col));
    const int step = toRow >= row ? 1 : -1;
    for (int r = row; r != toRow + step; r += step) {
        QMouseEvent move(QEvent::MouseMove, at(g, r, toCol), g->viewport()->mapToGlobal(at(g, r, toCol)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(g->viewport(), &move);
    }
    QTest::mouseRelease(g->viewport(), Qt::LeftButton, {}, at(g, toRow, toCol));
}

// Whole rows first..last, picked in the number column.
inline void selectRows(ui::ListGrid *g, int first, int last)
{
    if (first == last)
        clickCell(g, first, 0);
    else
        dragCells(g, first, 0, last, 0);
}

} // namespace drive
