#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "platform/polyops/NORVARTree.h"

namespace {

using Tree = NORVARTree<double, 2>;
using Box = Tree::Box;

class BoxLeaf : public NORVARTreeLeaf<double, 2> {
public:
    BoxLeaf(int id, double x0, double y0, double x1, double y1) : m_id(id), m_box(NORVAPoint2D(x0, y0), NORVAPoint2D(x1, y1)) {}
    NORVAType<NORVARTreeNode<double, 2>> newCopy() const override {
        return NORVAType<NORVARTreeNode<double, 2>>(new BoxLeaf(*this));
    }
    Box getBoundingBox() const override { return m_box; }
    double getLow(size_t d) const override { return m_box.getMinimum()[d]; }
    double getHigh(size_t d) const override { return m_box.getMaximum()[d]; }
    size_t getMemSize() const override { return 10; }
    void getId(std::string& id) const override { id = std::to_string(m_id); }
    bool equals(const NORVARTreeLeaf<double, 2>& o) const override {
        std::string other;
        o.getId(other);
        return other == std::to_string(m_id);
    }
    int id() const { return m_id; }

private:
    int m_id;
    Box m_box;
};

Box window(double x0, double y0, double x1, double y1) { return Box(NORVAPoint2D(x0, y0), NORVAPoint2D(x1, y1)); }

void insert(Tree& t, int id, double x0, double y0, double x1, double y1) {
    t.insert(NORVAType<Tree::Leaf>(new BoxLeaf(id, x0, y0, x1, y1)));
}

std::vector<int> ids(const std::vector<Tree::Leaf*>& leaves) {
    std::vector<int> out;
    for (auto* l : leaves) out.push_back(static_cast<BoxLeaf*>(l)->id());
    return out;
}

std::vector<int> searchIds(const Tree& t, const Box& w) {
    std::vector<Tree::Leaf*> found;
    t.search(w, found);
    return ids(found);
}

// Every node's box holds its children; no node over capacity, none but the
// root under half of it; all leaves at one depth. Returns the leaf count.
size_t checkNode(const Tree::Internal& node, bool root, size_t depth, size_t& leafDepth) {
    EXPECT_LE(node.size(), node.getCapacity());
    if (!root) {
        EXPECT_GE(node.size(), node.getCapacity() / 2);
    }
    size_t leaves = 0;
    for (size_t i = 0; i < node.size(); ++i) {
        const auto& c = node.child(i);
        for (size_t d = 0; d < 2; ++d) {
            EXPECT_LE(node.getLow(d), c.getLow(d));
            EXPECT_GE(node.getHigh(d), c.getHigh(d));
        }
        if (c.isLeaf()) {
            if (leafDepth == SIZE_MAX) leafDepth = depth;
            EXPECT_EQ(leafDepth, depth);
            ++leaves;
        } else {
            leaves += checkNode(static_cast<const Tree::Internal&>(c), false, depth + 1, leafDepth);
        }
    }
    return leaves;
}

void checkTree(const Tree& t) {
    size_t leafDepth = SIZE_MAX;
    EXPECT_EQ(t.size(), checkNode(t.getRoot(), true, 0, leafDepth));
}

Tree fiftyOne() {
    Tree t(50);
    for (int i = 0; i < 51; ++i) insert(t, i, i, 0, i + 0.5, 1);
    return t;
}

TEST(RTree, TheFiftyFirstLeafSplitsTheRootIntoTwoHalves) {
    Tree t(50);
    for (int i = 0; i < 50; ++i) insert(t, i, i, 0, i + 0.5, 1);
    EXPECT_TRUE(t.getRoot().holdsLeaves());
    insert(t, 50, 50, 0, 50.5, 1);
    const auto& root = t.getRoot();
    ASSERT_EQ(2u, root.size());
    ASSERT_FALSE(root.holdsLeaves());
    const size_t a = static_cast<const Tree::Internal&>(root.child(0)).size();
    const size_t b = static_cast<const Tree::Internal&>(root.child(1)).size();
    EXPECT_EQ(51u, a + b);
    EXPECT_GE(std::min(a, b), 25u);
    EXPECT_EQ(51u, t.size());
    checkTree(t);
    EXPECT_EQ(56u + 56u * 2 + 51u * 10, t.getRoot().getMemSize());
}

TEST(RTree, WindowsFindLeavesTouchingThemAtAnEdgeOrCorner) {
    Tree t(4);
    insert(t, 1, 0, 0, 1, 1);
    insert(t, 2, 2, 2, 3, 3);
    struct Row {
        Box w;
        std::vector<int> expected;
    };
    const Row rows[] = {
        {window(1, 0, 2, 0.5), {1}},       // edge
        {window(1, 1, 2, 2), {1, 2}},      // corners
        {window(1.01, 1.01, 1.99, 1.99), {}},
        {window(-5, -5, 5, 5), {1, 2}},
        {Box(), {}},                       // an empty window overlaps nothing
    };
    for (const Row& r : rows) EXPECT_EQ(r.expected, searchIds(t, r.w));
}

TEST(RTree, RemovingALeafNotInTheTreeChangesNothing) {
    Tree t = fiftyOne();
    std::ostringstream before, after;
    t.toDot(before);
    EXPECT_FALSE(t.remove(BoxLeaf(999, 0, 0, 1, 1)));
    t.toDot(after);
    EXPECT_EQ(51u, t.size());
    EXPECT_EQ(before.str(), after.str());
}

TEST(RTree, ANodeFallingBelowHalfIsDissolvedAndItsLeavesInsertedAgain) {
    Tree t = fiftyOne();
    const auto& smaller = static_cast<const Tree::Internal&>(
        t.getRoot().child(static_cast<const Tree::Internal&>(t.getRoot().child(0)).size() == 25 ? 0 : 1));
    ASSERT_EQ(25u, smaller.size());
    std::string victim;
    static_cast<const Tree::Leaf&>(smaller.child(0)).getId(victim);
    ASSERT_TRUE(t.remove(BoxLeaf(std::stoi(victim), 0, 0, 0, 0)));
    EXPECT_EQ(50u, t.size());
    checkTree(t);
    std::vector<int> all = searchIds(t, window(-1, -1, 100, 2));
    std::sort(all.begin(), all.end());
    std::vector<int> expected;
    for (int i = 0; i < 51; ++i)
        if (i != std::stoi(victim)) expected.push_back(i);
    EXPECT_EQ(expected, all);
}

TEST(RTree, WindowResultsMatchABruteForceScanOfTenThousandRandomBoxes) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<double> pos(-1000.0, 1000.0), size(0.0, 20.0);
    struct Item {
        int id;
        double x0, y0, x1, y1;
    };
    std::vector<Item> items;
    Tree t(50);
    for (int i = 0; i < 10000; ++i) {
        const double x = pos(rng), y = pos(rng);
        // Every tenth box degenerate, every hundredth a duplicate position.
        const double w = i % 10 == 0 ? 0.0 : size(rng), h = i % 10 == 0 ? 0.0 : size(rng);
        Item it{i, x, y, x + w, y + h};
        if (i % 100 == 99) it = Item{i, items[i - 1].x0, items[i - 1].y0, items[i - 1].x1, items[i - 1].y1};
        items.push_back(it);
        insert(t, it.id, it.x0, it.y0, it.x1, it.y1);
    }
    auto oracle = [&](const Box& w) {
        std::vector<int> out;
        for (const Item& it : items)
            if (!(it.x1 < w.getMinimum()[0] || it.x0 > w.getMaximum()[0] || it.y1 < w.getMinimum()[1] ||
                  it.y0 > w.getMaximum()[1]))
                out.push_back(it.id);
        return out;
    };
    auto compare = [&]() {
        for (int q = 0; q < 300; ++q) {
            const double x = pos(rng), y = pos(rng);
            const Box w = window(x, y, x + size(rng) * 10, y + size(rng) * 10);
            std::vector<int> got = searchIds(t, w);
            std::sort(got.begin(), got.end());
            ASSERT_EQ(oracle(w), got);
        }
    };
    compare();
    checkTree(t);
    std::shuffle(items.begin(), items.end(), rng);
    for (size_t i = 0; i < 5000; ++i) ASSERT_TRUE(t.remove(BoxLeaf(items[i].id, 0, 0, 0, 0)));
    items.erase(items.begin(), items.begin() + 5000);
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.id < b.id; });
    EXPECT_EQ(5000u, t.size());
    checkTree(t);
    compare();
}

TEST(RTree, CopiesAreDeep) {
    Tree t = fiftyOne();
    NORVAType<Tree::Node> copy = t.getRoot().newCopy();
    std::ostringstream a, b;
    t.toDot(a);
    copy->toDot(b);
    EXPECT_EQ(a.str(), b.str());
    EXPECT_EQ(t.getRoot().getMemSize(), copy->getMemSize());
}

TEST(RTree, TheDumpWritesOneFieldPerReservedChildAndOneEdgePerChild) {
    Tree t(50);
    for (int i = 0; i < 51; ++i) insert(t, i, -i - 1.5, -2, -i - 1, -1);  // negative bounds
    std::ostringstream os;
    t.toDot(os);
    const std::string dot = os.str();
    const std::string firstLine = dot.substr(0, dot.find('\n'));
    const std::string rootName = t.getRoot().getDotName();
    EXPECT_EQ(0u, firstLine.find("\"" + rootName + "\"[label = \"{ ("));
    EXPECT_NE(std::string::npos, firstLine.find("<f0>"));
    EXPECT_NE(std::string::npos, firstLine.find("|<f49>"));
    EXPECT_EQ(std::string::npos, firstLine.find("<f50>"));
    EXPECT_EQ(rootName.find("I_-5150_-200_-100_-100"), 0u);
    EXPECT_NE(std::string::npos, dot.find("\"" + rootName + "\":f0:s -> \""));
    EXPECT_NE(std::string::npos, dot.find(":n [headlabel=1];"));
    EXPECT_EQ(std::string::npos, dot.find("\"" + rootName + "\":f2:s"));
    // Graphviz, where installed, must accept the dump as it is.
    if (std::system("command -v dot >/dev/null 2>&1") == 0) {
        const std::string file = ::testing::TempDir() + "rtree.dot";
        FILE* f = std::fopen(file.c_str(), "w");
        ASSERT_NE(nullptr, f);
        std::fprintf(f, "digraph G {\n%s}\n", dot.c_str());
        std::fclose(f);
        EXPECT_EQ(0, std::system(("dot -Tcanon " + file + " >/dev/null").c_str()));
        std::remove(file.c_str());
    }
}

}  // namespace
