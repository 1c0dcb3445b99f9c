// Builds a shop database of a given size for benchmarks:
//   lanlan_makeshop --out FILE --discs N --customers M --rentals K [--covers PERCENT] [--seed S]
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include "data/connection.h"
#include "data/demodata.h"
#include "data/schema.h"

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
    p.addOptions({out, discs, customers, rentals, covers, seed, force});
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

    const QString file = p.value(out);
    if (p.isSet(force))
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
    QTextStream(stdout) << "created " << file << ": " << size.discs << " discs, " << size.customers
                        << " customers, " << size.rentals << " rentals, " << size.coverPercent << "% covers in "
                        << t.elapsed() << " ms\n";
    return 0;
}
