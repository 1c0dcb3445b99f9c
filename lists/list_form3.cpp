#include "lists/list_form3.h"

#include "data/shop/disclists.h"

list_Form3::list_Form3(QWidget *parent) : list_Form(parent)
{
    setObjectName(QStringLiteral("list_Form3"));
    setPagingButtons(PagingButtons::HiddenUntilLoaded);
}

db::PagedQuery list_Form3::query() const
{
    return db::RentedDiscsQuery();
}
