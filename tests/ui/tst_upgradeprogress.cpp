// The upgrade of a file an earlier release wrote reports each step through the progress
// installed for it, and the progress dialog shows what is being done.
#include <QtTest>

#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <memory>

#include "app/startup.h"
#include "data/safety/invariants.h"
#include "data/shop/accounts.h"
#include "data/store/connection.h"
#include "data/store/progress.h"
#include "data/store/schema.h"
#include "data/store/serverschema.h"
#include "support/programfolder.h"
#include "support/servershop.h"
#include "ui/backgroundwork.h"
#include "ui/messages.h"
#include "ui/progressdialog.h"

using testsupport::ProgramFolder;

namespace {

class Recording final : public db::Progress
{
public:
    void stage(const QString &what, qint64 steps) override { stages << std::pair{what, steps}; }
    bool advance(qint64 done) override
    {
        advances << done;
        return true;
    }
    QList<std::pair<QString, qint64>> stages;
    QList<qint64> advances;
};

} // namespace

class TestUpgradeProgress : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void everyStepReported_data();
    void everyStepReported();
    void currentFileReportsNothing();
    void dialogShowsTheUpgrade();
    void workerUpgradeReportsToItsOwnDialog();
    void startUpgradesBehindItsDialog_data();
    void startUpgradesBehindItsDialog();

private:
    std::unique_ptr<testsupport::ServerDatabase> m_server;
};

void TestUpgradeProgress::initTestCase()
{
    if (testsupport::TestServer())
        m_server = std::make_unique<testsupport::ServerDatabase>();
}

void TestUpgradeProgress::cleanupTestCase()
{
    m_server.reset();
}

void TestUpgradeProgress::init()
{
    db::ShopLocation::useFile();
}

void TestUpgradeProgress::everyStepReported_data()
{
    QTest::addColumn<int>("from");
    for (int v = 1; v < db::SchemaVersion(); ++v)
        QTest::newRow(qPrintable(QStringLiteral("version %1").arg(v))) << v;
}

void TestUpgradeProgress::everyStepReported()
{
    QFETCH(int, from);
    ProgramFolder folder;
    folder.writeOldFile(from, {"INSERT INTO table1 (t13, t7) VALUES ('旧碟', 1)"});
    Recording r;
    {
        db::ScopedProgress watching(&r);
        QCOMPARE(&db::ScopedProgress::current(), static_cast<db::Progress *>(&r));
        db::Connection c;
        QVERIFY2(c.ok(), qPrintable(c.status().error()));
    }
    QCOMPARE(&db::ScopedProgress::current(), &db::NoProgress());
    const qint64 steps = db::SchemaVersion() - from;
    // One stage per step, numbered, then the commit; each step an equal share of the bar.
    QCOMPARE(r.stages.size(), steps + 1);
    const qint64 total = r.stages.first().second;
    QCOMPARE(total % steps, 0);
    for (qint64 i = 0; i < steps; ++i) {
        QCOMPARE(r.stages.at(i).second, total);
        QVERIFY(r.stages.at(i).first.contains(QStringLiteral("第 %1 步，共 %2 步").arg(i + 1).arg(steps)));
    }
    QVERIFY(r.advances.contains(total));
    QVERIFY(std::is_sorted(r.advances.cbegin(), r.advances.cend() - 1));
    // The step that counts the figures moves the bar while it runs, not only at its end.
    const qint64 unit = total / steps;
    QVERIFY(std::any_of(r.advances.cbegin(), r.advances.cend(),
                        [&](qint64 a) { return a > total - unit && a < total; }));
    QCOMPARE(folder.scalar("PRAGMA user_version").toInt(), db::SchemaVersion());
    QCOMPARE(folder.problems(), QString());
}

void TestUpgradeProgress::currentFileReportsNothing()
{
    ProgramFolder folder;
    Recording r;
    db::ScopedProgress watching(&r);
    db::Connection c;
    QVERIFY(c.ok());
    QVERIFY(r.stages.isEmpty());
}

void TestUpgradeProgress::dialogShowsTheUpgrade()
{
    ProgramFolder folder;
    folder.writeOldFile(1, {"INSERT INTO table1 (t13, t7) VALUES ('旧碟', 1)"});
    ui::ProgressDialog dialog(nullptr, QStringLiteral("升级数据文件"), false);
    QVERIFY(dialog.dialog());
    db::ScopedProgress watching(&dialog);
    QStringList labels;
    // Each stage sets the label and lets the events run: read it from inside the upgrade.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] { labels << dialog.dialog()->labelText(); });
    poll.start(0);
    QVERIFY(db::HasAnyUser().ok());
    poll.stop();
    QVERIFY(!labels.isEmpty());
    QVERIFY(labels.first().startsWith(QStringLiteral("正在升级数据文件")));
    QCOMPARE(dialog.dialog()->windowTitle(), QStringLiteral("升级数据文件"));
    QCOMPARE(dialog.dialog()->findChild<QPushButton *>(), nullptr); // no 取消: an upgrade cannot stop
}

// Work on a worker thread reports to the dialog it runs behind, never to what the window
// thread installed (a widget of that thread, touched from another).
void TestUpgradeProgress::workerUpgradeReportsToItsOwnDialog()
{
    ProgramFolder folder;
    folder.writeOldFile(1, {"INSERT INTO table1 (t13, t7) VALUES ('旧碟', 1)"});
    Recording onWindowThread;
    db::ScopedProgress watching(&onWindowThread);
    ui::ProgressDialog dialog(nullptr, QStringLiteral("升级数据文件"), false);
    db::Status opened;
    bool toTheDialog = false;
    ui::RunInBackground(dialog, [&](db::Progress &relay) {
        toTheDialog = &db::ScopedProgress::current() == &relay;
        db::Connection c;
        opened = c.status();
    });
    QVERIFY2(opened.ok(), qPrintable(opened.error()));
    QVERIFY(toTheDialog);
    QVERIFY(onWindowThread.stages.isEmpty());
    QVERIFY(dialog.dialog()->labelText().startsWith(QStringLiteral("正在保存升级后的数据文件")));
    QCOMPARE(folder.scalar("PRAGMA user_version").toInt(), db::SchemaVersion());
}

void TestUpgradeProgress::startUpgradesBehindItsDialog_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<QString>("seen");
    QTest::newRow("file") << false << QStringLiteral("升级数据文件|正在");
    QTest::newRow("server") << true << QStringLiteral("打开店铺|正在");
}

// A start on a shop of the first layout upgrades it behind the dialog and goes on to the login.
void TestUpgradeProgress::startUpgradesBehindItsDialog()
{
    QFETCH(bool, server);
    QFETCH(QString, seen);
    ProgramFolder folder;
    if (!testsupport::ReadyForEngine(server, m_server.get()))
        QSKIP("no test server (LANLAN_TEST_PG)");
    const QStringList rows{QStringLiteral("INSERT INTO table1 (t13, t7) VALUES ('旧碟', 1)"),
                           QStringLiteral("INSERT INTO table7 (t1, t2) VALUES ('boss', 'pw')")};
    if (server) {
        QVERIFY(m_server->reset(true));
        {
            db::Connection c(m_server->shop(), db::Connection::Mode::Create);
            QVERIFY(db::CreateServerSchema(c, 1));
            for (const QString &sql : rows)
                QVERIFY(c.exec(sql));
        }
        db::Connection::closeServerConnection();
    } else {
        folder.writeOldFile(1, rows);
    }
    msg::Recorder boxes;
    QStringList labels;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *d = qobject_cast<QProgressDialog *>(w))
                labels << d->windowTitle() + QLatin1Char('|') + d->labelText();
        }
    });
    poll.start(0);
    QCOMPARE(int(startup::start()), int(startup::Outcome::Running));
    poll.stop();
    for (const auto &box : boxes.boxes())
        qWarning("%s", qPrintable(box.text));
    QVERIFY(boxes.boxes().isEmpty());
    const QString upgrading = seen + (server ? QStringLiteral("升级服务器上的店铺：第 ") : QStringLiteral("升级数据文件：第 "));
    const QString saving = seen + QStringLiteral("保存升级后的");
    QVERIFY2(std::any_of(labels.cbegin(), labels.cend(),
                         [&](const QString &l) { return l.startsWith(upgrading) || l.startsWith(saving); }),
             qPrintable(labels.join(QLatin1Char('\n'))));
    if (server)
        QCOMPARE(db::ProbeServerShop(m_server->shop()).value(), db::ServerSchemaVersion());
    else
        QCOMPARE(folder.scalar("PRAGMA user_version").toInt(), db::SchemaVersion());
    db::Connection c;
    auto check = db::CheckFile(c);
    QVERIFY2(check && check->clean(), qPrintable(check ? check->lines().join(QLatin1Char('\n')) : check.error()));
    for (QWidget *w : QApplication::topLevelWidgets())
        w->close();
}

QTEST_MAIN(TestUpgradeProgress)
#include "tst_upgradeprogress.moc"
