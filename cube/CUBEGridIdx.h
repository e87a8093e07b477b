#pragma once
// Position and shape of one grid of a CUBE surface: the key of the edit and
// read caches (ordered by row, then column) and of the query iterators.
// Known to callers as KIVOSurfaceCUBEIO::_cubeGridIdx.
#include "platform/core/KIVOExport.h"
#include <cstdint>

#include "platform/core/NORVAnBox.h"

class KIVO_EXPORT CUBEGridIdx {
public:
    static constexpr uint16_t kInvalid = 65535;

    CUBEGridIdx();
    CUBEGridIdx(uint16_t row, uint16_t column, uint32_t rowOffset, uint32_t colOffset, uint32_t rows,
                uint32_t columns, double left, double top, float spacingX, float spacingY);

    bool operator<(const CUBEGridIdx& o) const { return row != o.row ? row < o.row : column < o.column; }
    bool operator==(const CUBEGridIdx& o) const { return row == o.row && column == o.column; }
    bool operator!=(const CUBEGridIdx& o) const { return !(*this == o); }
    bool isValid() const { return row < kInvalid && column < kInvalid; }

    // Position box (west, south) .. (east, north); false for an invalid key.
    bool getCover(NORVAnBox<double, 2>& box) const;
    // Node index box (first column, first row) .. (end column, end row).
    bool getCover(NORVAnBox<int64_t, 2>& box) const;

    uint16_t row;         // counted from the north edge
    uint16_t column;      // counted from the west edge
    uint32_t colOffset;   // first node column in the surface
    uint32_t rowOffset;   // first node row in the surface
    uint32_t columns;     // width in nodes
    uint32_t rows;        // height in nodes
    float spacingX;
    float spacingY;
    double left;          // x of the west edge
    double top;           // y of the north edge
};
