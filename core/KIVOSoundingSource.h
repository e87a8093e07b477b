#pragma once
// Serves the nodes of a surface, and optionally its designated soundings, to
// the 3D terrain tools: each node with a value of the active attribute
// becomes a sounding at the node's position with that value as depth. An
// attribute expression can filter nodes and soundings; rejected nodes and
// soundings (negative "Status") are never served. Without designated
// soundings there is one group (0, the nodes); with them two (0 the
// designated soundings, 1 the nodes). The host keeps the surface alive while
// the source exists.
#include "platform/core/KIVOExport.h"
#include <memory>
#include <vector>

#include "core/KIVOAttributeInterface.h"
#include "platform/exprkit/ExpressionEvaluator.h"
#include "platform/shapes/NORVACover.h"
#include "platform/terrain3d/NORVASoundingSource.h"

class KIVOSurface;
class KIVOSurfaceIter;
class KIVODesignatedIter;

class KIVO_EXPORT KIVOSoundingSource : public ORTIN_3_12_0::NORVASoundingSource {
public:
    using SoundingSet = ORTIN_3_12_0::NORVASuppressedSoundings::SoundingSet;

    // An active attribute the surface lacks makes the first attribute the
    // active one. A cover is kept in the surface's coordinate system; one
    // that cannot be brought there leaves no cover and its status as the
    // source's status word.
    KIVOSoundingSource(KIVOSurface& surface, const NORVAUString& activeAttribute, bool includeDesignated,
                       const NORVACover* cover);
    // A full copy; the filter compiles again when first used.
    KIVOSoundingSource(const KIVOSoundingSource& o);
    ~KIVOSoundingSource() override;

    const NORVAUString& getActiveAttribute() const { return m_activeName; }
    long getActiveIndex() const { return m_activeIndex; }
    KIVOSurface& getSurface() const { return *m_surface; }
    // Empty means no filter. A changed expression is compiled on next use.
    void setFilterExpression(const NORVAUString& expression);
    const NORVAUString& getFilterExpression() const { return m_filterExpression; }
    void setIncludeDesignated(bool include) { m_includeDesignated = include; }
    bool getIncludeDesignated() const { return m_includeDesignated; }
    void setExactCountFlag(bool exact) { m_exactCount = exact; }
    bool getExactCountFlag() const { return m_exactCount; }
    // Appends the index of each name the surface has; other names are skipped.
    void setExtraAtts(const std::vector<NORVAUString>& names);
    const std::vector<long>& getExtraIndices() const { return m_extraIndices; }

    // The exact number of nodes with a value of the active attribute inside
    // the box, or (the default) an estimate from the surface's resolution.
    unsigned long getSoundingCount(const Box& box, long& status) const override;
    long getSoundings(const unsigned long& group, const Box& box, SoundingSet& set) override;
    // The soundings of one group with the values of the extra attributes, in
    // user units. Replaces the vector's content, unless the filter does not
    // compile.
    long getSoundings(const unsigned long& group, const Box& box, std::vector<SoundingWithAttsStruct>& soundings);
    // The surface's extent, cut to the cover when there is one.
    Box getCover() const override;
    unsigned long getNumSoundingGroups() const override { return m_includeDesignated ? 2 : 1; }
    NORVAType<NORVASoundingSource> newCopy() const override;

private:
    enum Group { DESIGNATED_GROUP, NODE_GROUP, NO_GROUP };
    class SoundingSink;
    class SetSink;
    class VectorSink;

    // (width / x resolution + 1) x (height / y resolution + 1) for the box,
    // saturating; 0 when the surface reports no usable resolution.
    unsigned long estimateCount(const Box& box) const;
    const KIVODescriptor* getDescriptor() const;
    long indexOf(const NORVAUString& name) const;
    Group groupOf(unsigned long group) const;
    long compileFilter();
    void dropFilter();
    bool passesFilter(const KIVOAttributeSet* attributes);
    void takeFromBudget(unsigned long estimate) const;
    long serveDesignated(long statusIndex, const Box& box, SoundingSink& sink);
    long serveNodes(long statusIndex, KIVOSurfaceIter& iter, SoundingSink& sink);
    NORVAType<KIVOSurfaceIter> queryNodes(const Box& box, long& status) const;

    KIVOSurface* m_surface;
    NORVAUString m_activeName;
    long m_activeIndex = 0;
    std::vector<long> m_extraIndices;
    std::unique_ptr<NORVAExpression::KIVOAttributeInterface> m_attributes;
    std::unique_ptr<NORVAExpression::ExpressionEvaluator> m_evaluator;
    NORVAUString m_filterExpression;
    bool m_includeDesignated = false;
    NORVAType<NORVACover> m_cover;
    bool m_exactCount = false;
};
