#include "ui/listgrid.h"

#include <QHeaderView>
#include <QMouseEvent>

namespace ui {

ListGrid::ListGrid(QWidget *parent) : QTableWidget(parent)
{
    setObjectName(QStringLiteral("Grid1"));
    setSelectionMode(QAbstractItemView::NoSelection); // drawn from Row/RowSel/Col/ColSel
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(12);
    verticalHeader()->setDefaultSectionSize(15);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignHCenter | Qt::AlignTop);
    horizontalHeader()->setMinimumSectionSize(8);
}

void ListGrid::selectCell(int row, int col)
{
    m_row = m_rowSel = row;
    m_col = m_colSel = col;
    m_wholeRows = false;
    clearSelection();
    if (row >= 1 && row <= rowCount() && col >= 0 && col < columnCount())
        selectionModel()->setCurrentIndex(model()->index(row - 1, col), QItemSelectionModel::NoUpdate);
}

void ListGrid::clearCells()
{
    for (int r = 0; r < rowCount(); ++r) {
        for (int c = 0; c < columnCount(); ++c) {
            if (QTableWidgetItem *it = item(r, c))
                it->setText(QString());
        }
    }
}

void ListGrid::setCell(int row, int col, const QString &text, CellAlign align)
{
    QTableWidgetItem *it = item(row - 1, col);
    // A new cell is made complete before it joins the table, so that filling a long grid
    // costs one change per cell rather than one per property.
    QTableWidgetItem *fresh = it ? nullptr : new QTableWidgetItem;
    if (fresh)
        it = fresh;
    it->setText(text);
    switch (align) {
    case CellAlign::CentreTop:
        it->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
        break;
    case CellAlign::LeftCentre:
    case CellAlign::Default:
        it->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        break;
    }
    if (col == 0) {
        // The number column looks like the header: it is where whole rows are picked.
        it->setBackground(palette().button());
        it->setFlags(Qt::ItemIsEnabled);
    }
    if (fresh)
        setItem(row - 1, col, fresh);
}

QString ListGrid::cellText(int row, int col) const
{
    if (row == 0) {
        const QTableWidgetItem *h = horizontalHeaderItem(col);
        return h ? h->text() : QString();
    }
    const QTableWidgetItem *it = item(row - 1, col);
    return it ? it->text() : QString();
}

QRect ListGrid::cellRect(int row, int col) const
{
    return visualRect(model()->index(row - 1, col));
}

void ListGrid::showSelection()
{
    clearSelection();
    const int top = std::min(m_row, m_rowSel) - 1, bottom = std::max(m_row, m_rowSel) - 1;
    const int left = m_wholeRows ? 0 : std::min(m_col, m_colSel), right = std::max(m_col, m_colSel);
    setRangeSelected(QTableWidgetSelectionRange(top, left, bottom, right), true);
}

void ListGrid::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QTableWidget::mousePressEvent(event);
        return;
    }
    const QModelIndex at = indexAt(event->position().toPoint());
    if (!at.isValid())
        return;
    setFocus(Qt::MouseFocusReason);
    m_dragging = true;
    m_wholeRows = at.column() == 0;
    m_row = m_rowSel = at.row() + 1;
    if (m_wholeRows) {
        m_col = 1;
        m_colSel = columnCount() - 1;
    } else {
        m_col = m_colSel = at.column();
    }
    selectionModel()->setCurrentIndex(model()->index(at.row(), m_col), QItemSelectionModel::NoUpdate);
    showSelection();
}

void ListGrid::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging || !(event->buttons() & Qt::LeftButton))
        return;
    const QModelIndex at = indexAt(event->position().toPoint());
    if (!at.isValid())
        return;
    m_rowSel = at.row() + 1;
    if (!m_wholeRows)
        m_colSel = std::max(1, at.column());
    showSelection();
}

void ListGrid::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_dragging) {
        QTableWidget::mouseReleaseEvent(event);
        return;
    }
    m_dragging = false;
    emit clicked();
}

void ListGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !indexAt(event->position().toPoint()).isValid())
        return;
    // The second press of a double-click lands where the first did; taking it as a press
    // keeps Row() on the row double-clicked even when the first press went elsewhere.
    mousePressEvent(event);
    m_dragging = false;
    emit doubleClicked();
}

} // namespace ui
