#include "lists/openers.h"

#include "lists/kh_list_form1.h"
#include "lists/kh_list_form2.h"
#include "lists/list_form.h"
#include "lists/list_form3.h"
#include "lists/qdisc_form.h"
#include "lists/qkh_form.h"
#include "ui/reloadflag.h"
#include "ui/windowhost.h"

namespace lists {
namespace {

void open(ui::PagedListForm *w, const QString &caption)
{
    w->setWindowTitle(caption);
    ui::ReloadFlag::set();
    ui::ShowWindow(w);
    // Inside the workspace becoming the active window loads page 1; on its own it loads now.
    if (!w->parentWidget())
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

void OpenAllCustomersList()
{
    open(new kh_list_Form1, QStringLiteral("全部客户列表"));
}

void OpenUnreturnedCustomersList()
{
    open(new kh_list_Form2, QStringLiteral("未还客户列表"));
}

void OpenDiscQuery()
{
    QWidget *w = ui::Shared<Qdisc_Form>([] { return new Qdisc_Form; });
    ui::BringToFront(w);
}

void OpenCustomerQuery()
{
    Qkh_Form::openShared();
}

} // namespace lists
