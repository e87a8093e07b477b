#pragma once
// Shared pieces of the core tests: a temporary folder and small gridded
// surfaces with chosen attributes and node values.
#include "TempFolder.h"
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "core/KIVOSurface.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOSurfaceXMLMetaData.h"

namespace coretest {

using TempDir = TempFolder;

inline KIVOMemDescriptor descriptorOf(std::initializer_list<const char*> names) {
    std::vector<KIVODescriptor::AttribEntry> entries;
    for (const char* n : names) entries.emplace_back(n, KIVODataType::DOUBLE);
    return KIVOMemDescriptor(entries);
}

// A new gridded surface of (columns x rows) nodes, one unit apart from (0, 0).
inline KIVOSurface makeGridded(const NORVAUString& path, const KIVOMemDescriptor& descriptor, int columns,
                               int rows) {
    auto table = makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(descriptor));
    auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(std::move(table), path);
    meta->setLowerLeft(0.0, 0.0);
    meta->setDimensions(columns - 1, rows - 1);
    meta->setResolution(1.0);
    return KIVOSurface(NORVAType<KIVOSurfaceDataIO>(new KIVOGriddedDataIO(path, std::move(meta))));
}

// Sets the named values of the node at (x, y); NaN leaves a value unset.
inline long setNode(KIVOSurface& surface, double x, double y,
                    std::initializer_list<std::pair<const char*, double>> values) {
    const KIVODescriptor& d = surface.getAttributeInfo()->getDescriptor();
    KIVOMemAttributeSet set(d);
    for (const auto& v : values)
        if (!std::isnan(v.second)) set.setValue(d.getAttributeIndex(v.first), v.second);
    return surface.set(x, y, set, d, 1.0);
}

}  // namespace coretest

namespace coretest {

// Metadata kept in memory only, over a fixed cover.
class StubMetaData : public KIVOSurfaceMetaData {
public:
    explicit StubMetaData(const KIVODescriptor& d) : m_table(KIVOMetaAttribute(d)) {}
    long getResolution(double& x, double& y) const override {
        x = y = 1.0;
        return 0;
    }
    const NORVACoordSystem* getCoordSystem(long& status) const override {
        status = 0;
        return nullptr;
    }
    long getCover(double& minX, double& minY, double& maxX, double& maxY) const override {
        minX = minY = 0.0;
        maxX = maxY = 10.0;
        return 0;
    }
    long getDimensions(double& w, double& h) const override {
        w = h = 10.0;
        return 0;
    }
    KIVOSurfaceAttributeTable* getAttributeTable() override { return &m_table; }
    const KIVOSurfaceAttributeTable* getAttributeTable() const override { return &m_table; }

private:
    KIVOSurfaceAttributeTable m_table;
};

// Nodes with a depth; a node without attributes answers null for them.
struct StubNode {
    double x, y, depth;
    bool hasAttributes = true;
};

class StubIter : public KIVOSurfaceIter {
public:
    StubIter(std::vector<StubNode> nodes, const KIVODescriptor& d)
        : m_nodes(std::move(nodes)), m_descriptor(d.newCopy()), m_set(d) {
        load();
    }
    bool done(long& status) const override {
        status = 0;
        return m_at >= m_nodes.size();
    }
    bool next(long& status) override {
        status = 0;
        ++m_at;
        load();
        return m_at < m_nodes.size();
    }
    KIVOAttributeSet* getAttributes() override {
        return m_at < m_nodes.size() && m_nodes[m_at].hasAttributes ? &m_set : nullptr;
    }
    long getPosition(double& x, double& y, const long&) const override {
        if (m_at >= m_nodes.size()) return -1;
        x = m_nodes[m_at].x;
        y = m_nodes[m_at].y;
        return 0;
    }
    long count() const override { return static_cast<long>(m_nodes.size()); }
    const KIVODescriptor& getAttributeDescriptor() const override { return *m_descriptor; }

private:
    void load() {
        if (m_at < m_nodes.size()) m_set.setValue(0, m_nodes[m_at].depth);
    }
    std::vector<StubNode> m_nodes;
    std::unique_ptr<KIVODescriptor> m_descriptor;
    KIVOMemAttributeSet m_set;
    size_t m_at = 0;
};

// Serves its nodes to every query and counts stores. The counters outlive
// the object, which the surface owns.
struct StubCounters {
    int stores = 0;
};

class StubDataIO : public KIVOSurfaceDataIO {
public:
    StubDataIO(std::vector<StubNode> nodes, StubCounters* counters)
        : m_descriptor(descriptorOf({"Depth"})), m_meta(m_descriptor), m_nodes(std::move(nodes)),
          m_counters(counters) {}
    NORVAUString getSourceName() const override { return "stub"; }
    KIVOSurfaceMetaData* getMetaData() override { return &m_meta; }
    const KIVOSurfaceMetaData* getMetaData() const override { return &m_meta; }
    long store(NORVAProgress*) override {
        if (m_counters) ++m_counters->stores;
        return 0;
    }
    NORVAType<KIVOSurfaceIter> query(double, double, double, double, bool, long& status, NORVAProgress*,
                                     double) override {
        status = 0;
        return NORVAType<KIVOSurfaceIter>(new StubIter(m_nodes, m_descriptor));
    }

private:
    KIVOMemDescriptor m_descriptor;
    StubMetaData m_meta;
    std::vector<StubNode> m_nodes;
    StubCounters* m_counters;
};

inline KIVOSurface makeStub(std::vector<StubNode> nodes, StubCounters* counters = nullptr) {
    return KIVOSurface(NORVAType<KIVOSurfaceDataIO>(new StubDataIO(std::move(nodes), counters)));
}

}  // namespace coretest
