#pragma once
#include <QDialog>

#include <optional>

#include "data/store/location.h"
#include "data/store/result.h"

class QLabel;
class QLineEdit;
class UserControl1;

// Asks for the password of a server shop that has none in ~/.pgpass. What is typed is kept
// in memory for this run only (db::ShopLocation::setPassword), never in settings or logs.
class ServerPassword_Dialog : public QDialog
{
    Q_OBJECT
public:
    ServerPassword_Dialog(const db::ServerShop &shop, const QString &reason, QWidget *parent = nullptr);
    QString password() const;

private:
    QLabel *Label0;
    QLabel *Label1;
    QLineEdit *Text1;
    UserControl1 *button1;
    UserControl1 *button2;
};

namespace startup {

// Shows the dialog; true when a password was given and is now kept for the shop.
bool AskServerPassword(QWidget *parent, const db::ServerShop &shop, const QString &reason);

// Runs attempt (an operation on the shop) again after asking for the password while the
// server wants one; none when the shop keeper cancelled the question.
template <typename Attempt>
auto WithServerPassword(QWidget *parent, const db::ServerShop &shop, Attempt attempt)
    -> std::optional<decltype(attempt())>
{
    while (true) {
        auto result = attempt();
        if (result || result.status().fault() != db::Fault::Password)
            return result;
        if (!AskServerPassword(parent, shop, result.error()))
            return std::nullopt;
    }
}

} // namespace startup
