#include "lists/kh_list_form2.h"

#include "data/shop/customerlists.h"

kh_list_Form2::kh_list_Form2(QWidget *parent) : kh_list_Form1(parent)
{
    setObjectName(QStringLiteral("kh_list_Form2"));
}

db::PagedQuery kh_list_Form2::query() const
{
    return db::UnreturnedCustomersQuery();
}
