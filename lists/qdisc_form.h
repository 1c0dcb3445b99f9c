#pragma once
#include <QStringList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class UserControl1;

// The disc query window ("碟片查询"): one for the program. The shop keeper fills in any of
// number, title part, starring, director, media type, category, country and rental state;
// "查询" shows the discs they select in the result window, starting at its first page.
class Qdisc_Form : public QWidget
{
    Q_OBJECT
public:
    explicit Qdisc_Form(QWidget *parent = nullptr);

    // The nine fields handed to the result window: the number as typed ("0" for an empty
    // box), the six texts trimmed, and the two check boxes as "0" or "1".
    QStringList criteria() const;

    static QString numberMessage();

private:
    void build();
    void fillBoxes();
    void resetClicked();
    void queryClicked();

    QLineEdit *m_text[2] = {};
    QComboBox *m_combo[5] = {};
    QCheckBox *m_check1 = nullptr;
    QCheckBox *m_check2 = nullptr;
    UserControl1 *m_button1 = nullptr;
    UserControl1 *m_button2 = nullptr;
};
