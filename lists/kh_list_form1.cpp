#include "lists/kh_list_form1.h"

#include "data/shop/customerlists.h"
#include "printing/openers.h"
#include "rental/openers.h"

#include <QAction>

// The identity card column is wider than the 2000 twips first laid out, so that 18 digits
// show whole in the font of this platform.
QList<ui::ListColumn> CustomerListColumns()
{
    using ui::CellAlign;
    return {
        {QStringLiteral("客户编号"), 820, CellAlign::CentreTop},
        {QStringLiteral("姓名"), 900, CellAlign::Default},
        {QStringLiteral("身份证"), 2200, CellAlign::LeftCentre},
        {QStringLiteral("办证类型"), 1800, CellAlign::Default},
        {QStringLiteral("租碟累计/张"), 1100, CellAlign::CentreTop},
        {QStringLiteral("押金/元"), 1000, CellAlign::CentreTop},
        {QStringLiteral("租碟日期"), 1200, CellAlign::Default},
        {QStringLiteral("还清"), 1000, CellAlign::CentreTop},
        {QString(), 1000, CellAlign::Default},
    };
}

kh_list_Form1::kh_list_Form1(QWidget *parent) : PagedListForm(parent)
{
    setObjectName(QStringLiteral("kh_list_Form1"));
    setColumns(CustomerListColumns());
    setPagingButtons(PagingButtons::HiddenUntilLoaded);
    // Customer cards for the rows selected (or the row clicked).
    grid()->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto *labels = new QAction(QStringLiteral("打印客户卡标签"), grid());
    labels->setObjectName(QStringLiteral("printLabels"));
    grid()->addAction(labels);
    connect(labels, &QAction::triggered, this, [this] {
        QList<qint64> ids = selectedRecords();
        if (ids.isEmpty() && rowRecord(selectedRow()) > 0)
            ids << rowRecord(selectedRow());
        if (!ids.isEmpty())
            printing::OpenCustomerLabels(ids);
    });
}

db::PagedQuery kh_list_Form1::query() const
{
    return db::AllCustomersQuery();
}

QStringList kh_list_Form1::cells(const QVariantList &row) const
{
    return db::CustomerListCells(row);
}

void kh_list_Form1::openRecord(qint64 id)
{
    // The list stays open; a return in the status window does not set the reload flag.
    rental::OpenRentalStatus(id);
}
