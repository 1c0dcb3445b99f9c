#pragma once
#include <QString>

#include <optional>

namespace db {

// A shop kept in a PostgreSQL database instead of the file beside the program. The password
// is never held here: libpq reads it from the user's ~/.pgpass.
struct ServerShop
{
    QString host;     // host name, or the folder of the server's Unix socket
    int port = 5432;
    QString database;
    QString user;
    QString sslmode;  // as libpq takes it (disable, prefer, require, verify-full...); empty: libpq's default

    // "host=... port=... dbname=... user=... sslmode=...", as libpq writes it; a password
    // in the text is refused, so it never lands in settings, logs or a command line.
    static std::optional<ServerShop> parse(const QString &conninfo, QString *problem = nullptr);
    QString conninfo() const;
    // Names the database in messages: "数据库 lanlan（服务器 /tmp/sock:5432，用户 kim）".
    QString describe() const;
    bool operator==(const ServerShop &) const = default;
};

// Where the shop lives, chosen once at start-up: the file (default) or a server shop. The
// demonstration data stays the local demo.sqlite whichever is chosen.
class ShopLocation
{
public:
    static const std::optional<ServerShop> &server();
    static void useServer(const ServerShop &shop);
    static void useFile();
    // The server shop every next operation opens; none while the file or the demonstration
    // data is in use.
    static std::optional<ServerShop> serverInUse();

    // A password typed at start for a server shop: kept in this process's memory only and
    // handed to the driver; never written anywhere. Empty: libpq looks in ~/.pgpass.
    static QString password(const ServerShop &shop);
    static void setPassword(const ServerShop &shop, const QString &password);
};

// The server shop kept in the program's settings (group "shop"): its connection text,
// which never holds a password. None: the file beside the program.
std::optional<ServerShop> SavedServerShop();
void SaveServerShop(const std::optional<ServerShop> &shop);

} // namespace db
