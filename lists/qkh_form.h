#pragma once
#include <QList>
#include <QWidget>

#include "data/shop/customerquery.h"
#include "data/store/dates.h"

class QComboBox;
class QLineEdit;
class UserControl1;

// The customer query ("客户查询"): identity card, part of a name, card type and a range of
// last rental dates typed into year, month and day boxes. "查询" checks that each date is
// complete and exists and hands the criteria to the result window; "重置" empties every box.
// One window for the program; it stays open after a query.
class Qkh_Form : public QWidget
{
    Q_OBJECT
public:
    explicit Qkh_Form(QWidget *parent = nullptr);

    // The program's query window, created on first use and brought to the front.
    static Qkh_Form *openShared();

    // The criteria text the boxes hold now, as the result window receives it.
    QString criteriaText() const;
    db::TypedCriteria typed() const;

    // Combo1(0) card type; Combo1(1..3) year, month, day of the from-date; Combo1(6), (5), (4)
    // year, month, day of the to-date.
    QComboBox *combo(int index) const { return m_combos.value(index); }

private:
    void build();
    QComboBox *buildCombo(int index, int left, int top, int width);
    void fillBoxes();
    void resetClicked();
    void queryClicked();
    // True when the date in the three boxes is empty or complete and existing; otherwise
    // tells the clerk and selects the box to correct.
    bool checkDate(int yearBox, int monthBox, int dayBox);
    void selectBox(int index);

    QLineEdit *m_text[2] = {};
    QList<QComboBox *> m_combos;
    UserControl1 *m_reset = nullptr;
    UserControl1 *m_query = nullptr;
};

// The message for a date that does not exist, and for one partly filled in.
QString DateMissingMessage();
QString DateIncompleteMessage();
