#include "core/KIVODesignatedSoundingSource.h"

#include "core/KIVODesignatedRTreeEntry.h"
#include "core/KIVOSurface.h"

namespace {
const int32_t kNoFlag = 0;

uintptr_t referenceOf(const KIVODesignatedRTreeEntry* entry) { return reinterpret_cast<uintptr_t>(entry); }
}  // namespace

KIVODesignatedSoundingSource::KIVODesignatedSoundingSource(const KIVOSurface& surface, Tree& tree, const Box& cover)
    : NORVASoundingSource(surface.getCoordSystem()), m_tree(&tree), m_cover(cover) {}

KIVODesignatedSoundingSource::KIVODesignatedSoundingSource(const KIVODesignatedSoundingSource& o)
    : NORVASoundingSource(o), m_tree(o.m_tree), m_cover(o.m_cover) {}

NORVAType<ORTIN_3_12_0::NORVASoundingSource> KIVODesignatedSoundingSource::newCopy() const {
    return NORVAType<NORVASoundingSource>(new KIVODesignatedSoundingSource(*this));
}

// Leaves of another kind, should the host mix them into the tree, are not
// designated soundings and are passed over.
std::vector<const KIVODesignatedRTreeEntry*> KIVODesignatedSoundingSource::entriesIn(const Box& box) const {
    std::vector<Tree::Leaf*> leaves;
    m_tree->search(box, leaves);
    std::vector<const KIVODesignatedRTreeEntry*> entries;
    entries.reserve(leaves.size());
    for (const Tree::Leaf* leaf : leaves)
        if (const auto* entry = dynamic_cast<const KIVODesignatedRTreeEntry*>(leaf)) entries.push_back(entry);
    return entries;
}

unsigned long KIVODesignatedSoundingSource::getSoundingCount(const Box& box, long& status) const {
    status = 0;
    return static_cast<unsigned long>(entriesIn(box).size());
}

long KIVODesignatedSoundingSource::getSoundings(const unsigned long& group, const Box& box, SoundingSet& set) {
    size_t k = 0;
    for (const KIVODesignatedRTreeEntry* entry : entriesIn(box)) {
        const NORVAPoint3D& p = entry->getPosition();
        if (set.setSounding(k, p.x(), p.y(), entry->getDepth(), referenceOf(entry), kNoFlag) == 0) ++k;
    }
    return 0;
}

long KIVODesignatedSoundingSource::getSoundings(const unsigned long& group, const Box& box,
                                                std::vector<SoundingStruct>& soundings) {
    for (const KIVODesignatedRTreeEntry* entry : entriesIn(box)) {
        const NORVAPoint3D& p = entry->getPosition();
        SoundingStruct s;
        s.x = p.x();
        s.y = p.y();
        s.z = entry->getDepth();
        s.reference = referenceOf(entry);
        s.flag = kNoFlag;
        soundings.push_back(s);
    }
    return 0;
}
