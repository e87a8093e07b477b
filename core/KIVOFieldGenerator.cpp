#include "core/KIVOFieldGenerator.h"

// Out of line so the class's type information lives in this library.
KIVOFieldGenerator::~KIVOFieldGenerator() = default;
