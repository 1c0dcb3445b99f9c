#pragma once
#include "ui/underlinedfield.h"

namespace rental {

// The customer's five fields (姓名, 身份证, 办证, 押金, 备注; index 0, 1, 26, 39, 40) as the
// rental window lays them out. The status window shows the same fields in the same places:
// its frame sits at (frameLeft, frameTop) twips in the window, so the field is moved back
// by that much within it.
ui::UnderlinedField CustomerField(int index, int frameLeft = 0, int frameTop = 0);

} // namespace rental
