#pragma once
// A predicate over the attributes of one node. Its status word tells whether
// it is usable (0).
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAObject.h"
#include "platform/core/NORVAType.h"
#include "platform/frame/KIVOAttributeSet.h"

class KIVO_EXPORT KIVOAttributeFilter : public NORVAObject {
public:
    virtual bool passes(const KIVOAttributeSet* attributes) const = 0;
    virtual NORVAType<KIVOAttributeFilter> newCopy() const = 0;
};
