#pragma once
#include <QList>
#include <QWidget>

#include "data/shop/quickreturns.h"
#include "data/shop/scans.h"

class UserControl1;
namespace ui { class ListGrid; }

namespace rental {

class ScanBox;

// Quick-return window ("快速还碟"): the clerk scans a pile of returned discs, each finds
// its open rental record, and one 提交 returns them all; 撤销还碟 undoes the last 提交.
class quickReturn_Form : public QWidget
{
    Q_OBJECT
public:
    explicit quickReturn_Form(QWidget *parent = nullptr);

    static quickReturn_Form *shared();

    const QList<db::OpenRental> &listed() const { return m_rows; }

private:
    void scanned(const QString &typed);
    void submitClicked();
    void undoClicked();
    void showRows();
    void forgetData();

    ScanBox *m_scan = nullptr;
    ui::ListGrid *m_grid = nullptr;
    UserControl1 *m_submit = nullptr;
    UserControl1 *m_undo = nullptr;
    QList<db::OpenRental> m_rows;
    db::QuickReturnReceipt m_last; // what the last 提交 returned, for its undo
};

} // namespace rental
