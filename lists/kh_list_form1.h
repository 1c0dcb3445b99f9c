#pragma once
#include "ui/pagedlistform.h"

// The all-customers list: every customer, the most recent rental first. A double-click on
// a customer opens a new rental status window for that customer. Customers are never
// deleted from a list.
class kh_list_Form1 : public ui::PagedListForm
{
    Q_OBJECT
public:
    explicit kh_list_Form1(QWidget *parent = nullptr);

protected:
    db::PagedQuery query() const override;
    QStringList cells(const QVariantList &row) const override;
    void openRecord(qint64 id) override;
};

// The nine columns every customer list shows.
QList<ui::ListColumn> CustomerListColumns();
