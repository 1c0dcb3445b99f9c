#include "lists/qdisc_list_form.h"

Qdisc_list_Form::Qdisc_list_Form(QWidget *parent) : list_Form(parent)
{
    setObjectName(QStringLiteral("Qdisc_list_Form"));
    setWindowTitle(QStringLiteral("碟片查询结果"));
    setPagingButtons(PagingButtons::HiddenUntilLoaded);
    for (int i = 0; i < CriteriaFields; ++i)
        m_criteria << (i == 0 || i >= 7 ? QStringLiteral("0") : QString());
}

std::optional<qint64> Qdisc_list_Form::discNumber(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return 0;
    // ASCII digits with an optional sign; anything else (a point, full-width digits, a
    // number too large to hold) is not a disc number.
    for (qsizetype i = 0; i < t.size(); ++i) {
        const char16_t ch = t.at(i).unicode();
        const bool sign = i == 0 && (ch == u'-' || ch == u'+') && t.size() > 1;
        if (!sign && (ch < u'0' || ch > u'9'))
            return std::nullopt;
    }
    bool ok = false;
    const qint64 n = t.toLongLong(&ok);
    return ok ? std::optional<qint64>(n) : std::nullopt;
}

db::DiscFilter Qdisc_list_Form::filterFor(const QStringList &fields)
{
    auto at = [&](int i) { return i < fields.size() ? fields.at(i) : QString(); };
    db::DiscFilter f;
    f.number = discNumber(at(0)).value_or(0);
    f.title = at(1).trimmed();
    f.starring = at(2).trimmed();
    f.director = at(3).trimmed();
    f.media = at(4).trimmed();
    f.category = at(5).trimmed();
    f.country = at(6).trimmed();
    // A disc number ignores every other criterion, the rental state too. Rentable wins
    // when both boxes are set, as the query window never sends both.
    if (f.number >= 1)
        return f;
    if (at(7).trimmed().toInt() >= 1)
        f.state = db::RentalState::OnShelf;
    else if (at(8).trimmed().toInt() > 0)
        f.state = db::RentalState::Out;
    return f;
}

void Qdisc_list_Form::setCriteria(const QStringList &fields)
{
    m_criteria = fields;
    while (m_criteria.size() < CriteriaFields)
        m_criteria << QString();
    setProperty("Tag", tag());
}

QString Qdisc_list_Form::tag() const
{
    return m_criteria.join(separator());
}

db::PagedQuery Qdisc_list_Form::query() const
{
    return db::DiscFilterQuery(filterFor(m_criteria));
}
