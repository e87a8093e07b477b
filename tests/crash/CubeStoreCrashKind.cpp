// A CUBE surface of 2 x 2 grids of 5 x 5 nodes stored again and again: every
// grid stays in the edit cache until the store.
#include "CubeStoreCrashKind.h"

namespace {

class CubeStoreCrashKind : public CubeStoreCrashKindOf {
public:
    CubeStoreCrashKind() : CubeStoreCrashKindOf("cube-store", 2, 5) {}
};

}  // namespace

KIVO_CRASH_KIND(CubeStoreCrashKind);
