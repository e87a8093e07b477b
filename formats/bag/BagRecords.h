#pragma once
// The records of the BAG access library that the BAG classes keep: the grid
// definition read from the ISO metadata and a rectangle of one grid read into
// memory. The library's functions and its open-file handle (BagHandle.h) stay
// inside the library.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Vertical uncertainty kinds named in the metadata.
enum bagVerticalUncertainty : int32_t {
    BAG_UNCERT_ABSENT = 0,
    BAG_UNCERT_RAW_STD_DEV = 1,
    BAG_UNCERT_CUBE_STD_DEV = 2,
    BAG_UNCERT_PRODUCT = 3,
    BAG_UNCERT_HISTORICAL_STD_DEV = 4
};

// The grid definition taken from the ISO metadata.
struct bagDefinition {
    bool loaded = false;
    uint32_t nrows = 0, ncols = 0;
    double nodeSpacingX = 0.0, nodeSpacingY = 0.0;
    double swCornerX = 0.0, swCornerY = 0.0, neCornerX = 0.0, neCornerY = 0.0;
    int32_t coordSys = -1;
    int32_t datum = -1;
    double latitudeOfProjectionOrigin = 0.0;
    double longitudeOfCentralMeridian = 0.0;
    double standardParallel = 0.0;
    double latitudeOfProjectionCentre = 0.0;
    double falseEasting = 0.0;
    double falseNorthing = 0.0;
    double straightVerticalLongitudeFromPole = 0.0;
    int32_t zone = 0;
    double scaleFactor = 0.0;
    int32_t verticalUncertType = BAG_UNCERT_ABSENT;
};

// A rectangle of one grid read into memory: rows[r][c] is node
// (startRow + r, startCol + c). A new read reuses the block's storage.
struct bagRegion {
    std::unique_ptr<float[]> block;
    size_t capacity = 0;  // floats the block holds
    std::vector<float*> rows;
    uint32_t startRow = 0, startCol = 0;
    uint32_t nrows = 0, ncols = 0;
};

// One open BAG file; the classes hold it by pointer and only the library
// reaches inside.
struct bagHandle;
