#include "platform/kestrin/NORVAKestrinMortonKey.h"

#include <cmath>

namespace {

uint32_t cell(double v, double origin, double resolution) {
    if (!(resolution > 0.0)) return 0;
    const double c = std::floor((v - origin) / resolution);
    if (!(c >= 0.0)) return 0;  // NaN too
    return c >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(c);
}

uint64_t spread(uint32_t v) {
    uint64_t x = v;
    x = (x | (x << 16)) & 0x0000FFFF0000FFFFull;
    x = (x | (x << 8)) & 0x00FF00FF00FF00FFull;
    x = (x | (x << 4)) & 0x0F0F0F0F0F0F0F0Full;
    x = (x | (x << 2)) & 0x3333333333333333ull;
    x = (x | (x << 1)) & 0x5555555555555555ull;
    return x;
}

}  // namespace

NORVAKestrinMortonKey NORVAKestrinMortonKey::fromPosition(double x, double y, double originX, double originY,
                                                          double resolution) {
    return NORVAKestrinMortonKey(spread(cell(x, originX, resolution)) |
                                 (spread(cell(y, originY, resolution)) << 1));
}
