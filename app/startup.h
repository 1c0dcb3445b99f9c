#pragma once

namespace startup {

// Prepares the program folder (database files, scratch folder) and opens the first window.
// False when the program cannot run; the reason has been shown.
bool start();

} // namespace startup
