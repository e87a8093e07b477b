#pragma once
// The suite's R-tree of boxes: an internal root that is never null, the
// number of leaves and the node capacity M. Inserts descend one path
// (least enlargement) and split a full node by the linear method; removal
// dissolves nodes that fall below M / 2 entries and inserts their leaves
// again; window searches list leaves in tree order.
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/polyops/NORVARTreeInternal.h"

template <class T, size_t N>
class NORVARTree {
public:
    using Node = NORVARTreeNode<T, N>;
    using Leaf = NORVARTreeLeaf<T, N>;
    using Internal = NORVARTreeInternal<T, N>;
    using Box = typename Node::Box;

    // A capacity below 2 could never split; it is raised to 2.
    explicit NORVARTree(size_t capacity) : m_capacity(std::max<size_t>(capacity, 2)), m_root(new Internal(m_capacity)) {}
    NORVARTree(const NORVARTree&) = delete;
    NORVARTree& operator=(const NORVARTree&) = delete;
    NORVARTree(NORVARTree&&) noexcept = default;
    NORVARTree& operator=(NORVARTree&&) noexcept = default;

    size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    size_t getCapacity() const { return m_capacity; }
    const Internal& getRoot() const { return *m_root; }

    // Takes the leaf over; a null handle is ignored.
    void insert(NORVAType<Leaf> leaf) {
        if (!leaf) return;
        ++m_count;
        if (m_root->holdsLeaves() && m_root->size() < m_capacity) {
            m_root->add(NORVAType<Node>(leaf.release()));
            return;
        }
        NORVAType<Node> sibling = insertInto(*m_root, NORVAType<Node>(leaf.release()));
        if (!sibling) return;
        std::unique_ptr<Internal> root(new Internal(m_capacity));
        root->add(NORVAType<Node>(m_root.release()));
        root->add(std::move(sibling));
        m_root = std::move(root);
    }

    // Deletes the leaf equal to the given one; false (and nothing changed)
    // when there is none.
    bool remove(const Leaf& leaf) {
        std::vector<NORVAType<Node>> orphans;
        bool dissolved = false;
        if (!removeFrom(*m_root, leaf, 0, orphans, dissolved)) return false;
        m_count -= 1 + orphans.size();
        while (m_root->size() == 1 && !m_root->child(0).isLeaf()) {
            NORVAType<Node> only = std::move(m_root->children().front());
            m_root.reset(static_cast<Internal*>(only.release()));
        }
        for (NORVAType<Node>& orphan : orphans) insert(NORVAType<Leaf>(static_cast<Leaf*>(orphan.release())));
        return true;
    }

    // Appends every leaf whose box overlaps the window, in tree order.
    void search(const Box& window, std::vector<Leaf*>& found) const { searchIn(*m_root, window, found); }

    void toDot(std::ostream& os) const { m_root->toDot(os); }

private:
    static double enlargement(const Box& box, const Box& add) {
        Box grown = box;
        grown.add(add);
        return Node::area(grown) - Node::area(box);
    }

    // Least enlargement, then smaller area, then the earlier child.
    static size_t chooseChild(Internal& node, const Box& box) {
        size_t best = 0;
        double bestGrowth = 0.0, bestArea = 0.0;
        for (size_t i = 0; i < node.size(); ++i) {
            const Box childBox = node.child(i).getBoundingBox();
            const double growth = enlargement(childBox, box);
            const double area = Node::area(childBox);
            if (i == 0 || growth < bestGrowth || (growth == bestGrowth && area < bestArea)) {
                best = i;
                bestGrowth = growth;
                bestArea = area;
            }
        }
        return best;
    }

    // Inserts into `node`; a non-null result is the node's new sibling.
    NORVAType<Node> insertInto(Internal& node, NORVAType<Node> leaf) {
        if (node.holdsLeaves()) {
            if (node.size() < m_capacity) {
                node.add(std::move(leaf));
                return NORVAType<Node>();
            }
            return split(node, std::move(leaf));
        }
        const Box box = leaf->getBoundingBox();
        Internal& child = static_cast<Internal&>(node.child(chooseChild(node, box)));
        NORVAType<Node> childSibling = insertInto(child, std::move(leaf));
        if (!childSibling) {
            node.extend(box);
            return NORVAType<Node>();
        }
        node.extend(child.getBoundingBox());
        if (node.size() < m_capacity) {
            node.add(std::move(childSibling));
            return NORVAType<Node>();
        }
        return split(node, std::move(childSibling));
    }

    struct Seeds {
        size_t first;
        size_t second;
        double separation;
    };

    // Highest low side and (another entry's) lowest high side along d.
    static Seeds seedsAlong(const std::vector<NORVAType<Node>>& list, size_t d, const Box& all) {
        size_t hl = 0;
        for (size_t i = 1; i < list.size(); ++i)
            if (list[i]->getLow(d) > list[hl]->getLow(d)) hl = i;
        size_t lh = hl == 0 ? 1 : 0;
        for (size_t i = 0; i < list.size(); ++i)
            if (i != hl && list[i]->getHigh(d) < list[lh]->getHigh(d)) lh = i;
        const double width = static_cast<double>(all.getMaximum()[d]) - static_cast<double>(all.getMinimum()[d]);
        const double gap = std::fabs(static_cast<double>(list[hl]->getLow(d)) - static_cast<double>(list[lh]->getHigh(d)));
        return {hl, lh, width > 0.0 ? gap / width : 0.0};
    }

    static NORVAType<Node> take(std::vector<NORVAType<Node>>& list, size_t i) {
        NORVAType<Node> n = std::move(list[i]);
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
        return n;
    }

    // Which group takes `entry`: least growth, smaller area, then fewer entries (N on ties only when smaller).
    static bool goesToFirst(const Internal& a, const Internal& b, const Box& entry) {
        const double growA = enlargement(a.getBoundingBox(), entry);
        const double growB = enlargement(b.getBoundingBox(), entry);
        if (growA != growB) return growA < growB;
        const double areaA = Node::area(a.getBoundingBox()), areaB = Node::area(b.getBoundingBox());
        if (areaA != areaB) return areaA < areaB;
        return a.size() < b.size();
    }

    // Linear split of a full node with one more entry; returns the new sibling.
    NORVAType<Node> split(Internal& node, NORVAType<Node> extra) {
        Box all = node.getBoundingBox();
        all.add(extra->getBoundingBox());
        std::unique_ptr<Internal> sibling(new Internal(m_capacity));
        std::vector<NORVAType<Node>> list;
        list.reserve(node.size() + 1);
        for (NORVAType<Node>& c : node.children()) list.push_back(std::move(c));
        list.push_back(std::move(extra));
        node.clear();

        Seeds seeds = seedsAlong(list, 0, all);
        for (size_t d = 1; d < N; ++d) {
            const Seeds s = seedsAlong(list, d, all);
            if (s.separation > seeds.separation) seeds = s;
        }
        NORVAType<Node> first, second;
        if (seeds.first > seeds.second) {
            first = take(list, seeds.first);
            second = take(list, seeds.second);
        } else {
            second = take(list, seeds.second);
            first = take(list, seeds.first);
        }
        node.add(std::move(first));
        sibling->add(std::move(second));

        const size_t m = m_capacity / 2;
        while (!list.empty()) {
            if (list.size() + node.size() <= m || list.size() + sibling->size() <= m) break;
            NORVAType<Node> entry = take(list, list.size() - 1);
            if (goesToFirst(node, *sibling, entry->getBoundingBox())) node.add(std::move(entry));
            else sibling->add(std::move(entry));
        }
        Internal& rest = node.size() >= m ? *sibling : node;
        for (NORVAType<Node>& entry : list) rest.add(std::move(entry));
        return NORVAType<Node>(sibling.release());
    }

    static void collectLeaves(Internal& node, std::vector<NORVAType<Node>>& out) {
        for (NORVAType<Node>& c : node.children()) {
            if (c->isLeaf()) out.push_back(std::move(c));
            else collectLeaves(static_cast<Internal&>(*c), out);
        }
        node.clear();
    }

    // Removes the leaf below `node`; `dissolved` tells the parent to delete
    // the node, whose leaves went to `orphans`.
    bool removeFrom(Internal& node, const Leaf& leaf, size_t depth, std::vector<NORVAType<Node>>& orphans,
                    bool& dissolved) {
        dissolved = false;
        auto& children = node.children();
        bool found = false;
        if (node.holdsLeaves()) {
            for (size_t i = 0; i < children.size() && !found; ++i) {
                if (!static_cast<const Leaf&>(*children[i]).equals(leaf)) continue;
                children.erase(children.begin() + static_cast<std::ptrdiff_t>(i));
                found = true;
            }
        } else {
            for (size_t i = 0; i < children.size() && !found; ++i) {
                bool childDissolved = false;
                if (!removeFrom(static_cast<Internal&>(*children[i]), leaf, depth + 1, orphans, childDissolved))
                    continue;
                found = true;
                if (childDissolved) children.erase(children.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        if (!found) return false;
        if (depth > 0 && node.size() < m_capacity / 2) {
            collectLeaves(node, orphans);
            dissolved = true;
            return true;
        }
        node.recomputeBox();
        return true;
    }

    static void searchIn(const Internal& node, const Box& window, std::vector<Leaf*>& found) {
        for (size_t i = 0; i < node.size(); ++i) {
            const Node& c = node.child(i);
            if (!c.overlap(window)) continue;
            if (c.isLeaf()) found.push_back(const_cast<Leaf*>(static_cast<const Leaf*>(&c)));
            else searchIn(static_cast<const Internal&>(c), window, found);
        }
    }

    size_t m_capacity;
    std::unique_ptr<Internal> m_root;
    size_t m_count = 0;
};
