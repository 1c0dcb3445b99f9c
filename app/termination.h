#pragma once

namespace startup {

// Ends the program cleanly on SIGTERM (a logout or a supervisor stopping it): the open
// windows are closed, the scratch folder is emptied and the exit code is 0.
void handleTermination();
bool terminationRequested();

} // namespace startup
