#pragma once

namespace startup {

enum class Outcome {
    Running,   // the first window is open
    Cancelled, // the shop keeper chose not to go on
    Failed,    // the program cannot run; the reason has been shown
};

// Prepares the program folder (database files, scratch folder) and opens the first window.
Outcome start();

} // namespace startup
