#pragma once
// Shared pieces of the combine tests: stored gridded sources with chosen
// node values, a policy whose conflict rule and callbacks are recorded, a
// surface whose metadata serves designated soundings, and the caller's
// per-node merge loop.
#include <cfloat>
#include <cmath>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "TempFolder.h"
#include "TestSupport.h"
#include "core/KIVOSurface.h"
#include "platform/frame/KIVODesignatedIter.h"
#include "platform/frame/KIVOExtendDataIO.h"
#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOMetaAttribute.h"
#include "platform/frame/KIVOSurfaceAttributeTable.h"
#include "platform/frame/KIVOSurfaceXMLMetaData.h"
#include "platform/proj/NORVACoordSystem.h"
#include "tools/KIVOCombine.h"
#include "tools/SurfaceCombinePolicy.h"

namespace combinetest {

using Entry = KIVODescriptor::AttribEntry;
using KIVODazavazEdora::SurfaceCombinePolicy;
using Values = std::map<std::string, double>;

struct Node {
    double x, y;
    Values values;
};

inline Entry entry(const char* name, int32_t type, const char* mod = "", uint32_t length = 0) {
    Entry e(name, type);
    e.modName = mod;
    e.length = length;
    return e;
}

inline void setCoordSystem(KIVOSurfaceXMLMetaData& meta, const char* code = "EPSG:32631") {
    NORVAUString s1, s2, s3;
    NORVACoordSystem(code, "UTM").toStrings(s1, s2, s3);
    meta.setCoordSystemString(s1, s2, s3);
}

// A gridded surface of (columns x rows) nodes one unit apart from (0, 0),
// the nodes set and the surface stored.
inline long storeGridded(const NORVAUString& path, const std::vector<Entry>& entries, const std::vector<Node>& nodes,
                         int columns = 4, int rows = 4, const char* coordSystem = "EPSG:32631") {
    KIVOMemDescriptor descriptor(entries);
    auto table = makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(descriptor));
    auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(std::move(table), path);
    setCoordSystem(*meta, coordSystem);
    meta->setLowerLeft(0.0, 0.0);
    meta->setDimensions(columns - 1, rows - 1);
    meta->setResolution(1.0);
    KIVOSurface surface(NORVAType<KIVOSurfaceDataIO>(new KIVOGriddedDataIO(path, std::move(meta))));
    if (surface.getStatus() != 0) return surface.getStatus();
    for (const Node& n : nodes) {
        KIVOMemAttributeSet set(descriptor);
        for (const auto& v : n.values) set.setValue(descriptor.getAttributeIndex(v.first.c_str()), v.second);
        const long rc = surface.set(n.x, n.y, set, descriptor, DBL_MAX);
        if (rc != 0) return rc;
    }
    return surface.store(nullptr);
}

// The format's own data-IO under the surface's forwarding one.
template <class T>
T* innerAs(const KIVOSurface& surface) {
    KIVOSurfaceDataIO* io = surface.getDataIO();
    if (auto* extend = dynamic_cast<KIVOExtendDataIO*>(io)) io = extend->getDataIO();
    return dynamic_cast<T*>(io);
}

inline std::unique_ptr<KIVOSurface> openGridded(const NORVAUString& path) {
    return std::make_unique<KIVOSurface>(NORVAType<KIVOSurfaceDataIO>(new KIVOGriddedDataIO(path)));
}

// The value of a node's attribute; NaN when unset.
inline double valueAt(KIVOSurface& surface, double x, double y, const char* name) {
    long status = 0;
    NORVAType<KIVOSurfaceIter> iter = surface.query(x, y, 0.0, status, false, nullptr, nullptr, DBL_MAX);
    if (!iter || iter->done(status)) return NAN;
    const long index = iter->getAttributeDescriptor().getAttributeIndex(name);
    const KIVOAttributeSet* set = iter->getAttributes();
    double v = NAN;
    if (index < 0 || !set || !set->isSet(index) || set->getDoubleValue(index, v, false) != 0) return NAN;
    return v;
}

inline NORVAUString textAt(KIVOSurface& surface, double x, double y, const char* name) {
    long status = 0;
    NORVAType<KIVOSurfaceIter> iter = surface.query(x, y, 0.0, status, false, nullptr, nullptr, DBL_MAX);
    NORVAUString v;
    if (!iter || iter->done(status)) return v;
    const long index = iter->getAttributeDescriptor().getAttributeIndex(name);
    if (index >= 0 && iter->getAttributes()) iter->getAttributes()->getStringValue(index, v, false);
    return v;
}

// Records every callback; the conflict rule answers `rule` or throws.
class RecordingPolicy : public SurfaceCombinePolicy {
public:
    long rule = 2;
    bool throwing = false;
    int supersedeCalls = 0;
    long conflictAnswer = 77;
    std::vector<int> errorLines, exceptionLines, conflictLines;

    long Supersede(KIVOSurface&, const KIVOAttributeSet&, const Vector2D&, const NORVAUString&, KIVOSurface&,
                   const KIVOAttributeSet&, const Vector2D&, const NORVAUString&) override {
        ++supersedeCalls;
        if (throwing) throw std::runtime_error("rule failed");
        return rule;
    }
    long OnError(const char* file, int line, long rcode, const char* message) override {
        errorLines.push_back(line);
        return SurfaceCombinePolicy::OnError(file, line, rcode, message);
    }
    long OnException(const char* file, int line, const char* message) override {
        exceptionLines.push_back(line);
        return SurfaceCombinePolicy::OnException(file, line, message);
    }
    long OnUnresolvableConflict(const char* file, int line, double x, double y, const char* message) override {
        conflictLines.push_back(line);
        SurfaceCombinePolicy::OnUnresolvableConflict(file, line, x, y, message);
        return conflictAnswer;
    }

    using SurfaceCombinePolicy::AddDesignatedNode;
    using SurfaceCombinePolicy::GetDesignatedNodeOriginalValue;
    using SurfaceCombinePolicy::IsNodeDesignated;
    using SurfaceCombinePolicy::LoadDesignatedNodes;
    using SurfaceCombinePolicy::RemoveDesignatedNode;
};

// The caller's loop: every set node of the source through the policy.
inline long mergeInto(SurfaceCombinePolicy& policy, KIVOSurface& product, KIVOSurface& source) {
    long status = 0;
    NORVAType<KIVOSurfaceIter> nodes = source.query(-1e9, -1e9, 1e9, 1e9, status, false, nullptr, nullptr, DBL_MAX);
    if (!nodes) return status != 0 ? status : -1;
    for (; !nodes->done(status); nodes->next(status)) {
        NORVAType<KIVOSurfaceIter> target = policy.getProductIter(product, source, *nodes, status);
        if (!target || status != 0) return status != 0 ? status : -1;
        std::unique_ptr<KIVOAttributeSet> set = policy.getSurfaceAtts(product, *target, source, *nodes, status);
        if (status != 0) return status;
        if (set && (status = policy.setNode(source, *set, product, *target)) != 0) return status;
    }
    return 0;
}

struct Designated {
    double x, y;
    double original;  // the depth before the sounding was written
};

class VectorDesignatedIter : public KIVODesignatedIter {
public:
    VectorDesignatedIter(const KIVOSurfaceDataIO* io, std::vector<Designated> soundings)
        : m_io(io), m_soundings(std::move(soundings)) {
        markDone(m_soundings.empty());
    }
    bool next(long& status) override {
        status = 0;
        if (m_at < m_soundings.size()) ++m_at;
        markDone(m_at >= m_soundings.size());
        return m_at < m_soundings.size();
    }
    const KIVOSurfaceDataIO* getDataIO() const override { return m_io; }
    long getPosition(double& x, double& y) const override {
        x = m_soundings[m_at].x;
        y = m_soundings[m_at].y;
        return 0;
    }
    double getDepth(long& status) const override {
        status = 0;
        return 0.0;
    }
    double getOriginalDepth(long& status) const override {
        status = 0;
        return m_soundings[m_at].original;
    }
    DESIGNATED_TYPE getType(long& status) const override {
        status = 0;
        return DESIGNATED;
    }
    long registerDesignated(double, double, double, DESIGNATED_TYPE) override { return 0; }
    long addDesignated(double, double, const KIVOAttributeSet&, const KIVODescriptor&, double,
                       DESIGNATED_TYPE) override {
        return 0;
    }

private:
    const KIVOSurfaceDataIO* m_io;
    std::vector<Designated> m_soundings;
    size_t m_at = 0;
};

// Metadata of an inner surface that also serves designated soundings.
class DesignatedMetaData : public KIVOSurfaceMetaData {
public:
    DesignatedMetaData(KIVOSurfaceMetaData& inner, std::vector<Designated> soundings)
        : m_inner(inner), m_soundings(std::move(soundings)) {}
    long getResolution(double& x, double& y) const override { return m_inner.getResolution(x, y); }
    const NORVACoordSystem* getCoordSystem(long& status) const override { return m_inner.getCoordSystem(status); }
    long getCover(double& a, double& b, double& c, double& d) const override { return m_inner.getCover(a, b, c, d); }
    long getDimensions(double& w, double& h) const override { return m_inner.getDimensions(w, h); }
    KIVOSurfaceAttributeTable* getAttributeTable() override { return m_inner.getAttributeTable(); }
    const KIVOSurfaceAttributeTable* getAttributeTable() const override { return m_inner.getAttributeTable(); }
    NORVAType<KIVODesignatedIter> getDesignatedIter(KIVOSurfaceDataIO& io, long& status) override {
        status = 0;
        return NORVAType<KIVODesignatedIter>(new VectorDesignatedIter(&io, m_soundings));
    }

private:
    KIVOSurfaceMetaData& m_inner;
    std::vector<Designated> m_soundings;
};

class DesignatedDataIO : public KIVOExtendDataIO {
public:
    DesignatedDataIO(NORVAType<KIVOSurfaceDataIO> inner, std::vector<Designated> soundings)
        : KIVOExtendDataIO(std::move(inner)), m_meta(*getDataIO()->getMetaData(), std::move(soundings)) {}
    KIVOSurfaceMetaData* getMetaData() override { return &m_meta; }
    const KIVOSurfaceMetaData* getMetaData() const override { return &m_meta; }

private:
    DesignatedMetaData m_meta;
};

// A stored gridded surface reopened with designated soundings.
inline std::unique_ptr<KIVOSurface> openDesignated(const NORVAUString& path, std::vector<Designated> soundings) {
    NORVAType<KIVOSurfaceDataIO> inner(new KIVOGriddedDataIO(path));
    return std::make_unique<KIVOSurface>(
        NORVAType<KIVOSurfaceDataIO>(new DesignatedDataIO(std::move(inner), std::move(soundings))));
}

inline KIVODazavazEdora::Combine::Options options(const NORVAUString& output, std::vector<NORVAUString> sources,
                                                  double maxX = 5.0, double maxY = 3.0) {
    KIVODazavazEdora::Combine::Options o;
    o.outputPath = output;
    o.sources = std::move(sources);
    o.coordSystem.reset(new NORVACoordSystem("EPSG:32631", "UTM"));
    o.resolution = 1.0;
    o.maxX = maxX;
    o.maxY = maxY;
    return o;
}

// A whole combine of gridded sources into `output`: the product made, every
// source merged in, then stored. The first non-zero status, else 0.
inline long combine(const NORVAUString& output, const std::vector<NORVAUString>& sources) {
    KIVODazavazEdora::Combine::Options o = options(output, sources);
    RecordingPolicy policy;
    NORVAType<KIVOSurface> product;
    long status = policy.CreateOutputSurface(o, product);
    for (size_t i = 0; status == 0 && i < sources.size(); ++i)
        status = mergeInto(policy, *product, *openGridded(sources[i]));
    if (status != 0) return status;
    policy.BeforeStoreProductSurface(*product, o);
    return product->store(nullptr);
}

}  // namespace combinetest
