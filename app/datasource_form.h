#pragma once
#include <QWidget>

#include <optional>

#include "data/store/location.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class UserControl1;

// 数据源设置: where the shop lives, the file beside the program or a PostgreSQL database
// (host or socket folder, port, database, user, sslmode). 测试连接 says what the database
// holds; 确定 makes the choice the shop in use, keeps it in the settings (never a password)
// and reloads every open window, as the data switch does.
class DataSource_Form : public QWidget
{
    Q_OBJECT
public:
    explicit DataSource_Form(QWidget *parent = nullptr);

    // The one window of its kind, showing the choice in use.
    static DataSource_Form *showWindow();

    void load();
    // The server shop the fields describe; none, with the reason, when they cannot.
    std::optional<db::ServerShop> typedShop(QString *problem) const;

private:
    void enableFields();
    void button1_0_Click(); // 测试连接
    void button1_1_Click(); // 确定
    bool switchTo(const std::optional<db::ServerShop> &shop);

    QRadioButton *Option1_0; // the file beside the program
    QRadioButton *Option1_1; // a database server
    QLabel *Label1[5];
    QLineEdit *Text1[4];     // host or socket folder, port, database, user
    QComboBox *Combo1;       // sslmode
    QLabel *Label2;
    UserControl1 *button1[3];
};
