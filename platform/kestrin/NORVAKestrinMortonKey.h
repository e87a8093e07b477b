#pragma once
// The Z-order key of a point: the bits of its column and row in the store's
// grid (cover origin, horizontal resolution) interleaved, column bits first.
#include "platform/core/KIVOExport.h"
#include <cstdint>

class KIVO_EXPORT NORVAKestrinMortonKey {
public:
    NORVAKestrinMortonKey() = default;
    explicit NORVAKestrinMortonKey(uint64_t key) : m_key(key) {}
    // Positions outside the grid are pulled onto its edge.
    static NORVAKestrinMortonKey fromPosition(double x, double y, double originX, double originY,
                                              double resolution);

    uint64_t getKey() const { return m_key; }
    int getNumBytes() const { return 8; }
    bool operator==(const NORVAKestrinMortonKey& o) const { return m_key == o.m_key; }

private:
    uint64_t m_key = 0;
};
