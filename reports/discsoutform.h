#pragma once
#include <QDate>

#include "data/shop/statistics.h"
#include "ui/pagedlistform.h"

// The discs out for a given number of days, opened from a bar of the statistics window.
class DiscsOutForm : public ui::PagedListForm
{
    Q_OBJECT
public:
    DiscsOutForm(db::DaysOut group, const QDate &today, QWidget *parent = nullptr);

protected:
    db::PagedQuery query() const override;
    QStringList cells(const QVariantList &row) const override;

private:
    db::DaysOut m_group;
    QDate m_today;
};
