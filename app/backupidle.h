#pragma once

// The copies of the data files, taken while the counter is quiet, so the exit only
// finishes what is left.
class QWidget;

namespace backups {

// After this long without a key or a click, and at most every few minutes, the data files
// changed since their last copy are copied on a thread of their own.
constexpr int kQuietMs = 30000;
constexpr int kBetweenCopiesMs = 5 * 60000;
// What the exit may spend on the copy of what changed since; a copy it cannot finish in
// time is left undone, and the earlier one stands.
constexpr int kExitBudgetMs = 2500;

void StartQuietCopies();
// No quiet copy starts while this window is shown (the restore window reads the copies),
// nor while a modal dialog is up.
void HoldQuietCopiesWhileShown(QWidget *window);
// Stops a copy under way and waits for it (a step at most): before a copy or a restore
// from the menu, and at the exit.
void StopQuietCopy();
// At a clean exit: a copy of each data file changed since its last copy, within the budget,
// its check left to the next quiet moment. A shop on a server is not copied by the program.
void CopyAtExit();

} // namespace backups
