#include "data/shop/lookuplists.h"

#include "data/store/connection.h"

namespace db {

QStringList LookupList::entries() const
{
    QStringList out;
    out.reserve(m_count);
    for (int i = 1; i <= m_count; ++i)
        out << m_slots[i];
    return out;
}

bool LookupList::contains(const QString &text, Qt::CaseSensitivity cs) const
{
    for (int i = 1; i <= m_count; ++i) {
        if (m_slots[i].compare(text, cs) == 0)
            return true;
    }
    return false;
}

bool LookupList::append(const QString &text)
{
    if (isFull())
        return false;
    m_slots[++m_count] = text;
    return true;
}

void LookupList::assign(const QStringList &values)
{
    m_count = 0;
    for (const QString &v : values) {
        if (!append(v))
            break;
    }
}

QString LookupColumn(Lookup which)
{
    switch (which) {
    case Lookup::Content: return QStringLiteral("s2");
    case Lookup::CardType: return QStringLiteral("s3");
    case Lookup::Country: return QStringLiteral("s6");
    case Lookup::Director: return QStringLiteral("s8");
    case Lookup::Shelf: return QStringLiteral("s9");
    case Lookup::Media: return QStringLiteral("s11");
    case Lookup::Starring: return QStringLiteral("s13");
    }
    return {};
}

QString LookupName(Lookup which)
{
    switch (which) {
    case Lookup::Content: return QStringLiteral("内容类别");
    case Lookup::CardType: return QStringLiteral("办证类型");
    case Lookup::Country: return QStringLiteral("国别");
    case Lookup::Director: return QStringLiteral("导演/监制");
    case Lookup::Shelf: return QStringLiteral("所属柜位");
    case Lookup::Media: return QStringLiteral("媒介类别");
    case Lookup::Starring: return QStringLiteral("主角");
    }
    return {};
}

Qt::CaseSensitivity LookupCase(Lookup which)
{
    return which == Lookup::CardType ? Qt::CaseInsensitive : Qt::CaseSensitive;
}

LookupList &LookupLists::list(Lookup which)
{
    return const_cast<LookupList &>(std::as_const(*this).list(which));
}

const LookupList &LookupLists::list(Lookup which) const
{
    switch (which) {
    case Lookup::Content: return ContentList;
    case Lookup::CardType: return CardTypeList;
    case Lookup::Country: return CountryList;
    case Lookup::Director: return DirectorList;
    case Lookup::Shelf: return ShelfList;
    case Lookup::Media: return MediaList;
    case Lookup::Starring: return StarringList;
    }
    return ContentList;
}

void LookupLists::clearAll()
{
    for (Lookup l : AllLookups)
        list(l).clear();
}

LookupLists &Lookups()
{
    static LookupLists lists;
    return lists;
}

Status LoadLookupLists(Connection &c, LookupLists &lists)
{
    for (Lookup which : AllLookups) {
        const QString col = LookupColumn(which);
        // The column name comes from the fixed table above, never from input.
        auto q = c.run(QStringLiteral("SELECT %1 FROM table3 WHERE %1 <> '' ORDER BY id").arg(col));
        if (!q)
            return q.status();
        QStringList values;
        while (q.value().next())
            values << q.value().value(0).toString().trimmed();
        if (!values.isEmpty())
            lists.list(which).assign(values);
    }
    return {};
}

Status LoadLookupLists()
{
    Connection c;
    if (!c.ok())
        return c.status();
    LookupLists loaded = Lookups();
    if (Status s = LoadLookupLists(c, loaded); !s)
        return s;
    Lookups() = loaded;
    return {};
}

Result<bool> AddIfNew(Connection &c, LookupLists &lists, Lookup which, const QString &text,
                      Qt::CaseSensitivity cs)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;
    LookupList &list = lists.list(which);
    if (list.contains(trimmed, cs))
        return false;
    // The file may hold values the list lacks (it could not be loaded, or another program
    // added them): a value the column already holds is not written a second time.
    auto stored = c.run(QStringLiteral("SELECT %1 FROM table3 WHERE %1 IS NOT NULL").arg(LookupColumn(which)));
    if (!stored)
        return stored.status();
    while (stored.value().next()) {
        if (stored.value().value(0).toString().trimmed().compare(trimmed, cs) == 0)
            return false;
    }
    stored.value().finish();
    if (!list.append(trimmed))
        return false; // a full list takes no more values
    const Status s = c.exec(QStringLiteral("INSERT INTO table3 (%1) VALUES (?)").arg(LookupColumn(which)),
                            {trimmed});
    if (!s)
        return s;
    return true;
}

Result<bool> LookupAdder::add(Lookup which, const QString &text, Qt::CaseSensitivity cs)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;
    LookupList &list = m_lists.list(which);
    if (list.contains(trimmed, cs))
        return false;
    // A full list takes no more values whatever the column holds; no need to read it.
    if (list.isFull())
        return false;
    const auto key = [cs](const QString &v) { return cs == Qt::CaseSensitive ? v : v.toCaseFolded(); };
    std::optional<QSet<QString>> &stored = m_stored[size_t(which) * 2 + (cs == Qt::CaseSensitive ? 0 : 1)];
    if (!stored) {
        auto values = m_c.run(QStringLiteral("SELECT %1 FROM table3 WHERE %1 IS NOT NULL").arg(LookupColumn(which)));
        if (!values)
            return values.status();
        stored.emplace();
        while (values.value().next())
            stored->insert(key(values.value().value(0).toString().trimmed()));
    }
    if (stored->contains(key(trimmed)))
        return false;
    if (!list.append(trimmed))
        return false;
    if (Status s = m_c.exec(QStringLiteral("INSERT INTO table3 (%1) VALUES (?)").arg(LookupColumn(which)), {trimmed}); !s)
        return s;
    stored->insert(key(trimmed));
    return true;
}

} // namespace db
