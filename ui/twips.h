#pragma once

namespace ui {

// Layout sizes are given in twips; the screen uses 15 twips per pixel.
constexpr int twips(int t) { return t / 15; }

} // namespace ui
