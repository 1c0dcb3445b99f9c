#pragma once
#include <QByteArray>

#include <roaring/roaring.hh>

#include <map>
#include <optional>

namespace db::index {

// A set of record numbers, negative ones included, as compressed bitmaps: one per 2^32
// numbers, in the order of the numbers.
class IdSet
{
public:
    static quint64 keyOf(qint64 id) { return quint64(id) ^ (quint64(1) << 63); }
    static qint64 idOf(quint64 key) { return qint64(key ^ (quint64(1) << 63)); }

    void add(qint64 id)
    {
        const quint64 k = keyOf(id);
        m_parts[quint32(k >> 32)].add(quint32(k));
    }
    void remove(qint64 id)
    {
        const quint64 k = keyOf(id);
        auto it = m_parts.find(quint32(k >> 32));
        if (it == m_parts.end())
            return;
        it->second.remove(quint32(k));
        if (it->second.isEmpty())
            m_parts.erase(it);
    }
    void set(qint64 id, bool in) { in ? add(id) : remove(id); }
    void merge(quint32 high, const Roaring &low) { m_parts[high] |= low; }

    quint64 count() const
    {
        quint64 n = 0;
        for (const auto &[high, part] : m_parts)
            n += part.cardinality();
        return n;
    }
    size_t bytes() const
    {
        size_t n = 64;
        for (const auto &[high, part] : m_parts)
            n += part.getSizeInBytes(false) + 64;
        return n;
    }
    void intersect(const IdSet &o)
    {
        for (auto it = m_parts.begin(); it != m_parts.end();) {
            auto other = o.m_parts.find(it->first);
            if (other != o.m_parts.end())
                it->second &= other->second;
            if (other == o.m_parts.end() || it->second.isEmpty())
                it = m_parts.erase(it);
            else
                ++it;
        }
    }
    void subtract(const IdSet &o)
    {
        for (auto it = m_parts.begin(); it != m_parts.end();) {
            if (auto other = o.m_parts.find(it->first); other != o.m_parts.end())
                it->second -= other->second;
            if (it->second.isEmpty())
                it = m_parts.erase(it);
            else
                ++it;
        }
    }
    // How many numbers the two sets share, without making the set of them.
    quint64 andCount(const IdSet &o) const
    {
        quint64 n = 0;
        auto a = m_parts.begin(), b = o.m_parts.begin();
        while (a != m_parts.end() && b != o.m_parts.end()) {
            if (a->first < b->first)
                ++a;
            else if (b->first < a->first)
                ++b;
            else
                n += (a++)->second.and_cardinality((b++)->second);
        }
        return n;
    }
    // The number at `rank` in ascending order.
    std::optional<qint64> at(quint64 rank) const
    {
        for (const auto &[high, part] : m_parts) {
            const quint64 n = part.cardinality();
            if (rank < n) {
                uint32_t low = 0;
                part.select(uint32_t(rank), &low);
                return idOf((quint64(high) << 32) | low);
            }
            rank -= n;
        }
        return std::nullopt;
    }
    QByteArray json() const
    {
        QByteArray out("[");
        for (const auto &[high, part] : m_parts) {
            for (uint32_t low : part) {
                if (out.size() > 1)
                    out += ',';
                out += QByteArray::number(idOf((quint64(high) << 32) | low));
            }
        }
        return out + ']';
    }

private:
    std::map<quint32, Roaring> m_parts;
};

} // namespace db::index
