#include "ui/pagedlistform.h"

#include <QProgressDialog>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMdiSubWindow>

#include "data/shop/csvexport.h"
#include "hoverpad/usercontrol1.h"
#include "ui/backgroundwork.h"
#include "ui/progressdialog.h"
#include "ui/messages.h"
#include "ui/reloadflag.h"
#include "ui/twips.h"
#include "ui/windowhost.h"

namespace ui {

PagedListForm::PagedListForm(QWidget *parent) : QWidget(parent), m_grid(new ListGrid(this))
{
    setWindowTitle(QStringLiteral("列表"));
    resize(ui::twips(12030), ui::twips(8370));

    m_grid->setGeometry(ui::twips(120), ui::twips(120), ui::twips(11640), ui::twips(7380));
    m_grid->setProperty("Tag", QStringLiteral("1"));

    static const char *const texts[4] = {"当前：第", "页", "共 页/ 记录", ""};
    static const int lefts[4] = {150, 1470, 1800, 1020};
    static const int widths[4] = {870, 300, 3000, 450};
    for (int i = 0; i < 4; ++i) {
        m_label[i] = new QLabel(QString::fromUtf8(texts[i]), this);
        m_label[i]->setObjectName(QStringLiteral("Label1_%1").arg(i));
        m_label[i]->setGeometry(ui::twips(lefts[i]), ui::twips(7590), ui::twips(widths[i]), ui::twips(300));
    }
    m_label[3]->setAlignment(Qt::AlignCenter);

    static const char *const captions[2] = {"上一页", "下一页"};
    for (int i = 0; i < 2; ++i) {
        m_button1[i] = new UserControl1(this);
        m_button1[i]->setObjectName(QStringLiteral("button1_%1").arg(i));
        m_button1[i]->setCaption(QString::fromUtf8(captions[i]));
        m_button1[i]->setGeometry(ui::twips(7200 + 1380 * i), ui::twips(7545), ui::twips(1215), ui::twips(375));
        m_button1[i]->setEnabled(false);
        connect(m_button1[i], &UserControl1::Click, this, [this, i] { turnPage(i); });
    }
    m_button2 = new UserControl1(this);
    m_button2->setObjectName(QStringLiteral("button2"));
    m_button2->setCaption(QStringLiteral("删除"));
    m_button2->setGeometry(ui::twips(10440), ui::twips(7545), ui::twips(1215), ui::twips(375));
    m_button2->setEnabled(false);
    m_button2->setVisible(false);
    connect(m_button2, &UserControl1::Click, this, [this] { button2Clicked(); });
    m_exportButton = new UserControl1(this);
    m_exportButton->setObjectName(QStringLiteral("buttonExport"));
    m_exportButton->setCaption(QStringLiteral("导出"));
    m_exportButton->setGeometry(ui::twips(5880), ui::twips(7545), ui::twips(1215), ui::twips(375));
    connect(m_exportButton, &UserControl1::Click, this, [this] { exportClicked(); });

    connect(m_grid, &ListGrid::clicked, this, &PagedListForm::gridClicked);
    connect(m_grid, &ListGrid::doubleClicked, this, &PagedListForm::gridDoubleClicked);

    // Rows read from one data file must not stay on screen after the switch to the other:
    // a double-click or delete would act on the same numbers in the wrong file. The rows
    // picked before the switch are gone with them, so 删除 waits for a new selection.
    connect(DataSwitch::instance(), &DataSwitch::switched, this, [this] {
        if (!m_loaded)
            return;
        m_selectedRow = 0;
        m_button2->setEnabled(false);
        if (!loadPage(m_gridTag))
            layoutGrid();
    });

    m_rowRecords.fill(0, m_rowsPerPage + 2);
}

PagedListForm::~PagedListForm() = default;

void PagedListForm::setColumns(const QList<ListColumn> &columns)
{
    m_columns = columns;
}

void PagedListForm::setPagingButtons(PagingButtons how)
{
    for (UserControl1 *b : m_button1)
        b->setVisible(how == PagingButtons::DisabledUntilLoaded);
}

qint64 PagedListForm::rowRecord(int gridRow) const
{
    return gridRow >= 0 && gridRow < m_rowRecords.size() ? m_rowRecords.at(gridRow) : 0;
}

void PagedListForm::layoutGrid()
{
    m_grid->setColumnCount(int(m_columns.size()));
    QStringList headers;
    for (int c = 0; c < m_columns.size(); ++c) {
        headers << m_columns.at(c).header;
        if (m_columns.at(c).widthTwips > 0)
            m_grid->setColumnWidth(c, ui::twips(m_columns.at(c).widthTwips));
    }
    m_grid->setHorizontalHeaderLabels(headers);
    m_grid->setRowCount(m_rowsPerPage);
    m_grid->clearCells();
    m_rowRecords.fill(0, m_rowsPerPage + 2);
}

bool PagedListForm::loadPage(qint64 page)
{
    auto result = m_reader.read(query(), page, m_rowsPerPage);
    if (!result) {
        // The page shown stays whole: an emptied grid would look like a list with no rows.
        if (!m_loaded) {
            layoutGrid();
        } else {
            // A new query may have moved the page to show: back to the one shown.
            setShownPage(m_loadedPage);
            loadFailed();
        }
        msg::information(this, result.error());
        return false;
    }
    // Filled while not drawn, so the grid is drawn once.
    m_loaded = true;
    m_grid->setUpdatesEnabled(false);
    layoutGrid();
    const db::Page &p = result.value();
    // A page beyond a shrunken result shows the last page rather than nothing.
    m_currentPage = m_gridTag = p.recordCount > 0 ? p.page : page;
    m_loadedPage = m_currentPage;
    if (p.recordCount > 0) {
        m_label[3]->setText(QString::number(p.page));
        m_label[2]->setText(QStringLiteral("共 %1 页/ %2 记录").arg(p.pageCount).arg(p.recordCount));
        m_pageCount = p.pageCount;
        for (UserControl1 *b : m_button1) {
            b->setVisible(true);
            b->setEnabled(true);
        }
        if (m_showsButton2)
            m_button2->setVisible(true);
    } else {
        // An emptied list says so instead of keeping the counts it showed before.
        m_label[3]->setText(QString());
        m_label[2]->setText(QStringLiteral("共 0 页/ 0 记录"));
        m_pageCount = 0;
    }
    for (int i = 0; i < p.rows.size() && i < m_rowsPerPage; ++i) {
        const QVariantList &row = p.rows.at(i);
        const QStringList texts = cells(row);
        m_rowRecords[i + 1] = row.value(0).toLongLong();
        for (int c = 0; c < m_columns.size() && c < texts.size(); ++c)
            m_grid->setCell(i + 1, c, texts.at(c), m_columns.at(c).align);
    }
    m_grid->selectCell(1, 1);
    m_grid->setUpdatesEnabled(true);
    m_grid->setProperty("Tag", QString::number(m_gridTag));
    shownLoaded();
    return true;
}

void PagedListForm::activate()
{
    if (ReloadFlag::isSet() && prepareLoad(LoadCause::Activation)) {
        // The rows may now show other records: a row picked before the reload must not be
        // what 删除 acts on.
        if (loadPage(m_gridTag))
            m_selectedRow = 0;
        // Cleared also when the page could not be read, so that not every later activation
        // reads and reports again; the clerk pages, or opens the list anew.
        ReloadFlag::clear();
    }
    m_currentPage = m_gridTag;
}

void PagedListForm::turnPage(int index)
{
    if (!prepareLoad(LoadCause::Paging))
        return;
    qint64 page = m_currentPage + (index == 0 ? -1 : 1);
    if (m_pageCount - page <= 0)
        page = m_pageCount;
    if (page <= 0)
        page = 1;
    // A page that cannot be read leaves the page shown, and the rows picked on it, as they were.
    if (loadPage(page))
        m_button2->setEnabled(false);
}

void PagedListForm::showPage(qint64 page)
{
    loadPage(std::max<qint64>(1, page));
}

void PagedListForm::setShownPage(qint64 page)
{
    m_currentPage = m_gridTag = std::max<qint64>(1, page);
    m_grid->setProperty("Tag", QString::number(m_gridTag));
}

void PagedListForm::gridClicked()
{
    m_selectedRow = m_grid->Row();
    m_button2->setEnabled(m_grid->wholeRowsSelected());
}

void PagedListForm::gridDoubleClicked()
{
    const qint64 id = rowRecord(m_grid->Row());
    if (id <= 0)
        return;
    // Closing the correction window gives the focus back to this list.
    OpenedFrom from(this, m_grid);
    openRecord(id);
}

QList<qint64> PagedListForm::selectedRecords() const
{
    QList<qint64> ids;
    if (m_selectedRow <= 0)
        return ids;
    for (int r = m_selectedRow; r <= m_grid->RowSel(); ++r) {
        if (const qint64 id = rowRecord(r); id > 0)
            ids << id;
    }
    return ids;
}

void PagedListForm::button2Clicked()
{
    deleteFrame();
}

void PagedListForm::deleteFrame()
{
    if (!msg::confirm(this, QStringLiteral("确实要删除吗？"), QStringLiteral("系统提醒您：")))
        return;
    const QList<qint64> ids = selectedRecords();
    if (!ids.isEmpty()) {
        if (db::Status s = deleteRecords(ids); !s) {
            // Nothing was deleted: the rows and the selection stay for another try.
            msg::information(this, s.error());
            return;
        }
        m_grid->clearCells();
    }
    m_selectedRow = 0;
    ReloadFlag::set();
    activate();
}

void PagedListForm::exportClicked()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("导出到 CSV 文件"),
                                                      windowTitle() + QStringLiteral(".csv"),
                                                      QStringLiteral("CSV 文件 (*.csv)"));
    if (!path.isEmpty())
        exportTo(path);
}

bool PagedListForm::exportTo(const QString &path)
{
    // A list whose statement depends on its own controls reads them first, as paging does.
    if (!prepareLoad(LoadCause::Paging))
        return false;
    QStringList headers;
    for (const ListColumn &c : std::as_const(m_columns))
        headers << c.header;
    // The rows are read and written on a thread of their own so that no window waits; the
    // cells are made there from each row alone.
    const db::PagedQuery q = query();
    db::Status s;
    {
        ProgressDialog progress(this, QStringLiteral("导出"));
        RunInBackground(progress, [&](db::Progress &p) {
            s = db::ExportCsv(q, headers, [this](const QVariantList &row) { return exportCells(row); }, path, p);
        });
    }
    if (!s) {
        msg::information(this, s.error());
        return false;
    }
    msg::information(this, QStringLiteral("导出完毕：%1").arg(QDir::toNativeSeparators(path)));
    return true;
}

bool PagedListForm::event(QEvent *event)
{
    if (event->type() == QEvent::ParentChange)
        watchFrame();
    return QWidget::event(event);
}

// Inside the main window the list is wrapped in an MDI frame; the frame, not the list,
// learns that it became the active window.
void PagedListForm::watchFrame()
{
    auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget());
    if (!frame || frame == m_watchedFrame)
        return;
    m_watchedFrame = frame;
    connect(frame, &QMdiSubWindow::windowStateChanged, this,
            [this](Qt::WindowStates before, Qt::WindowStates now) {
                if (now.testFlag(Qt::WindowActive) && !before.testFlag(Qt::WindowActive))
                    activate();
            });
}

} // namespace ui
