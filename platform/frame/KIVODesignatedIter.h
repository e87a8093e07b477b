#pragma once
// Iterator over the designated soundings of a surface.
#include "platform/core/KIVOExport.h"
#include "platform/frame/KIVOAttributeSet.h"
#include "platform/frame/KIVODescriptor.h"
#include "platform/frame/KIVOIter.h"

class KIVOSurfaceDataIO;

class KIVO_EXPORT KIVODesignatedIter : public KIVOIter {
public:
    enum DESIGNATED_TYPE : int32_t { NOT_DESIGNATED = 0, DESIGNATED = 1, OUTSTANDING = 2 };

    virtual bool next(long& status) = 0;
    virtual const KIVOSurfaceDataIO* getDataIO() const = 0;
    virtual long getPosition(double& x, double& y) const = 0;
    virtual double getDepth(long& status) const = 0;
    // The depth before the sounding was designated; the largest double when none.
    virtual double getOriginalDepth(long& status) const = 0;
    virtual DESIGNATED_TYPE getType(long& status) const = 0;
    virtual long registerDesignated(double x, double y, double depth, DESIGNATED_TYPE type) = 0;
    virtual long addDesignated(double x, double y, const KIVOAttributeSet& attributes,
                               const KIVODescriptor& descriptor, double depth, DESIGNATED_TYPE type) = 0;
    // The attributes of the current sounding, owned by the iterator; null
    // with a non-zero status when the iterator keeps none.
    virtual const KIVOAttributeSet* get(long& status) const {
        status = -1;
        return nullptr;
    }
};
