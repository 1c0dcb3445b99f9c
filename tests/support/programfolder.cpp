#include "support/programfolder.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include "data/store/clock.h"
#include "data/store/connection.h"
#include "data/shop/demodata.h"
#include "data/safety/invariants.h"
#include "data/shop/lookuplists.h"
#include "data/store/programdir.h"
#include "data/store/schema.h"

namespace testsupport {
namespace {

// Schema creation is done once per test program; each test copies the result.
QString templateFile(bool generated)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(generated ? QStringLiteral("demo.sqlite") : QStringLiteral("empty.sqlite"));
    if (!QFile::exists(path)) {
        const db::Status s = db::CreateDatabaseFile(path);
        if (!s)
            qFatal("cannot create template database: %s", qPrintable(s.error()));
        if (generated) {
            db::Connection c(path);
            db::DemoSize size;
            size.anchor = Today();
            const db::Status g = db::GenerateDemoData(c, size);
            if (!g)
                qFatal("cannot generate demonstration data: %s", qPrintable(g.error()));
        }
    }
    return path;
}

void copyTemplate(bool generated, const QString &to)
{
    if (!QFile::copy(templateFile(generated), to))
        qFatal("cannot copy template database to %s", qPrintable(to));
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
}

void reset()
{
    db::DemoData::setEnabled(false);
    db::Session::setCurrentUser(QString());
    db::Session::setCurrentPassword(QString());
    db::Lookups().clearAll();
}

} // namespace

QDate Today()
{
    return QDate(2026, 3, 15);
}

ProgramFolder::ProgramFolder(Demo demo)
{
    QVERIFY2(m_dir.isValid(), "temporary folder");
    db::ProgramDir::setPath(m_dir.path());
    copyTemplate(false, realFile());
    if (demo != NoDemoFile)
        copyTemplate(demo == GeneratedDemoFile, demoFile());
    db::CreateScratchDir();
    reset();
    db::Clock::setFixed(QDateTime(Today(), QTime(10, 30, 0)));
}

ProgramFolder::~ProgramFolder()
{
    reset();
    db::Clock::setFixed(QDateTime());
    db::ProgramDir::setPath(QString());
}

QString ProgramFolder::realFile() const { return m_dir.filePath(QStringLiteral("db.sqlite")); }
QString ProgramFolder::demoFile() const { return m_dir.filePath(QStringLiteral("demo.sqlite")); }

QList<QVariantList> ProgramFolder::rows(const QString &sql, const QVariantList &binds, bool demo) const
{
    QList<QVariantList> out;
    db::Connection c(demo ? demoFile() : realFile());
    if (!c.ok()) {
        qWarning("%s", qPrintable(c.status().error()));
        QTest::qFail("cannot open test database", __FILE__, __LINE__);
        return out;
    }
    auto q = c.run(sql, binds);
    if (!q) {
        qWarning("%s: %s", qPrintable(sql), qPrintable(q.error()));
        QTest::qFail("SQL failed in test", __FILE__, __LINE__);
        return out;
    }
    while (q.value().next()) {
        QVariantList row;
        for (int i = 0; i < q.value().record().count(); ++i)
            row << q.value().value(i);
        out << row;
    }
    return out;
}

void ProgramFolder::exec(const QString &sql, const QVariantList &binds, bool demo) const
{
    rows(sql, binds, demo);
}

void ProgramFolder::writeOldFile(int version, const QStringList &statements, bool demo) const
{
    const QString path = demo ? demoFile() : realFile();
    QFile::remove(path);
    db::Connection c(path, db::Connection::Mode::Create);
    db::Status s = c.status();
    if (s)
        s = db::CreateSchema(c, version);
    for (const QString &sql : statements) {
        if (s)
            s = c.exec(sql);
    }
    if (!s) {
        qWarning("%s", qPrintable(s.error()));
        QTest::qFail("cannot write an old data file", __FILE__, __LINE__);
    }
}

QString ProgramFolder::problems(bool demo) const
{
    const auto report = db::CheckFile(demo ? demoFile() : realFile());
    if (!report)
        return report.error();
    return report->lines().join(QLatin1Char('\n'));
}

QVariant ProgramFolder::scalar(const QString &sql, const QVariantList &binds, bool demo) const
{
    const auto r = rows(sql, binds, demo);
    return r.isEmpty() || r.first().isEmpty() ? QVariant() : r.first().first();
}

} // namespace testsupport
