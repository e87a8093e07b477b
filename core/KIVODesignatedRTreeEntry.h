#pragma once
// One designated sounding as a leaf of the R-tree that a designated sounding
// source searches: the surface it belongs to, its position and depth, the
// depth it replaced and its designated type. Its box is the point (x, y).
#include "platform/core/KIVOExport.h"
#include <memory>

#include "platform/core/NORVAnPoint.h"
#include "platform/frame/KIVOAttributeSet.h"
#include "platform/frame/KIVODesignatedIter.h"
#include "platform/polyops/NORVARTreeLeaf.h"

class KIVOSurfaceDataIO;
class NORVAPointGeometry;

class KIVO_EXPORT KIVODesignatedRTreeEntry : public NORVARTreeLeaf<double, 2> {
public:
    using Node = NORVARTreeNode<double, 2>;
    using DESIGNATED_TYPE = KIVODesignatedIter::DESIGNATED_TYPE;

    // The iterator's current sounding. The status word is the first non-zero
    // status of reading its position or depth; an original depth that does
    // not read is taken as none.
    explicit KIVODesignatedRTreeEntry(const KIVODesignatedIter& iter);
    // `position` is (x, y, depth); the largest double as original depth means none.
    KIVODesignatedRTreeEntry(const KIVOSurfaceDataIO& dataIO, double originalDepth, const NORVAPoint3D& position,
                             DESIGNATED_TYPE type);
    KIVODesignatedRTreeEntry(const KIVODesignatedRTreeEntry& o);
    KIVODesignatedRTreeEntry& operator=(const KIVODesignatedRTreeEntry&) = delete;
    ~KIVODesignatedRTreeEntry() override;

    NORVAType<Node> newCopy() const override;
    Box getBoundingBox() const override;
    // Coordinate d of (x, y, depth); NaN beyond it.
    double getLow(size_t d) const override;
    double getHigh(size_t d) const override;
    size_t getMemSize() const override { return 64; }
    void getId(std::string& id) const override { id.clear(); }
    // Another designated entry with the same position, depths and type.
    bool equals(const NORVARTreeLeaf<double, 2>& other) const override;

    float getDepth() const { return static_cast<float>(m_position[2]); }
    float getOriginalDepth() const { return static_cast<float>(m_originalDepth); }
    bool hasOriginalDepth() const;
    DESIGNATED_TYPE getType() const { return m_type; }
    const NORVAPoint3D& getPosition() const { return m_position; }
    const KIVOSurfaceDataIO* getDataIO() const { return m_dataIO; }
    // 0 for a usable entry.
    long getStatus() const { return m_status; }

    // A copy of the attributes of the surface's node at the sounding's
    // position; empty when the surface serves no node there.
    std::unique_ptr<KIVOAttributeSet> getAttributes();

private:
    const KIVOSurfaceDataIO* m_dataIO;
    double m_originalDepth;
    NORVAPoint3D m_position;
    DESIGNATED_TYPE m_type;
    // The geometry of the last look-up stays with the entry.
    std::unique_ptr<NORVAPointGeometry> m_geometry;
    long m_status = 0;
};
