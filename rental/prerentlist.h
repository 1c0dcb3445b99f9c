#pragma once
#include <QList>
#include <QString>

#include "data/shop/rentals.h"

namespace rental {

// The discs collected for the next rental, shared by the rental window (which shows them in
// its Grid1) and every picker (which adds to them). Row r of the grid is entry r here.
class PreRentList
{
public:
    static constexpr int Capacity = 100;

    int PreRentCount() const { return int(m_discs.size()); }
    // The disc number of grid row r (1..PreRentCount()); 0 outside.
    qint64 PreRentIds(int row) const;
    const db::PreRentDisc &at(int row) const { return m_discs.at(row - 1); }
    // The number of physical discs: the sum of the packages' disc counts (Label4).
    qint64 discTotal() const;
    bool contains(qint64 id) const;

    struct Added
    {
        QList<db::PreRentDisc> added;  // appended, in order
        int alreadyListed = 0;
        QList<qint64> refused;         // no room left
    };
    // Appends the discs not listed yet, while there is room.
    Added add(const QList<db::PreRentDisc> &discs);
    // Drops rows first..last (either order); rows outside the list are ignored, and so is
    // a range that starts at row 0 (nothing selected).
    // Returns how many were dropped.
    int remove(int first, int last);
    void clear() { m_discs.clear(); }

    // What the commit rents: each disc with the title it was picked with.
    QList<db::PickedDisc> picked() const;

private:
    QList<db::PreRentDisc> m_discs;
};

// The program's one pre-rent list.
PreRentList &PreRent();

// The message for discs that did not fit.
QString PreRentFullMessage(int added, int refused);

} // namespace rental
