#pragma once
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

#include "data/store/result.h"

namespace db {

class Connection;

// Values offered by a selection box: slots 1..count in the order of table3.id.
class LookupList
{
public:
    static constexpr int Capacity = 100;

    int count() const { return m_count; }
    const QString &at(int slot) const { return m_slots[slot]; } // slot 1..count
    QStringList entries() const;
    bool isFull() const { return m_count >= Capacity; }
    bool contains(const QString &text, Qt::CaseSensitivity cs) const;

    // Appends when there is room; false on a full list.
    bool append(const QString &text);
    void clear() { m_count = 0; }
    void assign(const QStringList &values); // keeps the first Capacity values

private:
    std::array<QString, Capacity + 1> m_slots{};
    qint16 m_count = 0;
};

enum class Lookup { Content, CardType, Country, Director, Shelf, Media, Starring };
constexpr std::array<Lookup, 7> AllLookups = {Lookup::Content, Lookup::CardType, Lookup::Country,
                                              Lookup::Director, Lookup::Shelf, Lookup::Media,
                                              Lookup::Starring};

// Column of table3 that holds the list.
QString LookupColumn(Lookup which);
// The list's name as the shop keeper knows it, e.g. 国别.
QString LookupName(Lookup which);
// How add-if-new compares a value with the list's entries: card types without regard to
// letter case (the rental window's rule), every other list exactly.
Qt::CaseSensitivity LookupCase(Lookup which);

// The seven lists the program holds while it runs.
struct LookupLists
{
    LookupList ContentList, CardTypeList, CountryList, DirectorList, ShelfList, MediaList, StarringList;

    LookupList &list(Lookup which);
    const LookupList &list(Lookup which) const;
    void clearAll();
};

// The application's lists, shared by every window.
LookupLists &Lookups();

// Fills the lists from the file in use. A column without values leaves its list as it was.
Status LoadLookupLists();
Status LoadLookupLists(Connection &c, LookupLists &lists);

// Offers a saved value to its list: the trimmed text is appended to the list and written
// to table3 as a row of its own unless an entry of the list or a value of the column
// already holds it. Comparing the trimmed text keeps a value typed with blanks around it
// from entering the list a second time. Returns whether a row was added.
// Callers inside a transaction pass a copy of the lists and keep it only after commit.
Result<bool> AddIfNew(Connection &c, LookupLists &lists, Lookup which, const QString &text,
                      Qt::CaseSensitivity cs = Qt::CaseSensitive);

// AddIfNew for many values inside one transaction (an import): each column of table3 is
// read once, at its first value, and what is added is remembered, instead of the column
// being read again for every value. It answers as AddIfNew would, value after value.
class LookupAdder
{
public:
    LookupAdder(Connection &c, LookupLists &lists) : m_c(c), m_lists(lists) {}
    Result<bool> add(Lookup which, const QString &text, Qt::CaseSensitivity cs = Qt::CaseSensitive);

private:
    Connection &m_c;
    LookupLists &m_lists;
    // Per list and way of comparing: the trimmed values its column holds (folded when
    // compared without case).
    std::array<std::optional<QSet<QString>>, 2 * AllLookups.size()> m_stored;
};

} // namespace db
