#pragma once
#include <QString>
#include <QStringList>

namespace startup {

// What the command line asks for. Every option lives in app/commandline.cpp; a new one is
// declared there and given an action here.
struct CommandLine
{
    enum class Action {
        Run,     // no option: start the program
        Check,   // --check [FILE], or the server shop of --server
        CopyShop, // --copy-shop FROM TO
        Help,    // -h, --help
        Version, // -v, --version
        Refused, // an unknown option or a stray argument
    };
    Action action = Action::Run;
    QString file;  // Check: the file named, empty for db.sqlite beside the program
    QString server; // --server: the connection text of a server shop (never a password)
    QString from, to; // CopyShop: each a file or a server's connection text (it holds "dbname=")
    QString error; // Refused: why
};

// Reads the arguments (the program's name first) without any window toolkit, so nothing
// that only prints needs a display. The toolkit's own options (-platform, -style, ...) are
// let through to it.
CommandLine ReadCommandLine(const QStringList &arguments);

// Prints the help, the version or the refusal with the usage; the exit code (0 for help and
// version, 2 for a refusal). Needs the core application object, for the program's name.
int PrintForCommandLine(const CommandLine &line);

} // namespace startup
