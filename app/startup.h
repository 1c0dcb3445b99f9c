#pragma once
#include <QString>

namespace startup {

// Where this run's shop lives: the server shop of --server when given, else the one kept in
// the settings, else the file beside the program.
void ChooseShop(const QString &serverText);

enum class Outcome {
    Running,   // the first window is open
    Cancelled, // the shop keeper chose not to go on
    Failed,    // the program cannot run; the reason has been shown
};

// Prepares the program folder (database files, scratch folder), opens a server shop when one
// is chosen (asking for its password when ~/.pgpass has none) and opens the first window.
Outcome start();

enum class Restore {
    NotNeeded, // db.sqlite opens, or there is no good backup to offer
    Restored,  // a backup took the place of the damaged or missing file
    Declined,  // the shop keeper chose not to restore
    Failed,    // the restore could not be done; the reason has been shown
};

// Before anything else reads it: when db.sqlite is damaged or gone and a good backup of it
// exists, offers to put the newest good one in its place. The damaged file is kept under
// another name, never deleted.
Restore offerRestore();

} // namespace startup
