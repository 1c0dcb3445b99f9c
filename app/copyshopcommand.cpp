#include "app/copyshopcommand.h"

#include <QElapsedTimer>
#include <QTextStream>

#include "data/safety/shopcopy.h"

namespace startup {
namespace {

// Each stage once, then its share done at most every two seconds.
class TextProgress final : public db::Progress
{
public:
    void stage(const QString &what, qint64 steps) override
    {
        m_what = what;
        m_steps = steps;
        m_err << what << (steps > 0 ? QStringLiteral("（%1 行）").arg(steps) : QString()) << "\n";
        m_err.flush();
        m_told.start();
    }
    bool advance(qint64 done) override
    {
        if (m_steps > 0 && m_told.elapsed() > 2000) {
            m_err << "  " << m_what << "：" << (done * 100 / m_steps) << "%\n";
            m_err.flush();
            m_told.start();
        }
        return true;
    }

private:
    QTextStream m_err{stderr};
    QString m_what;
    qint64 m_steps = 0;
    QElapsedTimer m_told;
};

} // namespace

int runCopyShop(const QString &fromText, const QString &toText)
{
    QTextStream out(stdout);
    const auto from = db::ParseShopPlace(fromText);
    const auto to = db::ParseShopPlace(toText);
    if (!from || !to) {
        out << "无法复制：" << (from ? to.error() : from.error()) << "\n";
        return 2;
    }
    out << "复制店铺：" << from->describe() << " → " << to->describe() << "\n";
    out.flush();
    TextProgress progress;
    const auto copied = db::CopyShop(*from, *to, progress);
    if (!copied) {
        out << "复制失败：" << copied.error() << "\n";
        return 1;
    }
    out << "已复制 " << copied.value() << " 行。\n";
    return 0;
}

} // namespace startup
