#pragma once
// The records in which sounding sources hand soundings to the 3D terrain
// tools. A reference word is pointer-sized: sources put either their group
// number or the address of the object a sounding came from into it, and an
// address must survive the round trip on every platform.
#include <cfloat>
#include <cstdint>
#include <vector>

#include "platform/polyops/NORVAVector3D.h"

namespace ORTIN_3_12_0 {

// One sounding of a suppressed-sounding set, in the set's disk units.
struct SoundingRecord {
    int32_t x = 0;
    int32_t y = 0;
    int32_t z = 0;
    uint32_t reserved = 0;
    uintptr_t reference = 0;
    int32_t flag = 0;
};

// One sounding in user units.
struct SoundingStruct {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    uintptr_t reference = 0;
    int32_t flag = 0;
};

// One sounding with the value of the active attribute as z and the values of
// further attributes. `originalDepth` is the depth a designated sounding
// replaced; the largest double when there is none (every node).
struct SoundingWithAttsStruct {
    NORVACompGeom::NORVAVector3D position;
    double originalDepth = DBL_MAX;
    std::vector<double> extra;
};

}  // namespace ORTIN_3_12_0
