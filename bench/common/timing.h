#pragma once
// What every benchmark program shares: timing an action, its median and p95, and one
// markdown table row beside the naive statement.
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <vector>

namespace bench {

struct Stats
{
    double median = 0, p95 = 0;
};

inline Stats stats(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    Stats s;
    if (ms.empty())
        return s;
    s.median = ms[ms.size() / 2];
    s.p95 = ms[std::min(ms.size() - 1, size_t(double(ms.size()) * 0.95))];
    return s;
}

// Runs `prepare` untimed and `action` timed, reps times.
inline Stats time(int reps, const std::function<void()> &action, const std::function<void()> &prepare = {})
{
    std::vector<double> ms;
    for (int i = 0; i < reps; ++i) {
        if (prepare)
            prepare();
        QElapsedTimer t;
        t.start();
        action();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return stats(ms);
}

inline void must(bool ok, const QString &what)
{
    if (!ok) {
        QTextStream(stderr) << "failed: " << what << "\n";
        std::exit(1);
    }
}

// "| lead… | median | p95 | naive median | naive p95 | ratio | after… |"
inline void printRow(QTextStream &out, const QStringList &lead, const Stats &ours, const std::optional<Stats> &naive,
                     const QStringList &after = {})
{
    out << "| ";
    for (const QString &cell : lead)
        out << cell << " | ";
    out << QString::number(ours.median, 'f', 2) << " | " << QString::number(ours.p95, 'f', 2) << " | ";
    if (naive)
        out << QString::number(naive->median, 'f', 2) << " | " << QString::number(naive->p95, 'f', 2) << " | "
            << QString::number(naive->median / std::max(ours.median, 1e-6), 'f', 1) << "× |";
    else
        out << "– | – | – |";
    for (const QString &cell : after)
        out << " " << cell << " |";
    out << "\n";
    out.flush();
}

} // namespace bench
