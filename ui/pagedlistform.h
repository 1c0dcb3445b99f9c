#pragma once
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QWidget>

#include "data/store/pagedquery.h"
#include "ui/listgrid.h"

class QLabel;
class UserControl1;

namespace ui {

struct ListColumn
{
    QString header;
    int widthTwips = 0;  // 0: the grid's default width
    CellAlign align = CellAlign::Default;
};

// The window every list of the program is shown in, one page of 30 rows at a time:
// Grid1 with the number column, the page counter Label1_2 ("共 N 页/ M 记录"), the page
// shown in Label1_3 between Label1_0 "当前：第" and Label1_1 "页", the previous/next
// buttons button1_0/button1_1 and the row action button button2 (hidden until a list
// shows it). A list supplies its statement, its columns and its row actions.
//
// The window loads nothing by itself: it loads the page in Grid1's tag when it becomes
// the active window while the application-wide reload flag is set (its opener sets it),
// and when the user pages.
class PagedListForm : public QWidget
{
    Q_OBJECT
public:
    ~PagedListForm() override;

    // The activation handler: reloads the page shown when the reload flag is set, then
    // clears the flag. Runs whenever the window's MDI frame becomes active.
    void activate();
    // The loader: reads the given page and fills the grid, the counter and the row records.
    // A page that cannot be read is reported and leaves the page shown as it was: false.
    bool loadPage(qint64 page);
    // The paging buttons: 0 previous, 1 next; clamped to the pages that exist.
    void turnPage(int index);
    // Makes `page` the page shown and loads it, as paging to it would.
    void showPage(qint64 page);
    // Makes `page` the page the next load shows, without loading it.
    void setShownPage(qint64 page);

    // 导出: every record of the list (not only the page shown) to a CSV file, the columns
    // as the grid shows them, with a progress dialog that can stop it. Reports the outcome;
    // false when nothing was written.
    bool exportTo(const QString &path);

    qint64 currentPage() const { return m_currentPage; }
    qint64 shownPage() const { return m_gridTag; }    // Grid1's tag: the page to show
    qint64 pageCount() const { return m_pageCount; }  // Label1_2's tag
    int rowsPerPage() const { return m_rowsPerPage; }
    int selectedRow() const { return m_selectedRow; }
    // Record number shown in grid row i (0 for an empty row); rows 0..rowsPerPage+1.
    qint64 rowRecord(int gridRow) const;
    const QVector<qint64> &rowRecords() const { return m_rowRecords; }
    ListGrid *grid() const { return m_grid; }

protected:
    enum class PagingButtons { DisabledUntilLoaded, HiddenUntilLoaded };
    explicit PagedListForm(QWidget *parent = nullptr);

    // What a list supplies.
    virtual db::PagedQuery query() const = 0;
    virtual QStringList cells(const QVariantList &row) const = 0;
    // Why a page is about to be loaded. A list whose statement depends on controls of its
    // own reads them here; false leaves the list as it is and loads nothing.
    enum class LoadCause { Activation, Paging };
    virtual bool prepareLoad(LoadCause cause) { Q_UNUSED(cause); return true; }
    // A list whose statement a new query changes before it is loaded keeps what the page
    // shown was read with (shownLoaded, after every page read) and goes back to it when
    // the page of the new one cannot be read (loadFailed), so paging goes on in what is shown.
    virtual void shownLoaded() {}
    virtual void loadFailed() {}
    // Double-click on a row that shows a record.
    virtual void openRecord(qint64 id) { Q_UNUSED(id); }
    // The delete action on the records of the selected rows (never empty).
    virtual db::Status deleteRecords(const QList<qint64> &ids) { Q_UNUSED(ids); return {}; }
    // button2: the delete frame unless a list gives the button another meaning.
    virtual void button2Clicked();

    void setColumns(const QList<ListColumn> &columns);
    void setPagingButtons(PagingButtons how);
    void setShowsButton2(bool shows) { m_showsButton2 = shows; }

    // The grid rows from the selected row to the end of the selection, as record numbers;
    // empty when nothing is selected or the selection was dragged upward.
    QList<qint64> selectedRecords() const;

    UserControl1 *button2() const { return m_button2; }
    // The texts an export writes for a row: the grid's cells unless a list says otherwise.
    // Called on the export's own thread: reads the row only, no widget.
    virtual QStringList exportCells(const QVariantList &row) const { return cells(row); }

    bool event(QEvent *event) override;

private:
    // The headers and widths of the columns over empty rows.
    void layoutGrid();
    void gridClicked();
    void gridDoubleClicked();
    void deleteFrame();
    void watchFrame();
    void exportClicked();

    ListGrid *m_grid;
    QLabel *m_label[4];
    UserControl1 *m_button1[2];
    UserControl1 *m_button2;
    UserControl1 *m_exportButton;
    QList<ListColumn> m_columns;
    db::PageReader m_reader;
    QVector<qint64> m_rowRecords;
    qint64 m_currentPage = 1;
    qint64 m_gridTag = 1;
    qint64 m_loadedPage = 1; // the page the rows shown were read as
    qint64 m_pageCount = 0;
    int m_rowsPerPage = 30;
    int m_selectedRow = 0;
    bool m_showsButton2 = false;
    bool m_loaded = false;
    QPointer<QWidget> m_watchedFrame;
};

} // namespace ui
