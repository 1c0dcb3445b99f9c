#pragma once
#include <QStringList>

#include <optional>

#include "data/search/discfilter.h"
#include "lists/list_form.h"

// The disc query result ("碟片查询结果"): one window for the program, a disc list with the
// columns and actions of the all-discs list, showing the discs the criteria of the last
// query select. It keeps the criteria until the next query replaces them, so a correction
// or a delete reloads the same query.
class Qdisc_list_Form : public list_Form
{
    Q_OBJECT
public:
    explicit Qdisc_list_Form(QWidget *parent = nullptr);

    // The nine criteria fields: number, title, starring, director, media, category,
    // country, "1" for rentable discs, "1" for unreturned discs.
    static constexpr int CriteriaFields = 9;
    static QString separator() { return QStringLiteral("@@@"); }

    // The disc number a number box holds: 0 when it is empty, nothing when its text is
    // not a whole number.
    static std::optional<qint64> discNumber(const QString &text);
    // What the criteria select; a number that is not a whole number counts as none, and a
    // disc number of 1 or more ignores the other criteria, the rental state included.
    static db::DiscFilter filterFor(const QStringList &fields);

    // Takes the criteria of a new query; its tag becomes their "@@@"-joined text. The
    // fields themselves are kept, so text typed with "@@@" in it cannot shift them.
    void setCriteria(const QStringList &fields);
    const QStringList &criteria() const { return m_criteria; }
    QString tag() const;

protected:
    db::PagedQuery query() const override;
    void shownLoaded() override { m_shownCriteria = m_criteria; }
    void loadFailed() override { setCriteria(m_shownCriteria); }

private:
    QStringList m_criteria;
    QStringList m_shownCriteria; // what the rows shown were read with
};
