#include "data/store/location.h"

#include "data/store/programdir.h"

#include <QHash>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>

namespace db {
namespace {
std::optional<ServerShop> g_server;
QHash<QString, QString> g_passwords; // by connection text
const char *const kSettingsGroup = "shop";
const char *const kServerKey = "server";

// libpq's quoting: a value with spaces, quotes or backslashes is put in single quotes.
QString quoted(const QString &value)
{
    if (!value.isEmpty() && !value.contains(QRegularExpression(QStringLiteral("[\\s'\\\\]"))))
        return value;
    QString v = value;
    v.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    v.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}
} // namespace

std::optional<ServerShop> ServerShop::parse(const QString &text, QString *problem)
{
    auto fail = [&](const QString &why) -> std::optional<ServerShop> {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    ServerShop s;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (true) {
        while (i < n && text.at(i).isSpace())
            ++i;
        if (i >= n)
            break;
        const qsizetype eq = text.indexOf(QLatin1Char('='), i);
        if (eq < 0)
            return fail(QStringLiteral("连接设置“%1”缺少“=”。").arg(text.mid(i)));
        const QString key = text.mid(i, eq - i).trimmed();
        i = eq + 1;
        while (i < n && text.at(i).isSpace())
            ++i;
        QString value;
        if (i < n && text.at(i) == QLatin1Char('\'')) {
            ++i;
            bool closed = false;
            while (i < n) {
                const QChar ch = text.at(i++);
                if (ch == QLatin1Char('\\') && i < n) {
                    value += text.at(i++);
                } else if (ch == QLatin1Char('\'')) {
                    closed = true;
                    break;
                } else {
                    value += ch;
                }
            }
            if (!closed)
                return fail(QStringLiteral("连接设置中的引号没有结束。"));
        } else {
            while (i < n && !text.at(i).isSpace())
                value += text.at(i++);
        }
        if (key == QLatin1String("host") || key == QLatin1String("hostaddr"))
            s.host = value;
        else if (key == QLatin1String("port")) {
            bool ok = false;
            s.port = value.toInt(&ok);
            if (!ok || s.port < 1 || s.port > 65535)
                return fail(QStringLiteral("端口“%1”不是 1 到 65535 之间的数。").arg(value));
        } else if (key == QLatin1String("dbname"))
            s.database = value;
        else if (key == QLatin1String("user"))
            s.user = value;
        else if (key == QLatin1String("sslmode"))
            s.sslmode = value;
        else if (key == QLatin1String("password"))
            return fail(QStringLiteral("密码不能写在连接设置中，请放在 ~/.pgpass 文件里。"));
        else
            return fail(QStringLiteral("不认识的连接设置“%1”。").arg(key));
    }
    if (s.database.isEmpty())
        return fail(QStringLiteral("连接设置中缺少数据库名（dbname）。"));
    return s;
}

QString ServerShop::conninfo() const
{
    QStringList parts;
    if (!host.isEmpty())
        parts << QStringLiteral("host=") + quoted(host);
    parts << QStringLiteral("port=%1").arg(port);
    parts << QStringLiteral("dbname=") + quoted(database);
    if (!user.isEmpty())
        parts << QStringLiteral("user=") + quoted(user);
    if (!sslmode.isEmpty())
        parts << QStringLiteral("sslmode=") + quoted(sslmode);
    return parts.join(QLatin1Char(' '));
}

QString ServerShop::describe() const
{
    const QString where = host.isEmpty() ? QStringLiteral("本机") : host;
    return user.isEmpty() ? QStringLiteral("数据库 %1（服务器 %2:%3）").arg(database, where).arg(port)
                          : QStringLiteral("数据库 %1（服务器 %2:%3，用户 %4）").arg(database, where).arg(port).arg(user);
}

const std::optional<ServerShop> &ShopLocation::server()
{
    return g_server;
}

void ShopLocation::useServer(const ServerShop &shop)
{
    g_server = shop;
}

void ShopLocation::useFile()
{
    g_server.reset();
}

std::optional<ServerShop> ShopLocation::serverInUse()
{
    if (DemoData::enabled())
        return std::nullopt;
    return g_server;
}

QString ShopLocation::password(const ServerShop &shop)
{
    return g_passwords.value(shop.conninfo());
}

void ShopLocation::setPassword(const ServerShop &shop, const QString &password)
{
    if (password.isEmpty())
        g_passwords.remove(shop.conninfo());
    else
        g_passwords.insert(shop.conninfo(), password);
}

std::optional<ServerShop> SavedServerShop()
{
    QSettings s(QStringLiteral("Lanlan"), QStringLiteral("Lanlan"));
    s.beginGroup(QLatin1String(kSettingsGroup));
    const QString text = s.value(QLatin1String(kServerKey)).toString();
    return text.isEmpty() ? std::nullopt : ServerShop::parse(text);
}

void SaveServerShop(const std::optional<ServerShop> &shop)
{
    QSettings s(QStringLiteral("Lanlan"), QStringLiteral("Lanlan"));
    s.beginGroup(QLatin1String(kSettingsGroup));
    if (shop)
        s.setValue(QLatin1String(kServerKey), shop->conninfo());
    else
        s.remove(QLatin1String(kServerKey));
}

} // namespace db
