#pragma once
#include <QString>

#include "data/store/result.h"

namespace db {

// How a login check ended. Only Ok changes the session and the login log.
enum class LoginOutcome {
    Ok,
    WrongNameOrPassword, // no user with that name and password in the file in use
    LengthMismatch,      // a stored row matched, but not with the same length of text
    DatabaseFailure,     // the file could not be read or the login could not be logged
};

struct LoginResult
{
    LoginOutcome outcome = LoginOutcome::DatabaseFailure;
    QString error;   // reason for DatabaseFailure
    qint64 userId = 0;

    bool ok() const { return outcome == LoginOutcome::Ok; }
};

// Looks the user up in table7 of the file in use: name and password match without regard
// to letter case; an empty password matches only a user without password (NULL).
// On success logs the login in table8 and sets Session::CurrentUser/CurrentPassword to the
// texts as given. Shows nothing.
LoginResult CheckLogin(const QString &user, const QString &password);

// Renames the logged-in user's row in the file in use; Session is left to the caller.
Status RenameUser(const QString &newName);

// Sets the logged-in user's password in the file in use; empty stores NULL (no password).
Status ChangePassword(const QString &newPassword);

// Whether table7 of the shop (db.sqlite, or the server shop when one is chosen) holds a user.
Result<bool> HasAnyUser();

// First run: writes the shop keeper's account into table7 of db.sqlite and demo.sqlite
// in one transaction, so either both files get it or neither does. With a server shop
// chosen, into the server's table7 first and then into demo.sqlite. An empty password
// stores NULL. A user of that name already in demo.sqlite gets the new password.
Status CreateFirstAccount(const QString &user, const QString &password);

// A shop just chosen (the file or the server shop, whether or not the demonstration data is
// shown) that holds no account yet gets the logged-in user's, so the login check of the
// switch lets them in. A shop with accounts is left as it is.
Status AdoptAccount(const QString &user, const QString &password);

} // namespace db
