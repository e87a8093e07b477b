#pragma once
// The leaf of the suite's R-tree, supplied by the tree's user: it reports its
// box, an id and equality with another leaf.
#include <cstdio>
#include <locale>
#include <sstream>

#include "platform/polyops/NORVARTreeNode.h"

template <class T, size_t N>
class NORVARTreeLeaf : public NORVARTreeNode<T, N> {
public:
    bool isLeaf() const override { return true; }
    // "L_" and the bounds times 100 without decimals: every low, then every high.
    std::string getDotName() const override { return dotName("L_", *this); }
    void toDot(std::ostream& os) const override {
        os << '"' << getDotName() << "\" [label = \"(";
        for (size_t d = 0; d < N; ++d) os << (d ? ", " : "") << this->getLow(d);
        os << "), (";
        for (size_t d = 0; d < N; ++d) os << (d ? ", " : "") << this->getHigh(d);
        os << ")\"];\n";
    }
    virtual void getId(std::string& id) const = 0;
    virtual bool equals(const NORVARTreeLeaf& other) const = 0;

    static std::string dotName(const char* prefix, const NORVARTreeNode<T, N>& node) {
        std::ostringstream os;
        os.imbue(std::locale::classic());
        os.setf(std::ios::fixed);
        os.precision(0);
        os << prefix;
        for (size_t d = 0; d < N; ++d) os << (d ? "_" : "") << static_cast<double>(node.getLow(d)) * 100.0;
        for (size_t d = 0; d < N; ++d) os << "_" << static_cast<double>(node.getHigh(d)) * 100.0;
        return os.str();
    }
};
