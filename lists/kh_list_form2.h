#pragma once
#include "lists/kh_list_form1.h"

// The customers who still have discs out, the most recent rental first; returns start
// here. Otherwise like the all-customers list.
class kh_list_Form2 : public kh_list_Form1
{
    Q_OBJECT
public:
    explicit kh_list_Form2(QWidget *parent = nullptr);

protected:
    db::PagedQuery query() const override;
};
