#pragma once
#include "ui/pagedlistform.h"

// The all-discs list: every disc in the catalogue, newest first. A double-click opens the
// disc for correction; "删除" deletes the whole rows selected.
class list_Form : public ui::PagedListForm
{
    Q_OBJECT
public:
    explicit list_Form(QWidget *parent = nullptr);

protected:
    db::PagedQuery query() const override;
    QStringList cells(const QVariantList &row) const override;
    void openRecord(qint64 id) override;
    db::Status deleteRecords(const QList<qint64> &ids) override;
};

// The eleven columns every disc list shows.
QList<ui::ListColumn> DiscListColumns();
