#pragma once
#include <QHash>
#include <QList>
#include <QPointer>
#include <QWidget>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class UserControl1;
namespace ui { class ListGrid; }
namespace rental { class ScanBox; }

// Rental window ("租碟登记"): registers the customer and hands out the discs of the
// pre-rent list. One instance serves the whole program.
class input_Form2 : public QWidget
{
    Q_OBJECT
public:
    explicit input_Form2(QWidget *parent = nullptr);
    ~input_Form2() override;

    // The program's rental window, created and shown on first use.
    static input_Form2 *shared();

    // Fills the fields from a stored customer; the fields that got a value are locked,
    // the remark stays editable. False (reported) when the customer cannot be read.
    bool LoadRentalCustomer(qint64 customerId);
    // Appends the discs (picker order) that are rentable and not listed yet. Returns the
    // message the picker shows.
    QString AddToPreRentList(const QList<qint64> &ids);
    // Rebuilds the grid from the pre-rent list: headers, widths, one row per disc.
    void Grid1_load();

    qint64 customerTag() const { return m_customerId; } // 0: a new customer

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void build();
    QLineEdit *buildField(int index);
    QLineEdit *field(int index) const { return m_fields.value(index); }
    void emptyFields();
    void unlockFields();
    void showTotal();

    void enterField(int index);
    void comboChosen(int item);
    void gridClicked();
    void scanned(const QString &typed);

    void resetClicked();
    void submitClicked();
    void pickerClicked();
    void removeClicked();
    void forgetData();

    QHash<int, QLineEdit *> m_fields;
    QComboBox *m_combo = nullptr;
    QGroupBox *m_frame = nullptr;
    ui::ListGrid *m_grid = nullptr;
    QLabel *m_date = nullptr;
    QLabel *m_total = nullptr;
    rental::ScanBox *m_scan = nullptr;
    QList<UserControl1 *> m_buttons;
    qint64 m_customerId = 0;
    int m_selectedRow = 0;
    QPointer<QWidget> m_returningTo; // a field getting the focus back from its drop-down
};
