#pragma once
// Small in-test pieces for the frame tests: a node iterator over a vector, a
// threshold filter, metadata with a fixed cover and resolution, and a data-IO
// that serves a vector of nodes and counts what is called on it.
#include <cfloat>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/frame/KIVOAttributeFilter.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOSurfaceDataIO.h"
#include "platform/frame/KIVOSurfaceIter.h"
#include "platform/frame/KIVOSurfaceMetaData.h"

namespace frametest {

struct Node {
    double x, y, depth;
};

inline KIVOMemDescriptor depthDescriptor() {
    return KIVOMemDescriptor({KIVODescriptor::AttribEntry("Depth", KIVODataType::DOUBLE)});
}

class VectorIter : public KIVOSurfaceIter {
public:
    explicit VectorIter(std::vector<Node> nodes) : m_nodes(std::move(nodes)), m_set(m_descriptor) {
        load();
    }
    bool done(long& status) const override {
        status = 0;
        return m_at >= m_nodes.size();
    }
    bool next(long& status) override {
        status = 0;
        if (m_at < m_nodes.size()) ++m_at;
        load();
        return m_at < m_nodes.size();
    }
    KIVOAttributeSet* getAttributes() override { return m_at < m_nodes.size() ? &m_set : nullptr; }
    long getPosition(double& x, double& y, const long&) const override {
        if (m_at >= m_nodes.size()) return -1;
        x = m_nodes[m_at].x;
        y = m_nodes[m_at].y;
        return 0;
    }
    long count() const override { return static_cast<long>(m_nodes.size()); }
    const KIVODescriptor& getAttributeDescriptor() const override { return m_descriptor; }
    long setAttributes(const KIVOAttributeSet& a) override {
        if (m_at >= m_nodes.size()) return -1;
        double d = 0;
        if (a.getValue(0, d) != 0) return -1;
        m_nodes[m_at].depth = d;
        load();
        ++writes;
        return 0;
    }
    int writes = 0;

private:
    void load() {
        if (m_at < m_nodes.size()) m_set.setValue(0, m_nodes[m_at].depth);
    }
    std::vector<Node> m_nodes;
    size_t m_at = 0;
    KIVOMemDescriptor m_descriptor = depthDescriptor();
    KIVOMemAttributeSet m_set;
};

// Passes nodes whose depth is at least the threshold; counts live copies.
class DepthAtLeast : public KIVOAttributeFilter {
public:
    explicit DepthAtLeast(double t, int* alive = nullptr) : m_t(t), m_alive(alive) {
        if (m_alive) ++*m_alive;
    }
    ~DepthAtLeast() override {
        if (m_alive) --*m_alive;
    }
    bool passes(const KIVOAttributeSet* a) const override {
        double d = 0;
        return a && a->getValue(0, d) == 0 && d >= m_t;
    }
    NORVAType<KIVOAttributeFilter> newCopy() const override {
        return NORVAType<KIVOAttributeFilter>(new DepthAtLeast(m_t, m_alive));
    }

private:
    double m_t;
    int* m_alive;
};

class FixedMetaData : public KIVOSurfaceMetaData {
public:
    FixedMetaData(double minX, double minY, double maxX, double maxY, double res)
        : m_minX(minX), m_minY(minY), m_maxX(maxX), m_maxY(maxY), m_res(res),
          m_table(KIVOMetaAttribute(depthDescriptor())) {}
    long getResolution(double& x, double& y) const override {
        x = y = m_res;
        return 0;
    }
    const NORVACoordSystem* getCoordSystem(long& status) const override {
        status = 0;
        return nullptr;
    }
    long getCover(double& a, double& b, double& c, double& d) const override {
        a = m_minX, b = m_minY, c = m_maxX, d = m_maxY;
        return 0;
    }
    long getDimensions(double& w, double& h) const override {
        w = m_maxX - m_minX;
        h = m_maxY - m_minY;
        return 0;
    }
    KIVOSurfaceAttributeTable* getAttributeTable() override { return &m_table; }
    const KIVOSurfaceAttributeTable* getAttributeTable() const override { return &m_table; }

private:
    double m_minX, m_minY, m_maxX, m_maxY, m_res;
    KIVOSurfaceAttributeTable m_table;
};

// Serves its nodes that fall in the query box; records every call by name.
class VectorDataIO : public KIVOSurfaceDataIO {
public:
    VectorDataIO(std::vector<Node> nodes, NORVAUString name = "mem.tst")
        : m_nodes(std::move(nodes)), m_name(std::move(name)), m_meta(0, 0, 10, 10, 1.0) {}
    ~VectorDataIO() override {
        if (destroyed) *destroyed = true;
    }

    NORVAUString getSourceName() const override {
        calls["getSourceName"]++;
        return m_name;
    }
    KIVOSurfaceMetaData* getMetaData() override {
        calls["getMetaData"]++;
        return &m_meta;
    }
    const KIVOSurfaceMetaData* getMetaData() const override {
        calls["getMetaDataConst"]++;
        return &m_meta;
    }
    NORVAType<KIVOSurfaceIter> query(double x0, double y0, double x1, double y1, bool, long& status,
                                     NORVAProgress*, double) override {
        calls["queryBox"]++;
        lastBox = {x0, y0, x1, y1};
        status = 0;
        std::vector<Node> in;
        for (const Node& n : m_nodes)
            if (n.x >= x0 && n.x <= x1 && n.y >= y0 && n.y <= y1) in.push_back(n);
        return NORVAType<KIVOSurfaceIter>(new VectorIter(in));
    }
    using KIVOSurfaceDataIO::query;

    mutable std::map<std::string, int> calls;
    std::vector<double> lastBox;
    bool* destroyed = nullptr;

private:
    std::vector<Node> m_nodes;
    NORVAUString m_name;
    FixedMetaData m_meta;
};

}  // namespace frametest
