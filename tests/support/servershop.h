#pragma once
#include <QString>

#include <optional>

#include "data/store/location.h"

namespace testsupport {

// The test server the test script started (LANLAN_TEST_PG, a libpq connection text); none
// when it is not set, and the server tests skip.
std::optional<db::ServerShop> TestServer();
// The folder of the test server (LANLAN_TEST_PG_DIR), for stopping and starting it.
QString TestServerDir();

// A database of this test program's own on the test server, emptied for each test, made the
// shop every operation opens while it lives; the file is in use again afterwards.
class ServerDatabase
{
public:
    ServerDatabase();
    ~ServerDatabase();
    bool ok() const { return m_ok; }
    const db::ServerShop &shop() const { return m_shop; }
    // Drops everything in the database and writes a new, empty shop unless `empty`.
    bool reset(bool empty = false);
    // Runs statements on a connection of its own (outside the program's kept one).
    bool exec(const QString &sql) const;

private:
    db::ServerShop m_shop;
    QString m_admin;
    bool m_ok = false;
};

// Runs pg_test_server.sh with the action on the test server's folder (halt, resume, restart).
bool ControlTestServer(const QString &action);

// Whether a case of one engine runs: the file always, the server when a test server is set
// (emptied for the case; a set server that cannot be used stops the tests).
bool ReadyForEngine(bool server, ServerDatabase *database);

} // namespace testsupport
