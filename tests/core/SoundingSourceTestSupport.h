#pragma once
// A surface kept in memory for the sounding-source tests: nodes with chosen
// attribute values (or no attribute set at all), a metadata with a chosen
// resolution and designated soundings, a query that can be made to fail, and
// a cache that the shared memory budget can release.
#include <cfloat>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "CoreTestSupport.h"
#include "core/KIVOSurface.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOResourceManager.h"

namespace soundingtest {

using Values = std::vector<std::pair<const char*, double>>;

// Depth 0, Uncertainty 1, Status 2, Weight 3.
inline KIVOMemDescriptor layout() {
    return KIVOMemDescriptor({KIVODescriptor::AttribEntry("Depth", KIVODataType::DOUBLE),
                              KIVODescriptor::AttribEntry("Uncertainty", KIVODataType::DOUBLE),
                              KIVODescriptor::AttribEntry("Status", KIVODataType::DOUBLE),
                              KIVODescriptor::AttribEntry("Weight", KIVODataType::DOUBLE)});
}

inline std::unique_ptr<KIVOMemAttributeSet> makeSet(const KIVODescriptor& d, const Values& values) {
    auto set = std::make_unique<KIVOMemAttributeSet>(d);
    for (const auto& v : values) set->setValue(d.getAttributeIndex(v.first), v.second);
    return set;
}

struct Node {
    double x, y;
    Values values;
    bool hasSet = true;
};

// A NaN original depth does not read.
struct Designated {
    double x, y, depth;
    double original = 1.0;
    Values values = {};
    bool hasSet = true;
};

class StubNodeIter : public KIVOSurfaceIter {
public:
    StubNodeIter(std::vector<Node> nodes, const KIVODescriptor& d)
        : m_nodes(std::move(nodes)), m_descriptor(d.newCopy()) {
        for (const Node& n : m_nodes) m_sets.push_back(n.hasSet ? makeSet(d, n.values) : nullptr);
    }
    bool done(long& status) const override {
        status = 0;
        return m_at >= m_nodes.size();
    }
    bool next(long& status) override {
        status = 0;
        return ++m_at < m_nodes.size();
    }
    KIVOAttributeSet* getAttributes() override { return m_at < m_sets.size() ? m_sets[m_at].get() : nullptr; }
    long getPosition(double& x, double& y, const long&) const override {
        if (m_at >= m_nodes.size()) return -1;
        x = m_nodes[m_at].x;
        y = m_nodes[m_at].y;
        return 0;
    }
    long count() const override { return static_cast<long>(m_nodes.size()); }
    const KIVODescriptor& getAttributeDescriptor() const override { return *m_descriptor; }

private:
    std::vector<Node> m_nodes;
    std::unique_ptr<KIVODescriptor> m_descriptor;
    std::vector<std::unique_ptr<KIVOMemAttributeSet>> m_sets;
    size_t m_at = 0;
};

class StubDesignatedIter : public KIVODesignatedIter {
public:
    StubDesignatedIter(const KIVOSurfaceDataIO& io, std::vector<Designated> soundings, const KIVODescriptor& d)
        : m_io(io), m_soundings(std::move(soundings)) {
        for (const Designated& s : m_soundings) m_sets.push_back(s.hasSet ? makeSet(d, s.values) : nullptr);
    }
    bool done(long& status) const override {
        status = 0;
        return m_at >= m_soundings.size();
    }
    bool next(long& status) override {
        status = 0;
        return ++m_at < m_soundings.size();
    }
    const KIVOSurfaceDataIO* getDataIO() const override { return &m_io; }
    long getPosition(double& x, double& y) const override {
        x = m_soundings[m_at].x;
        y = m_soundings[m_at].y;
        return 0;
    }
    double getDepth(long& status) const override {
        status = 0;
        return m_soundings[m_at].depth;
    }
    double getOriginalDepth(long& status) const override {
        const double d = m_soundings[m_at].original;
        status = std::isnan(d) ? -1 : 0;
        return std::isnan(d) ? DBL_MAX : d;
    }
    DESIGNATED_TYPE getType(long& status) const override {
        status = 0;
        return OUTSTANDING;
    }
    long registerDesignated(double, double, double, DESIGNATED_TYPE) override { return -1; }
    long addDesignated(double, double, const KIVOAttributeSet&, const KIVODescriptor&, double,
                       DESIGNATED_TYPE) override {
        return -1;
    }
    const KIVOAttributeSet* get(long& status) const override {
        status = m_sets[m_at] ? 0 : -1;
        return m_sets[m_at].get();
    }

private:
    const KIVOSurfaceDataIO& m_io;
    std::vector<Designated> m_soundings;
    std::vector<std::unique_ptr<KIVOMemAttributeSet>> m_sets;
    size_t m_at = 0;
};

// The core tests' in-memory metadata with a resolution and designated
// soundings of the test's choosing.
class StubMeta : public coretest::StubMetaData {
public:
    explicit StubMeta(const KIVODescriptor& d) : coretest::StubMetaData(d), m_descriptor(d.newCopy()) {}
    long getResolution(double& x, double& y) const override {
        x = resolutionX;
        y = resolutionY;
        return 0;
    }
    NORVAType<KIVODesignatedIter> getDesignatedIter(KIVOSurfaceDataIO& io, long& status) override {
        status = designatedStatus;
        auto iter = std::make_unique<StubDesignatedIter>(io, designated, *m_descriptor);
        iter->setStatus(designatedStatusWord);
        return NORVAType<KIVODesignatedIter>(std::move(iter));
    }

    double resolutionX = 1.0, resolutionY = 1.0;
    std::vector<Designated> designated;
    long designatedStatus = 0, designatedStatusWord = 0;

private:
    std::unique_ptr<KIVODescriptor> m_descriptor;
};

// Serves the nodes inside the queried box, edges included.
class StubDataIO : public KIVOSurfaceDataIO, public KIVOResourceMember {
public:
    explicit StubDataIO(std::vector<Node> nodes) : m_descriptor(layout()), meta(m_descriptor), nodes(std::move(nodes)) {}
    NORVAUString getSourceName() const override { return "stub"; }
    KIVOSurfaceMetaData* getMetaData() override { return &meta; }
    const KIVOSurfaceMetaData* getMetaData() const override { return &meta; }
    NORVAType<KIVOSurfaceIter> query(double x0, double y0, double x1, double y1, bool, long& status, NORVAProgress*,
                                     double) override {
        ++queries;
        status = queryStatus;
        if (status != 0) return NORVAType<KIVOSurfaceIter>();
        std::vector<Node> inside;
        for (const Node& n : nodes)
            if (n.x >= x0 && n.x <= x1 && n.y >= y0 && n.y <= y1) inside.push_back(n);
        return NORVAType<KIVOSurfaceIter>(new StubNodeIter(inside, m_descriptor));
    }
    uint64_t getHeldBytes() const override { return held; }
    void releaseCache() override {
        ++releases;
        held = 0;
    }

private:
    KIVOMemDescriptor m_descriptor;

public:
    StubMeta meta;
    std::vector<Node> nodes;
    long queryStatus = 0;
    int queries = 0;
    uint64_t held = 0;
    int releases = 0;
};

// The surface owns the data-IO; `io` stays valid while the surface lives.
struct TestSurface {
    explicit TestSurface(std::vector<Node> nodes, std::vector<Designated> designated = {})
        : io(new StubDataIO(std::move(nodes))), surface(NORVAType<KIVOSurfaceDataIO>(io)) {
        io->meta.designated = std::move(designated);
    }
    StubDataIO* io;
    KIVOSurface surface;
};

}  // namespace soundingtest
