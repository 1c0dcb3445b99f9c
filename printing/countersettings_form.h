#pragma once
#include <QWidget>

class QComboBox;
class QLineEdit;

namespace printing {

// Counter settings ("柜台设置"): the shop name on slips, when a slip is printed and on
// what paper. Saved by "√确定".
class counterSettings_Form : public QWidget
{
    Q_OBJECT
public:
    explicit counterSettings_Form(QWidget *parent = nullptr);

private:
    void save();

    QLineEdit *m_shop = nullptr;
    QComboBox *m_mode = nullptr;
    QComboBox *m_paper = nullptr;
};

} // namespace printing
