#include "ui/reloadflag.h"

namespace ui {
namespace {
bool g_reload = false;
}

bool ReloadFlag::isSet() { return g_reload; }
void ReloadFlag::set() { g_reload = true; }
void ReloadFlag::clear() { g_reload = false; }

} // namespace ui
