#include "lists/qkh_list_form.h"

#include "data/shop/customerlists.h"
#include "lists/kh_list_form1.h"
#include "rental/openers.h"
#include "ui/reloadflag.h"
#include "ui/windowhost.h"

Qkh_list_Form::Qkh_list_Form(QWidget *parent) : PagedListForm(parent)
{
    setObjectName(QStringLiteral("Qkh_list_Form"));
    setWindowTitle(caption());
    setColumns(CustomerListColumns());
    setPagingButtons(PagingButtons::HiddenUntilLoaded);
    m_criteria = db::ParseCustomerCriteria(m_tag);
}

Qkh_list_Form *Qkh_list_Form::showCriteria(const QString &criteriaText)
{
    return showCriteria(criteriaText, db::ParseCustomerCriteria(criteriaText));
}

Qkh_list_Form *Qkh_list_Form::showCriteria(const QString &criteriaText, const db::CustomerCriteria &criteria)
{
    ui::ReloadFlag::set();
    Qkh_list_Form *w = ui::SharedIfOpen<Qkh_list_Form>();
    if (w) {
        w->m_tag = criteriaText;
        w->m_criteria = criteria;
        // A new query starts at its first page; the page of the last result may not exist
        // in this one.
        w->setShownPage(1);
        ui::BringToFront(w);
    } else {
        w = ui::Shared<Qkh_list_Form>([&] {
            auto *made = new Qkh_list_Form;
            made->m_tag = criteriaText;
            made->m_criteria = criteria;
            return made;
        });
    }
    // Becoming the active window loaded it, unless it already was the active one or there is
    // no workspace.
    if (ui::ReloadFlag::isSet())
        w->activate();
    return w;
}

db::PagedQuery Qkh_list_Form::query() const
{
    return db::CustomerCriteriaQuery(m_criteria);
}

void Qkh_list_Form::shownLoaded()
{
    m_shownTag = m_tag;
    m_shownCriteria = m_criteria;
}

void Qkh_list_Form::loadFailed()
{
    m_tag = m_shownTag;
    m_criteria = m_shownCriteria;
}

QStringList Qkh_list_Form::cells(const QVariantList &row) const
{
    return db::CustomerListCells(row);
}

void Qkh_list_Form::openRecord(qint64 id)
{
    rental::OpenRentalStatus(id);
}
