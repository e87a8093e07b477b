// A CUBE surface of 5 x 5 grids of 20 x 20 nodes stored again and again:
// each store edits more grids than the edit cache holds, so that most of
// them leave the cache before the store commits them.
#include "CubeStoreCrashKind.h"

namespace {

class CubeManyGridsCrashKind : public CubeStoreCrashKindOf {
public:
    CubeManyGridsCrashKind() : CubeStoreCrashKindOf("cube-store-many-grids", 5, 20) {}
};

}  // namespace

KIVO_CRASH_KIND(CubeManyGridsCrashKind);
