#pragma once
#include <QTableWidget>

namespace ui {

// How a data cell is aligned; Default keeps the grid's own (left, centred vertically).
enum class CellAlign { Default, CentreTop, LeftCentre };

// The grid of a list window. Grid rows are counted as the user sees them: row 0 is the
// header row (the table's horizontal header), rows 1..n are the data rows (table rows
// 0..n-1). Column 0 is the number column at the left.
//
// Selection follows the list rules rather than Qt's own: pressing a cell of the number
// column selects that whole row (Col() = 1, ColSel() = last column), and dragging down or
// up that column extends the selection over whole rows; pressing any other cell selects
// that cell, and dragging extends a block. Row() is the row pressed first, RowSel() the row
// the drag ended on, so RowSel() < Row() for a selection dragged upward. The Qt selection
// model only mirrors this for drawing.
class ListGrid : public QTableWidget
{
    Q_OBJECT
public:
    explicit ListGrid(QWidget *parent = nullptr);

    int Row() const { return m_row; }
    int RowSel() const { return m_rowSel; }
    int Col() const { return m_col; }
    int ColSel() const { return m_colSel; }
    bool wholeRowsSelected() const { return m_col == 1 && m_colSel == columnCount() - 1; }

    // Makes (row, col) the current cell with nothing else selected.
    void selectCell(int row, int col);
    // Empties every data cell; the header row stays.
    void clearCells();
    // Writes a data cell (grid row 1..).
    void setCell(int row, int col, const QString &text, CellAlign align);
    QString cellText(int row, int col) const;
    // Where a grid cell is drawn, in viewport coordinates (for pointing at it).
    QRect cellRect(int row, int col) const;

signals:
    void clicked();        // after a press and release on a cell
    void doubleClicked();  // on a data cell

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void showSelection();

    int m_row = 1, m_rowSel = 1, m_col = 1, m_colSel = 1;
    bool m_dragging = false;
    bool m_wholeRows = false;
};

} // namespace ui
