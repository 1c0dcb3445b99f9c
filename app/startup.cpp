#include "app/startup.h"

#include "app/main_mdiform.h"
#include "app/messages.h"
#include "data/demodata.h"
#include "data/programdir.h"

namespace startup {

bool start()
{
    if (db::Status s = db::CreateDatabaseFiles(); !s) {
        msg::information(nullptr, s.error());
        return false;
    }
    db::CreateScratchDir();
    auto *main = new main_MDIForm;
    main->setAttribute(Qt::WA_DeleteOnClose);
    main->load();
    return true;
}

} // namespace startup
