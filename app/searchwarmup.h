#pragma once

namespace startup {

// Readies the disc search index of the file in use on a thread of its own, so the clerk's
// first search of a run costs what a later one does. After the login and after the data
// switch; a warm-up still running is waited for by the next one and at exit.
void WarmSearchInBackground();
void WaitForSearchWarmUp();

} // namespace startup
