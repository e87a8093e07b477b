#pragma once
// Field generator that writes soundings into the nodes of an existing
// surface by a comparison rule: an empty node is filled, a set node has its
// depth replaced when the sounding passes the operator's test, and the
// node's shoal, deep, count, sum and standard deviation follow every
// sounding whatever the test says. The surface must outlive the tool.
#include "platform/core/KIVOExport.h"
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "core/KIVOFieldGenerator.h"
#include "platform/core/NORVAArray.h"
#include "platform/core/NORVAType.h"
#include "platform/frame/KIVODesignatedIter.h"

class KIVOSurface;
class KIVOAttributeSet;
class KIVODescriptor;
class KIVOGriddedAttributeSet;
class KIVOGriddedDataIO;
class KIVOSurfaceDataIO;

class KIVO_EXPORT KIVOReplaceTool : public KIVOFieldGenerator {
public:
    enum ReplaceOperator : int32_t { ALL = 0, LT = 1, GT = 2, EQUAL = 3, LT_EQ = 4, GT_EQ = 5 };

    // The names of the depth, uncertainty, density, shoal, deep, mean,
    // standard deviation and true-position attributes, in that order; an
    // attribute the surface lacks is simply not written.
    KIVOReplaceTool(KIVOSurface& surface, const NORVAUString& depth, const NORVAUString& uncertainty,
                    const NORVAUString& density, const NORVAUString& shoal, const NORVAUString& deep,
                    const NORVAUString& mean, const NORVAUString& stdDev, const NORVAUString& depthTrueX,
                    const NORVAUString& depthTrueY, const NORVAUString& shoalTrueX, const NORVAUString& shoalTrueY,
                    const NORVAUString& deepTrueX, const NORVAUString& deepTrueY, bool designated);
    ~KIVOReplaceTool() override;

    // What became of the soundings handed to `generate`.
    struct Tally {
        long placed = 0;   // reached a node, whether or not it replaced its depth
        long noDepth = 0;  // no readable depth or position
        long outside = 0;  // beyond the surface's extent
        long noNode = 0;   // within the extent, yet the surface served no node for it
    };

    long init() override { return 0; }
    // A sounding without a depth, or outside the surface, is skipped and
    // counted in the tally.
    long generate(const KIVOPointIter& soundings) override;
    long finish() override { return 0; }

    long setOperator(const ReplaceOperator& op);
    const ReplaceOperator& getOperator() const { return m_operator; }
    // True once any node was filled or replaced.
    bool hasReplaced() const { return m_replaced; }
    const Tally& getTally() const { return m_tally; }

    // The tolerance of the equality-based operators.
    static constexpr double kTolerance = 1e-10;

private:
    struct Sounding {
        double x = 0.0, y = 0.0;
        float depth = 0.0f;
        float verticalError = 0.0f;
    };
    // A gridded surface written without a query per sounding: the surface
    // itself, or a member of a compound one with the selector range it takes.
    struct GriddedTarget {
        KIVOGriddedDataIO* grid = nullptr;
        double low = 0.0, high = 0.0;
        std::unique_ptr<KIVOGriddedAttributeSet> node;
    };

    void findGriddedTargets();
    KIVOGriddedAttributeSet* griddedNode(const Sounding& s, const KIVODescriptor*& descriptor);
    // The node operations take the attribute set's own type, so that a
    // gridded node is read and written without virtual calls.
    template <class Node>
    long place(const KIVOPointIter& soundings, const Sounding& s, Node& node, const KIVODescriptor& descriptor);

    long createAttributeMap(const KIVOPointIter& soundings);
    long addAdditionalAttributes(const KIVOPointIter& soundings, KIVOAttributeSet& node);
    bool readSounding(const KIVOPointIter& soundings, Sounding& s);
    void countUnplaced(const Sounding& s);
    bool passes(float d, double nodeDepth) const;
    // Each keeps the first write the node refuses in `failed`.
    template <class Node> void fill(Node& node, const Sounding& s, long& failed) const;
    template <class Node> void replace(Node& node, const Sounding& s, long& failed) const;
    template <class Node> void updateStatistics(Node& node, const Sounding& s, long& failed) const;
    template <class Node> void updateCount(Node& node, float d, long& failed) const;
    template <class Node>
    void setPosition(Node& node, long xIndex, long yIndex, const Sounding& s, long& failed) const;
    void markReplaced(const Sounding& s, KIVOAttributeSet& node, const KIVODescriptor& descriptor,
                      double nodeDepth);

    KIVOSurface& m_surface;
    bool m_replaced = false;
    long m_depth = -1, m_uncertainty = -1, m_weight = -1, m_density = -1, m_shoal = -1, m_stdDev = -1,
         m_deep = -1, m_mean = -1, m_depthTrueX = -1, m_depthTrueY = -1, m_shoalTrueX = -1, m_shoalTrueY = -1,
         m_deepTrueX = -1, m_deepTrueY = -1;
    ReplaceOperator m_operator = ALL;
    long m_verticalErrorField = -2;
    long m_depthField = -2;
    // Sounding field index -> surface attribute index (-1: not in the surface).
    std::map<long, long> m_attributeMap;
    bool m_attributeMapBuilt = false;
    NORVAArray<double> m_queryPosition;
    NORVAArray<double> m_extentMinimum, m_extentMaximum;
    Tally m_tally;
    bool m_designated = false;
    NORVAType<KIVODesignatedIter> m_designatedIter;
    std::vector<GriddedTarget> m_griddedTargets;
};
