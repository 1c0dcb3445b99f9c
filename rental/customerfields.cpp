#include "rental/customerfields.h"

namespace rental {

namespace {

struct Place
{
    int index;
    const char *label;
    int left, top, width, maxLength;
};
const Place kPlaces[] = {{0, "姓名", 840, 360, 1800, 25},
                         {1, "身份证", 3660, 360, 2400, 20},
                         {26, "办证", 6780, 360, 1800, 30},
                         {39, "押金(元/RMB)", 1620, 840, 1020, 6},
                         {40, "备注", 3660, 840, 4920, 50}};

} // namespace

ui::UnderlinedField CustomerField(int index, int frameLeft, int frameTop)
{
    ui::UnderlinedField f;
    for (const Place &p : kPlaces) {
        if (p.index != index)
            continue;
        f.index = index;
        f.label = QString::fromUtf8(p.label);
        f.left = p.left - frameLeft;
        f.top = p.top - frameTop;
        f.width = p.width;
        f.maxLength = p.maxLength;
        f.minHeightTwips = 240;
        f.padding = 4;
    }
    return f;
}

} // namespace rental
