#pragma once
// Skips the nodes of a node iterator whose attributes a filter does not pass.
// The filter is copied, so the iterator never outlives the caller's filter.
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAType.h"
#include "platform/frame/KIVOAttributeFilter.h"
#include "platform/frame/KIVOSelectingSurfaceIter.h"

class KIVO_EXPORT KIVOSurfaceFilteredIter : public KIVOSelectingSurfaceIter {
public:
    KIVOSurfaceFilteredIter(NORVAType<KIVOSurfaceIter> iter, const KIVOAttributeFilter& filter);

protected:
    // Without a filter copy every node passes.
    bool selects() const override;

private:
    NORVAType<KIVOAttributeFilter> m_filter;
};
