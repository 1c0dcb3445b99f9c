#pragma once
#include "data/shop/customerquery.h"
#include "ui/pagedlistform.h"

// The customer query result ("客户查询结果"): one window for the program, a customer list of
// the customers the query window's criteria select. Its criteria are the query window's
// "@@@"-joined text, read again before every load. A double-click opens the customer's
// rental status window; customers are never deleted from it.
class Qkh_list_Form : public ui::PagedListForm
{
    Q_OBJECT
public:
    explicit Qkh_list_Form(QWidget *parent = nullptr);

    static QString caption() { return QStringLiteral("客户查询结果"); }
    // The program's result window, created and shown on first use, given the criteria and
    // brought to the front; it shows page 1 of the new result when it becomes active.
    static Qkh_list_Form *showCriteria(const QString &criteriaText);
    // The same with the criteria the text stands for, as the query window knows them.
    static Qkh_list_Form *showCriteria(const QString &criteriaText, const db::CustomerCriteria &criteria);

    const QString &criteriaText() const { return m_tag; } // the window's tag
    const db::CustomerCriteria &criteria() const { return m_criteria; }

protected:
    db::PagedQuery query() const override;
    QStringList cells(const QVariantList &row) const override;
    void openRecord(qint64 id) override;
    void shownLoaded() override;
    void loadFailed() override;

private:
    QString m_tag;
    db::CustomerCriteria m_criteria;
    // What the rows shown were read with.
    QString m_shownTag;
    db::CustomerCriteria m_shownCriteria;
};
