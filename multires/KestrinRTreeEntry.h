#pragma once
// One new node of a tile-store surface waiting in the R-tree until the
// data-IO writes its pending nodes into the store: a square box of the
// surface's resolution around the node and the node's attribute values.
#include "platform/core/KIVOExport.h"
#include <memory>

#include "platform/frame/KIVODescriptor.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/polyops/NORVARTreeLeaf.h"

class KIVO_EXPORT KestrinRTreeEntry : public NORVARTreeLeaf<double, 2> {
public:
    using Node = NORVARTreeNode<double, 2>;

    // The box runs from (x, y) - size/2 to (x, y) + size/2; the attribute set
    // is new and empty, over its own copy of the descriptor.
    KestrinRTreeEntry(const KIVODescriptor& descriptor, double size, double x, double y);
    // The same with the attribute set copied from an empty one (copies of a
    // set share what they can of its descriptor).
    KestrinRTreeEntry(const KIVOMemAttributeSet& blank, double size, double x, double y);

    // The same descriptor, box and attribute values.
    NORVAType<Node> newCopy() const override;
    Box getBoundingBox() const override;
    double getLow(size_t d) const override;
    double getHigh(size_t d) const override;
    size_t getMemSize() const override { return 48; }
    void getId(std::string& id) const override { id.clear(); }
    // Equal boxes.
    bool equals(const NORVARTreeLeaf<double, 2>& other) const override;

    KIVOMemAttributeSet& getAttributes() { return *m_attributes; }
    const KIVOMemAttributeSet& getAttributes() const { return *m_attributes; }
    const KIVODescriptor& getDescriptor() const { return m_attributes->getDescriptor(); }
    // The values of the attribute's true-position companions when both are
    // set, else the position the entry was made for. 0.
    long getPosition(double& x, double& y, long index) const;

private:
    KestrinRTreeEntry(std::unique_ptr<KIVOMemAttributeSet> attributes, double size, double x, double y);

    std::unique_ptr<KIVOMemAttributeSet> m_attributes;
    double m_minX, m_minY, m_maxX, m_maxY;
    // The position asked for: the box's centre, as given rather than recomputed.
    double m_x, m_y;
};
