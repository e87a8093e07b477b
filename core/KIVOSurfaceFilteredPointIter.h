#pragma once
// Serves the soundings of an inner point iterator whose nodes an attribute
// filter passes. Without a usable inner iterator it is done at once and
// every getter answers -1 or null. A failure of the inner iterator ends the
// walk, and `done` reports it from then on.
#include "platform/core/KIVOExport.h"
#include "core/KIVOSurfacePointIter.h"
#include "platform/frame/KIVOAttributeFilter.h"

class KIVO_EXPORT KIVOSurfaceFilteredPointIter : public KIVOSurfacePointIter {
public:
    // Takes the inner iterator and the filter over; no filter passes all.
    KIVOSurfaceFilteredPointIter(KIVOSurface& surface, NORVAType<KIVOSurfacePointIter> inner,
                                 NORVAType<KIVOAttributeFilter> filter);

    bool done(long& status) const override;
    bool next(long& status) override;
    long getPosition(double& x, double& y) const override;
    const NORVACoordSystem* getCoordSystem() const override;
    void getAvailable(std::vector<NORVAUString>& names) const override;
    DATA_TYPE getType(long index) const override;
    long get(long index, NORVAUString& value) const override;
    long get(long index, long& value) const override;
    long get(long index, double& value) const override;
    long count() const override;
    bool indexOf(const NORVAUString& name, long& index, DATA_TYPE& type) const override;
    KIVOAttributeSet* getAttributes() const override;
    const KIVODescriptor* getDescriptor() const override;
    long getAttributeNames(std::vector<NORVAUString>& names) const override;

private:
    void skipRejected(long& status);

    NORVAType<KIVOAttributeFilter> m_filter;
    NORVAType<KIVOSurfacePointIter> m_inner;
    long m_failure = 0;  // the inner iterator's failure that ended the walk
};
