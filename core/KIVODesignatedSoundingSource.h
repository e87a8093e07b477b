#pragma once
// Serves designated soundings held in an R-tree of KIVODesignatedRTreeEntry
// leaves to the 3D terrain tools. The host owns the tree and keeps it (and
// the surfaces its entries refer to) alive while the source exists. The
// reference word of each sounding is the address of its entry.
#include "platform/core/KIVOExport.h"
#include <vector>

#include "platform/polyops/NORVARTree.h"
#include "platform/terrain3d/NORVASoundingSource.h"

class KIVOSurface;
class KIVODesignatedRTreeEntry;

class KIVO_EXPORT KIVODesignatedSoundingSource : public ORTIN_3_12_0::NORVASoundingSource {
public:
    using Tree = NORVARTree<double, 2>;
    using SoundingSet = ORTIN_3_12_0::NORVASuppressedSoundings::SoundingSet;

    // The surface gives the coordinate system.
    KIVODesignatedSoundingSource(const KIVOSurface& surface, Tree& tree, const Box& cover);
    KIVODesignatedSoundingSource(const KIVODesignatedSoundingSource& o);

    // The number of entries inside the box, edges included. Status 0.
    unsigned long getSoundingCount(const Box& box, long& status) const override;
    // Every entry inside the box, in tree order; the group is not consulted.
    long getSoundings(const unsigned long& group, const Box& box, SoundingSet& set) override;
    Box getCover() const override { return m_cover; }
    NORVAType<NORVASoundingSource> newCopy() const override;
    // Appends every entry inside the box in user units.
    virtual long getSoundings(const unsigned long& group, const Box& box, std::vector<SoundingStruct>& soundings);

    Tree& getRTree() const { return *m_tree; }

private:
    std::vector<const KIVODesignatedRTreeEntry*> entriesIn(const Box& box) const;

    Tree* m_tree;
    Box m_cover;
};
