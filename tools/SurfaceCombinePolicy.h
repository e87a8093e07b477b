#pragma once
// The building blocks with which a caller merges several source surfaces
// into one product node by node: creating the product, finding the product
// node under a source node, turning a source node into product attributes
// under the caller's conflict rule (`Supersede`), writing them, and carrying
// designated soundings into the product. The loop over sources and nodes is
// the caller's: per node `getProductIter`, `getSurfaceAtts`, then `setNode`
// when a set comes back; `BeforeStoreProductSurface` runs the same sequence
// for the designated soundings before the product is stored.
//
// Errors, exceptions and unresolvable conflicts go to overridable callbacks;
// `getSurfaceAtts` never lets an exception out.
#include <cfloat>
#include <map>
#include <memory>
#include <vector>

#include "core/KIVOSurface.h"
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAType.h"
#include "platform/core/NORVAUString.h"
#include "platform/frame/KIVOAttributeSet.h"
#include "platform/frame/KIVODesignatedIter.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOSurfaceIter.h"
#include "platform/polyops/NORVAVector2D.h"
#include "tools/KIVOCombine.h"

class KIVOGriddedAttributeSet;
class KIVOGriddedDataIO;

namespace KIVODazavazEdora {

class KIVO_EXPORT SurfaceCombinePolicy {
public:
    using Vector2D = NORVACompGeom::NORVAVector2D;
    using DesignatedType = KIVODesignatedIter::DESIGNATED_TYPE;

    struct DesignatedInfo {
        DesignatedType type = KIVODesignatedIter::NOT_DESIGNATED;
        Vector2D position;      // where the sounding lies
        double value = DBL_MAX; // the node depth before the sounding was written
    };

    // Positions within this distance in both coordinates are one node.
    static constexpr double kKeyTolerance = 0.001;
    struct PositionKeyLess {
        bool operator()(const Vector2D& a, const Vector2D& b) const;
    };
    using PositionMap = std::map<Vector2D, DesignatedInfo, PositionKeyLess>;

    // The file named in every report the policy raises.
    static const char* const kReportFile;
    // `setNode` with a product iterator on no node: the source node reached
    // no product node and is left out (as the builder's soundings that reach
    // no node). Such nodes are counted and reported before the product is stored.
    static constexpr long kSourceNodeLost = 146061;
    // Status "Status" bit that marks a designated sounding in a tile store.
    static constexpr long kDesignatedBit = 1L << 30;

    SurfaceCombinePolicy() = default;
    SurfaceCombinePolicy(const SurfaceCombinePolicy&) = default;
    SurfaceCombinePolicy& operator=(const SurfaceCombinePolicy&) = default;

    // Removes the file at the output path, creates the product with the
    // union of the sources' attributes and records the "Combine" process.
    virtual long CreateOutputSurface(Combine::Options& options, NORVAType<KIVOSurface>& product);
    // Carries the designated soundings of every source into the product.
    virtual void BeforeStoreProductSurface(KIVOSurface& product, const Combine::Options& options);
    virtual void AfterStoreProductSurface(KIVOSurface& product, const Combine::Options& options);
    virtual long OnError(const char* file, int line, long rcode, const char* message);
    virtual long OnException(const char* file, int line, const char* message);
    virtual long OnUnresolvableConflict(const char* file, int line, double x, double y, const char* message);
    // 2: the source node replaces the product node; 1 or above 2: the product
    // node stays; 0 or less: the conflict cannot be resolved.
    virtual long Supersede(KIVOSurface& product, const KIVOAttributeSet& productAttributes,
                           const Vector2D& productPosition, const NORVAUString& productContributor,
                           KIVOSurface& source, const KIVOAttributeSet& sourceAttributes,
                           const Vector2D& sourcePosition, const NORVAUString& sourceName) = 0;
    // Writes a set in the product's layout to the product iterator's node,
    // true positions transformed into the product's coordinate system. A
    // failed transform leaves the node as it was; an iterator on no node
    // gives kSourceNodeLost.
    virtual long setNode(const KIVOSurface& source, const KIVOAttributeSet& attributes, KIVOSurface& product,
                         KIVOSurfaceIter& productIter);
    // The source node in the product's layout, values divided by the source's
    // weights; none when the product node stays, the conflict cannot be
    // resolved (status from OnUnresolvableConflict) or building it failed.
    virtual std::unique_ptr<KIVOAttributeSet> getSurfaceAtts(KIVOSurface& product, KIVOSurfaceIter& productIter,
                                                             KIVOSurface& source, KIVOSurfaceIter& sourceIter,
                                                             long& status);
    // The product node under the source iterator's current node.
    virtual NORVAType<KIVOSurfaceIter> getProductIter(KIVOSurface& product, KIVOSurface& source,
                                                      KIVOSurfaceIter& sourceIter, long& status);
    // Callers derive from the policy and may delete through it.
    virtual ~SurfaceCombinePolicy();

    // Source nodes `setNode` found no product node for.
    long getNodesLost() const { return m_nodesLost; }

    const NORVAUString& getName() const { return m_name; }
    void setName(const NORVAUString& name) { m_name = name; }

protected:
    bool LoadDesignatedNodes(const KIVOSurface& surface);
    void AddDesignatedNode(const KIVOSurface& surface, const Vector2D& key, const Vector2D& position, double value,
                           DesignatedType& type);
    void RemoveDesignatedNode(const KIVOSurface& surface, const Vector2D& key);
    bool IsNodeDesignated(const KIVOSurface& surface, const Vector2D& key, DesignatedInfo& info);
    // -1 when the surface has no entry, -2 when the key is absent.
    long GetDesignatedNodeOriginalValue(const KIVOSurface& surface, const Vector2D& key, double& value);
    void addProcessMetaData(KIVOSurface& surface);

    bool isStoring() const { return m_storing; }

private:
    using AttributeMap = std::map<long, long>;

    // What the per-node steps need of one product and source, looked up on
    // their first node and kept while both data-IOs and layouts stay.
    struct SurfacePair {
        struct Copy {
            long product, source, weight;  // weight: the source's modified-attribute index
            KIVODataType::DATA_TYPE type;
        };
        const KIVOSurfaceDataIO* productIO = nullptr;
        // What the product's queries reach in the end: its data-IO, or the
        // one a plain extending wrapper forwards them to.
        KIVOSurfaceDataIO* queryIO = nullptr;
        KIVOGriddedDataIO* productGrid = nullptr;  // queryIO when it is a plain gridded one
        const KIVOSurfaceDataIO* sourceIO = nullptr;
        std::weak_ptr<KIVOSurfaceDataIO> productAlive, sourceAlive;
        const KIVODescriptor* productLayout = nullptr;
        const KIVODescriptor* sourceLayout = nullptr;  // none: the source has no attribute table
        NORVAUString sourceName;
        std::vector<Copy> copies;
        std::vector<KIVODataType::DATA_TYPE> productTypes;
        std::vector<long> trueXY;  // product attributes with both true-position companions
        std::vector<long> numbers, texts;  // product attributes by kind of value
        // The product grid's string-table entry of the blank's contributor,
        // found on the first node written: entries never move.
        mutable bool entryFound = false;
        mutable long contributorEntry = -1;
        mutable NORVAUString heldContributor;  // of the last conflict on a gridded node
        long contributor = -1, status = -1;
        bool contributorPreset = false;  // the blank already names the source
        bool tileStore = false;
        bool transforming = false;
        const PositionMap* designated = nullptr;  // the source's, when it has any
        std::unique_ptr<KIVOMemAttributeSet> blank;  // copied for every returned set
    };
    // A copied policy starts without pairs: they point into its own maps.
    struct PairCache {
        PairCache() = default;
        PairCache(const PairCache&) {}
        PairCache& operator=(const PairCache&) {
            pairs.clear();
            last = nullptr;
            return *this;
        }
        std::vector<std::unique_ptr<SurfacePair>> pairs;
        const SurfacePair* last = nullptr;  // the pair of the previous call
    };

    const AttributeMap& attributeMap(const KIVODescriptor& product, const KIVODescriptor& source,
                                     const NORVAUString& sourceName);
    // None when the product has no attribute table. Inline: every per-node
    // step asks, and nearly always for the pair of the previous call.
    const SurfacePair* pairOf(const KIVOSurface& product, const KIVOSurface& source) {
        const SurfacePair* last = m_pairs.last;
        if (last && isPair(*last, product.getDataIO(), source.getDataIO())) return last;
        return findPair(product, source);
    }
    // A data-IO still alive at the same address is the same one.
    static bool isPair(const SurfacePair& pair, const KIVOSurfaceDataIO* product, const KIVOSurfaceDataIO* source) {
        return pair.productIO == product && pair.sourceIO == source && !pair.productAlive.expired() &&
               !pair.sourceAlive.expired();
    }
    const SurfacePair* findPair(const KIVOSurface& product, const KIVOSurface& source);
    std::unique_ptr<SurfacePair> makePair(const KIVOSurface& product, const KIVOSurface& source);
    std::unique_ptr<KIVOAttributeSet> resolve(KIVOSurface& product, KIVOSurfaceIter& productIter,
                                              KIVOSurface& source, KIVOSurfaceIter& sourceIter, long& status);
    std::unique_ptr<KIVOAttributeSet> resolveDesignated(const SurfacePair& pair, KIVOSurface& product,
                                                        KIVOSurfaceIter& productIter, KIVOSurface& source,
                                                        KIVOSurfaceIter& sourceIter,
                                                        const KIVOAttributeSet& sourceNode, long& status);
    bool supersedes(const SurfacePair& pair, KIVOSurface& product, const KIVOAttributeSet& productNode,
                    const Vector2D& productPosition, KIVOSurface& source, const KIVOAttributeSet& sourceNode,
                    const Vector2D& sourcePosition, long& status);
    static std::unique_ptr<KIVOAttributeSet> sourceSet(const SurfacePair& pair, const KIVOAttributeSet& sourceNode,
                                                       bool designated);
    static void markStatus(long statusIndex, bool designated, KIVOAttributeSet& node);
    static long writeGridNode(const SurfacePair& pair, const KIVOMemAttributeSet& from, KIVOGriddedAttributeSet& node);
    long carryDesignated(KIVOSurface& product, KIVOSurface& source, const PositionMap& nodes);
    void registerDesignated(KIVOSurface& product);

    NORVAUString m_name;
    std::map<NORVAUString, PositionMap> m_designated;
    std::map<NORVAUString, AttributeMap> m_attributeMaps;
    bool m_storing = false;
    long m_nodesLost = 0;
    PairCache m_pairs;
};

}  // namespace KIVODazavazEdora
