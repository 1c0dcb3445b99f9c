#pragma once

namespace ui {

// One flag for every list window: a change to what lists show sets it, and the first
// list window that becomes active reloads its page and clears it.
class ReloadFlag
{
public:
    static bool isSet();
    static void set();
    static void clear();
};

} // namespace ui
