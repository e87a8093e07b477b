#pragma once
// The per-sounding work of building or updating a surface. Each operation
// returns 0 to go on; any other value is a status that stops the loop.
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAObject.h"
#include "platform/frame/KIVOPointIter.h"

class KIVO_EXPORT KIVOFieldGenerator : public NORVAObject {
public:
    KIVOFieldGenerator() = default;
    KIVOFieldGenerator(const KIVOFieldGenerator& o) = default;
    KIVOFieldGenerator& operator=(const KIVOFieldGenerator& o) = default;
    ~KIVOFieldGenerator() override;

    // Once before the first sounding.
    virtual long init() = 0;
    // Once per sounding, with the iterator positioned on it.
    virtual long generate(const KIVOPointIter& soundings) = 0;
    // Once after the last sounding.
    virtual long finish() = 0;
};
