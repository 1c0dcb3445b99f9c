// Builds a shop database of a given size for benchmarks:
//   lanlan_makeshop --out FILE --discs N --customers M --rentals K [--covers PERCENT] [--seed S] [--layout V]
// An older layout V gives the file an earlier release would hold, for timing its upgrade.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include "data/store/connection.h"
#include "data/shop/demodata.h"
#include "data/store/schema.h"

namespace {

// Writes the tables of `from` into a new file of an earlier layout; that layout's own
// triggers keep its counters as the rows go in.
db::Status copyIntoLayout(const QString &from, const QString &to, int version)
{
    db::Connection c(to, db::Connection::Mode::Create);
    db::Status s = c.status();
    if (s)
        s = db::CreateSchema(c, version);
    if (s)
        s = c.exec(QStringLiteral("ATTACH DATABASE ? AS generated"), {from});
    if (s)
        s = c.exec(QStringLiteral("BEGIN"));
    for (int n = 1; s && n <= 8; ++n)
        s = c.exec(QStringLiteral("INSERT INTO main.table%1 SELECT * FROM generated.table%1").arg(n));
    if (s)
        s = c.exec(QStringLiteral("COMMIT"));
    return s;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Creates a shop database filled with generated discs, customers and rentals."));
    p.addHelpOption();
    const QCommandLineOption out({QStringLiteral("out")}, QStringLiteral("Database file to create."), QStringLiteral("FILE"));
    const QCommandLineOption discs({QStringLiteral("discs")}, QStringLiteral("Number of discs."), QStringLiteral("N"));
    const QCommandLineOption customers({QStringLiteral("customers")}, QStringLiteral("Number of customers."), QStringLiteral("M"));
    const QCommandLineOption rentals({QStringLiteral("rentals")}, QStringLiteral("Number of rental records."), QStringLiteral("K"));
    const QCommandLineOption covers({QStringLiteral("covers")}, QStringLiteral("Percent of discs with a cover picture."), QStringLiteral("PERCENT"), QStringLiteral("60"));
    const QCommandLineOption seed({QStringLiteral("seed")}, QStringLiteral("Generator seed."), QStringLiteral("S"), QStringLiteral("20051016"));
    const QCommandLineOption force({QStringLiteral("force")}, QStringLiteral("Replace FILE when it exists."));
    const QCommandLineOption layout({QStringLiteral("layout")}, QStringLiteral("File layout version (default: the current one)."),
                                    QStringLiteral("V"));
    p.addOptions({out, discs, customers, rentals, covers, seed, force, layout});
    p.process(app);

    QTextStream err(stderr);
    auto number = [&](const QCommandLineOption &o, bool required) -> qint64 {
        if (!p.isSet(o) && required) {
            err << "missing --" << o.names().first() << "\n";
            std::exit(2);
        }
        bool ok = false;
        const qint64 v = p.value(o).toLongLong(&ok);
        if (!ok || v < 0) {
            err << "--" << o.names().first() << " needs a number of 0 or more\n";
            std::exit(2);
        }
        return v;
    };
    if (!p.isSet(out)) {
        err << "missing --out\n";
        return 2;
    }
    db::DemoSize size;
    size.discs = int(number(discs, true));
    size.customers = int(number(customers, true));
    size.rentals = int(number(rentals, true));
    size.coverPercent = int(number(covers, false));
    size.seed = quint32(number(seed, false));
    size.anchor = QDate::currentDate();

    const qint64 version = p.isSet(layout) ? number(layout, false) : db::SchemaVersion();
    if (version < 1 || version > db::SchemaVersion()) {
        err << "--layout needs a version from 1 to " << db::SchemaVersion() << "\n";
        return 2;
    }
    const QString target = p.value(out);
    if (p.isSet(force))
        QFile::remove(target);
    if (QFileInfo::exists(target)) {
        err << "file exists: " << target << "\n";
        return 1;
    }
    // The generator writes the current layout; an older one gets its rows copied over.
    const QString file = version == db::SchemaVersion() ? target : target + QStringLiteral(".current");
    QFile::remove(file);
    QElapsedTimer t;
    t.start();
    if (db::Status s = db::CreateDatabaseFile(file); !s) {
        err << s.error() << "\n";
        return 1;
    }
    {
        db::Connection c(file);
        if (!c.ok()) {
            err << c.status().error() << "\n";
            return 1;
        }
        if (db::Status s = db::GenerateDemoData(c, size); !s) {
            err << s.error() << "\n";
            return 1;
        }
    }
    if (file != target) {
        if (db::Status s = copyIntoLayout(file, target, int(version)); !s) {
            err << s.error() << "\n";
            return 1;
        }
        db::RemoveDatabaseFile(file);
    }
    QTextStream(stdout) << "created " << target << ": " << size.discs << " discs, " << size.customers
                        << " customers, " << size.rentals << " rentals, " << size.coverPercent << "% covers in "
                        << t.elapsed() << " ms\n";
    return 0;
}
