#pragma once
#include "lists/list_form.h"

// The rented-discs list: discs out with a customer, newest first, with the actions of the
// all-discs list. Its paging buttons stay hidden until a page with discs is shown.
class list_Form3 : public list_Form
{
    Q_OBJECT
public:
    explicit list_Form3(QWidget *parent = nullptr);

protected:
    db::PagedQuery query() const override;
};
