#include "lists/openers.h"

#include "app/main_mdiform.h"
#include "lists/list_form.h"
#include "lists/list_form3.h"
#include "lists/reloadflag.h"

namespace lists {
namespace {

void open(PagedListForm *w, const QString &caption)
{
    w->setWindowTitle(caption);
    ReloadFlag::set();
    if (main_MDIForm *main = main_MDIForm::instance()) {
        main->addChild(w); // becoming the active window loads page 1
        return;
    }
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    w->activate();
}

} // namespace

void OpenAllDiscsList()
{
    open(new list_Form, QStringLiteral("全部碟片列表"));
}

void OpenRentedDiscsList()
{
    open(new list_Form3, QStringLiteral("未还碟片列表"));
}

} // namespace lists
