#include "core/KIVOAttributePointIter.h"

// Out of line so the class's type information lives in this library.
KIVOAttributePointIter::~KIVOAttributePointIter() = default;
