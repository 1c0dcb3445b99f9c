#include "rental/openers.h"

#include <QLineEdit>

#include "rental/input_form2.h"
#include "rental/input_form3.h"
#include "rental/list_form2.h"
#include "rental/quickreturn_form.h"
#include "ui/windowhost.h"

namespace rental {

void OpenRentalWindow()
{
    ui::BringToFront(input_Form2::shared());
}

bool OpenRentalWindowForCustomer(qint64 customerId)
{
    input_Form2 *w = input_Form2::shared();
    ui::BringToFront(w);
    if (!w->LoadRentalCustomer(customerId))
        return false;
    if (auto *remark = w->findChild<QLineEdit *>(QStringLiteral("Text1_40")))
        remark->setFocus(Qt::OtherFocusReason);
    return true;
}

void OpenQuickReturns()
{
    ui::BringToFront(quickReturn_Form::shared());
}

void OpenRentableDiscsList()
{
    list_Form2::openNew();
}

void OpenRentalStatus(qint64 customerId)
{
    input_Form3::openForCustomer(customerId);
}

} // namespace rental
