#pragma once
// The internal node of the suite's R-tree: a box and up to M owned children,
// all leaves or all internal nodes. Room for M children is reserved at
// construction so that adding children never reallocates.
#include <vector>

#include "platform/polyops/NORVARTreeLeaf.h"

template <class T, size_t N>
class NORVARTreeInternal : public NORVARTreeNode<T, N> {
public:
    using Node = NORVARTreeNode<T, N>;
    using Box = typename Node::Box;

    explicit NORVARTreeInternal(size_t capacity) : m_capacity(capacity) { m_children.reserve(capacity); }

    NORVAType<Node> newCopy() const override {
        auto copy = new NORVARTreeInternal(m_capacity);
        copy->m_box = m_box;
        for (const NORVAType<Node>& c : m_children) copy->m_children.push_back(c->newCopy());
        return NORVAType<Node>(copy);
    }
    Box getBoundingBox() const override { return m_box; }
    std::string getDotName() const override { return NORVARTreeLeaf<T, N>::dotName("I_", *this); }
    T getLow(size_t d) const override { return m_box.getMinimum()[d]; }
    T getHigh(size_t d) const override { return m_box.getMaximum()[d]; }
    size_t getMemSize() const override {
        size_t size = 56;
        for (const NORVAType<Node>& c : m_children) size += c->getMemSize();
        return size;
    }
    bool isLeaf() const override { return false; }
    // A record of one field per reserved child, then each child and the edge to
    // it. Names are quoted, since negative bounds put a '-' in them.
    void toDot(std::ostream& os) const override {
        const std::string name = getDotName();
        os << '"' << name << '"' << "[label = " << '"' << "{ (" << getLow(0) << ", " << getLow(1) << "), ("
           << getHigh(0) << ", " << getHigh(1) << ") | { <f0> ";
        for (size_t k = 1; k < m_capacity; ++k) os << " |<f" << k << ">";
        os << " } } " << '"' << "];" << '\n';
        for (size_t k = 0; k < m_children.size(); ++k) {
            m_children[k]->toDot(os);
            os << '"' << name << '"' << ":f" << k << ":s -> " << '"' << m_children[k]->getDotName() << '"'
               << ":n [headlabel=" << k << "];" << '\n';
        }
    }

    size_t getCapacity() const { return m_capacity; }
    size_t size() const { return m_children.size(); }
    bool holdsLeaves() const { return m_children.empty() || m_children.front()->isLeaf(); }
    Node& child(size_t i) { return *m_children[i]; }
    const Node& child(size_t i) const { return *m_children[i]; }
    std::vector<NORVAType<Node>>& children() { return m_children; }

    // The first entry sets the box, later ones extend it.
    void add(NORVAType<Node> node) {
        extend(node->getBoundingBox());
        m_children.push_back(std::move(node));
    }
    void extend(const Box& box) { m_box.add(box); }
    void recomputeBox() {
        m_box.setEmpty();
        for (const NORVAType<Node>& c : m_children) m_box.add(c->getBoundingBox());
    }
    void clear() {
        m_children.clear();
        m_box.setEmpty();
    }

private:
    size_t m_capacity;
    Box m_box;
    std::vector<NORVAType<Node>> m_children;
};
