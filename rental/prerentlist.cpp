#include "rental/prerentlist.h"

#include <algorithm>

namespace rental {

qint64 PreRentList::PreRentIds(int row) const
{
    return row >= 1 && row <= m_discs.size() ? m_discs.at(row - 1).id : 0;
}

qint64 PreRentList::discTotal() const
{
    qint64 total = 0;
    for (const db::PreRentDisc &d : m_discs)
        total += d.count;
    return total;
}

bool PreRentList::contains(qint64 id) const
{
    return std::any_of(m_discs.cbegin(), m_discs.cend(), [id](const db::PreRentDisc &d) { return d.id == id; });
}

PreRentList::Added PreRentList::add(const QList<db::PreRentDisc> &discs)
{
    Added out;
    for (const db::PreRentDisc &d : discs) {
        if (contains(d.id)) {
            ++out.alreadyListed;
        } else if (m_discs.size() >= Capacity) {
            out.refused << d.id;
        } else {
            m_discs << d;
            out.added << d;
        }
    }
    return out;
}

int PreRentList::remove(int first, int last)
{
    if (first < 1 || last < 1)
        return 0; // nothing selected
    const int from = std::max(1, std::min(first, last));
    const int to = std::min(int(m_discs.size()), std::max(first, last));
    if (from > to)
        return 0;
    m_discs.remove(from - 1, to - from + 1);
    return to - from + 1;
}

QList<db::PickedDisc> PreRentList::picked() const
{
    QList<db::PickedDisc> out;
    out.reserve(m_discs.size());
    for (const db::PreRentDisc &d : m_discs)
        out << db::PickedDisc{d.id, d.title};
    return out;
}

PreRentList &PreRent()
{
    static PreRentList list;
    return list;
}

QString PreRentFullMessage(int added, int refused)
{
    return QStringLiteral("预租列表最多放 %1 张碟片：已添加 %2 张，其余 %3 张未添加！")
        .arg(PreRentList::Capacity)
        .arg(added)
        .arg(refused);
}

} // namespace rental
