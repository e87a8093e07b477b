#pragma once
// The node iterator of a tile-store surface: the stored points in the box
// first, then the pending new nodes in it. A point query with the create
// flag serves one node: the nearest node, stored or pending, closer than one
// spacing along both axes (a stored one when both are as near), else a new
// node made there. Each stored point is served through a write-through
// attribute set, each new node through its own pending values. The data-IO
// must outlive the iterator.
#include <vector>

#include "multires/KIVOKestrinAttributeSet.h"
#include "multires/KIVOKestrinDataIO.h"
#include "platform/core/KIVOExport.h"
#include "platform/frame/KIVOSurfaceIter.h"
#include "platform/kestrin/NORVAKestrinDataPointIterator.h"

class KIVO_EXPORT KIVOKestrinIter : public KIVOSurfaceIter {
public:
    KIVOKestrinIter(double x0, double y0, double x1, double y1, KIVOKestrinDataIO& dataIO, bool create,
                    NORVAProgress* progress);

    // True once past the last node; the status is the failure that ended
    // the iteration early (a points file locked elsewhere, say), else 0.
    bool done(long& status) const override;
    bool next(long& status) override;
    KIVOAttributeSet* getAttributes() override;
    // -1 when done (or the stored point is missing); 0 otherwise.
    long getPosition(double& x, double& y, const long& index) const override;
    long count() const override { return 0; }
    const KIVODescriptor& getAttributeDescriptor() const override;
    long setAttributes(const KIVOAttributeSet&) override { return 0; }

private:
    long initialise(double x0, double y0, double x1, double y1);
    // The one node a create query at (x, y) is served, standing on it.
    long initialiseCreate(NORVAKestrinDataIO& io, double x, double y);
    long standOnFirst();
    bool storeAtEnd() const { return !m_points || m_points->isAtEnd(); }
    bool leavesValid() const { return m_generation == m_dataIO.getNodeTreeGeneration(); }
    void standOnStoredPoint();
    // Ends the iteration when the store could not serve its points.
    bool storeFailed();
    bool standOnLeaf();
    const KestrinRTreeEntry* currentLeaf() const;

    KIVOKestrinDataIO& m_dataIO;
    std::unique_ptr<KIVOKestrinAttributeSet> m_storedSet;
    KIVOAttributeSet* m_current = nullptr;
    NORVAType<NORVAKestrinDataPointIterator> m_points;
    bool m_create;
    bool m_firstNewNode = true;
    bool m_single = false;  // one node only: that of a create query
    std::vector<KIVOKestrinDataIO::NodeTree::Leaf*> m_leaves;
    size_t m_cursor = 0;
    uint64_t m_generation = 0;
    NORVAProgress* m_progress;
};
