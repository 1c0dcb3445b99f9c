#include "lists/list_form.h"

#include "data/store/clock.h"
#include "data/shop/disclists.h"
#include "data/shop/discrecords.h"
#include "discs/openers.h"
#include "printing/openers.h"

#include <QAction>

QList<ui::ListColumn> DiscListColumns()
{
    using ui::CellAlign;
    return {
        {QStringLiteral("碟片编号"), 820, CellAlign::CentreTop},
        {QStringLiteral("所属柜位"), 800, CellAlign::CentreTop},
        {QStringLiteral("碟片名称"), 1800, CellAlign::LeftCentre},
        {QStringLiteral("主角"), 1800, CellAlign::Default},
        {QStringLiteral("导演/监制"), 1000, CellAlign::Default},
        {QStringLiteral("碟装"), 500, CellAlign::CentreTop},
        {QStringLiteral("国别"), 1000, CellAlign::Default},
        {QStringLiteral("媒介类别"), 1000, CellAlign::Default},
        {QStringLiteral("内容类别"), 1000, CellAlign::Default},
        {QStringLiteral("租岀/天"), 800, CellAlign::CentreTop},
        {QStringLiteral("租给"), 0, CellAlign::Default},
    };
}

list_Form::list_Form(QWidget *parent) : PagedListForm(parent)
{
    setObjectName(QStringLiteral("list_Form"));
    setColumns(DiscListColumns());
    setPagingButtons(PagingButtons::DisabledUntilLoaded);
    setShowsButton2(true);
    // Labels for the rows selected (or the row clicked), from every disc list and query.
    grid()->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto *labels = new QAction(QStringLiteral("打印碟片标签"), grid());
    labels->setObjectName(QStringLiteral("printLabels"));
    grid()->addAction(labels);
    connect(labels, &QAction::triggered, this, [this] {
        QList<qint64> ids = selectedRecords();
        if (ids.isEmpty() && rowRecord(selectedRow()) > 0)
            ids << rowRecord(selectedRow());
        printing::OpenDiscLabels(ids);
    });
}

db::PagedQuery list_Form::query() const
{
    return db::AllDiscsQuery();
}

QStringList list_Form::cells(const QVariantList &row) const
{
    return db::DiscListCells(row, db::Clock::today());
}

void list_Form::openRecord(qint64 id)
{
    // The list stays open; saving the correction sets the reload flag, so the list reloads
    // its page when it is activated again.
    discs::OpenDiscForCorrection(id);
}

db::Status list_Form::deleteRecords(const QList<qint64> &ids)
{
    return db::DeleteDiscs(ids);
}
