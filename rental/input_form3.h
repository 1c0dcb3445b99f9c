#pragma once
#include <QHash>
#include <QList>
#include <QWidget>

#include "data/shop/returns.h"

class QLabel;
class QLineEdit;
class QTabWidget;
class UserControl1;
namespace ui { class ListGrid; }

// The rental status window ("租碟状况") of one customer: details, the discs out now
// (Grid2, where the clerk ticks returns), every rental record (Grid1) and two counters.
// From it the clerk records returns, refunds the deposit and invalidates the card. Every
// opened customer gets a window of its own.
class input_Form3 : public QWidget
{
    Q_OBJECT
public:
    explicit input_Form3(QWidget *parent = nullptr);

    // A new window for the customer, loaded and shown inside the main window (or on its
    // own when there is none). A customer that cannot be read is reported and no window
    // opens: the result is then null.
    static input_Form3 *openForCustomer(qint64 customerId);

    // Fills the window with the customer's details, grids and counters; false (reported)
    // when the data file cannot be read.
    bool loadRentalStatus(qint64 customerId);

    qint64 customerId() const { return m_customer; }
    // Field indexes as the window's field array numbers them.
    static const QList<int> &fieldIndexes();

private:
    void build();
    void buildField(int index, QWidget *frame);
    void gridLoad(ui::ListGrid *grid);
    void fillGrid(ui::ListGrid *grid, const QList<db::StatusRow> &rows);
    void setField(int index, const QString &text);

    void outGridClicked();
    void refundClicked();
    void returnClicked();
    void invalidateClicked();
    void continueClicked();

    QHash<int, QLineEdit *> m_fields;
    QTabWidget *m_tab = nullptr;
    ui::ListGrid *m_grid1 = nullptr;
    ui::ListGrid *m_grid2 = nullptr;
    QLabel *m_label2 = nullptr;
    QLabel *m_label4 = nullptr;
    QLabel *m_label6 = nullptr;
    QList<UserControl1 *> m_buttons;
    QList<qint64> m_outRecords; // the rental record of each Grid2 row, from row 1
    qint64 m_customer = 0;      // the window's tag
};
