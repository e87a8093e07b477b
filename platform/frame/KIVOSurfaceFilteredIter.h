#pragma once
// Skips the nodes of a node iterator whose attributes a filter does not pass.
// The filter is copied, so the iterator never outlives the caller's filter.
#include "platform/core/NORVAType.h"
#include "platform/frame/KIVOAttributeFilter.h"
#include "platform/frame/KIVOSurfaceIter.h"

class KIVOSurfaceFilteredIter : public KIVOSurfaceIter {
public:
    KIVOSurfaceFilteredIter(NORVAType<KIVOSurfaceIter> iter, const KIVOAttributeFilter& filter);

    bool done(long& status) const override;
    bool next(long& status) override;
    KIVOAttributeSet* getAttributes() override;
    long getPosition(double& x, double& y, const long& attribute) const override;
    long count() const override;
    const KIVODescriptor& getAttributeDescriptor() const override;
    long setAttributes(const KIVOAttributeSet& attributes) override;

private:
    void skipRejected(long& status);

    NORVAType<KIVOSurfaceIter> m_iter;
    NORVAType<KIVOAttributeFilter> m_filter;
};
