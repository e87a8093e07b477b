#pragma once
// The designated soundings of a tile-store surface for the framework. Over
// any other data-IO, or one without a store, it is done at once. The
// data-IO must outlive the iterator.
#include "platform/core/KIVOExport.h"
#include <memory>

#include "multires/KestrinDesignatedIter.h"
#include "platform/frame/KIVODesignatedIter.h"

class KIVOSurfaceDataIO;

class KIVO_EXPORT KestrinDesignatedNodeIter : public KIVODesignatedIter {
public:
    explicit KestrinDesignatedNodeIter(KIVOSurfaceDataIO& dataIO);
    ~KestrinDesignatedNodeIter() override;

    bool done(long& status) const override;
    bool next(long& status) override;
    const KIVOSurfaceDataIO* getDataIO() const override { return m_dataIO; }
    // -1 without a current sounding.
    long getPosition(double& x, double& y) const override;
    // The sounding is the node: its depth is the stored "Depth".
    double getDepth(long& status) const override { return getOriginalDepth(status); }
    // The stored "Depth" of the current sounding; -1 and the largest double
    // when the store has no "Depth".
    double getOriginalDepth(long& status) const override;
    DESIGNATED_TYPE getType(long& status) const override;
    // The mark lives in the store's "Status": nothing is registered or added.
    long registerDesignated(double, double, double, DESIGNATED_TYPE) override { return 0; }
    long addDesignated(double, double, const KIVOAttributeSet&, const KIVODescriptor&, double,
                       DESIGNATED_TYPE) override {
        return 0;
    }

    // Null over a data-IO that is not a tile store's.
    const KestrinDesignatedIter* getInner() const { return m_inner.get(); }

private:
    static constexpr long kNotLookedUp = -2;

    const KIVOSurfaceDataIO* m_dataIO;
    std::unique_ptr<KestrinDesignatedIter> m_inner;
    mutable long m_depthIndex = kNotLookedUp;
};
