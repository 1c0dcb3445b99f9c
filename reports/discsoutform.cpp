#include "reports/discsoutform.h"

#include "data/shop/disclists.h"

DiscsOutForm::DiscsOutForm(db::DaysOut group, const QDate &today, QWidget *parent)
    : PagedListForm(parent), m_group(group), m_today(today)
{
    setObjectName(QStringLiteral("discsOutForm"));
    using ui::CellAlign;
    setColumns({
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
    });
    setPagingButtons(PagingButtons::DisabledUntilLoaded);
}

db::PagedQuery DiscsOutForm::query() const
{
    return db::DiscsOutQuery(m_group, m_today);
}

QStringList DiscsOutForm::cells(const QVariantList &row) const
{
    return db::DiscListCells(row, m_today);
}
