#pragma once
#include <functional>

#include "data/store/progress.h"

namespace ui {

class ProgressDialog;

// Runs work on a thread of its own while `dialog` shows what it reports, so that work
// spending seconds in one statement (the integrity check of a large file) leaves no
// window frozen. The work opens its own connections; a stop asked for in the dialog is
// answered by the work's next advance. Returns once the work has ended.
void RunInBackground(ProgressDialog &dialog, const std::function<void(db::Progress &)> &work);

} // namespace ui
