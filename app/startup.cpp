#include "app/startup.h"

#include "app/firstaccount_dialog.h"
#include "ui/messages.h"
#include "app/password_form.h"
#include "data/accounts.h"
#include "data/demodata.h"
#include "data/programdir.h"

namespace startup {

Outcome start()
{
    if (db::Status s = db::CreateDatabaseFiles(); !s) {
        msg::information(nullptr, s.error());
        return Outcome::Failed;
    }
    db::CreateScratchDir();
    // No account yet: the shop keeper sets one before anyone can log in. Nothing is
    // written until the dialog succeeds, so cancelling asks again at the next start.
    const db::Result<bool> hasUser = db::HasAnyUser();
    if (!hasUser) {
        msg::information(nullptr, hasUser.error());
        return Outcome::Failed;
    }
    if (!hasUser.value()) {
        FirstAccount_Dialog first;
        if (first.exec() != QDialog::Accepted)
            return Outcome::Cancelled;
    }
    // The login window shows the main window, disabled until the login succeeds.
    Password_Form::open();
    return Outcome::Running;
}

} // namespace startup
