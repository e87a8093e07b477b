#pragma once
// A node of the suite's R-tree: an internal node of the tree or a leaf
// supplied by the tree's user. Boxes hold low and high per dimension; an
// empty box has the largest value as low and its negative as high.
#include <cstddef>
#include <ostream>
#include <string>

#include "platform/core/NORVAType.h"
#include "platform/core/NORVAnBox.h"

template <class T, size_t N>
class NORVARTreeNode {
public:
    using Box = NORVAnBox<T, N>;

    virtual NORVAType<NORVARTreeNode> newCopy() const = 0;
    virtual ~NORVARTreeNode() = default;
    virtual Box getBoundingBox() const = 0;
    virtual std::string getDotName() const = 0;
    virtual T getLow(size_t d) const = 0;
    virtual T getHigh(size_t d) const = 0;
    virtual size_t getMemSize() const = 0;
    virtual bool isLeaf() const = 0;
    // Touching at an edge or a corner counts as overlapping.
    virtual bool overlap(const Box& box) const {
        if (box.isEmpty()) return false;
        for (size_t d = 0; d < N; ++d)
            if (!(getLow(d) <= getHigh(d)) || getHigh(d) < box.getMinimum()[d] || getLow(d) > box.getMaximum()[d])
                return false;
        return true;
    }
    virtual void toDot(std::ostream& os) const = 0;

    // The product of the extents, 0 for a box empty in any dimension.
    static double area(const Box& box) {
        double a = 1.0;
        for (size_t d = 0; d < N; ++d) {
            const double w = static_cast<double>(box.getMaximum()[d]) - static_cast<double>(box.getMinimum()[d]);
            if (!(w >= 0.0)) return 0.0;
            a *= w;
        }
        return a;
    }
};
