#pragma once
// Shared pieces of the tools tests: soundings served from a vector, and
// small gridded surfaces with chosen attributes.
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "core/KIVOSurface.h"
#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOPointIter.h"
#include "platform/frame/KIVOSurfaceXMLMetaData.h"

namespace toolstest {

struct Sounding {
    Sounding(double x_, double y_, double depth_, double verticalError_ = NAN)
        : x(x_), y(y_), depth(depth_), verticalError(verticalError_) {}
    double x, y;
    double depth;                           // NaN: the sounding has no depth
    double verticalError = NAN;             // NaN: none
    std::map<std::string, double> extra;    // additional numeric fields
    double time = NAN;
};

// Fields: 0 "Depth", 1 "Vertical_Error", 2 "Time", then the additional names.
class VectorPointIter : public KIVOPointIter {
public:
    explicit VectorPointIter(std::vector<Sounding> soundings, std::vector<std::string> additional = {})
        : m_soundings(std::move(soundings)), m_additional(std::move(additional)) {
        markDone(m_soundings.empty());
    }
    bool next(long& status) override {
        status = 0;
        if (m_at < m_soundings.size()) ++m_at;
        markDone(m_at >= m_soundings.size());
        return m_at < m_soundings.size();
    }
    long getPosition(double& x, double& y) const override {
        if (m_at >= m_soundings.size()) return -1;
        x = m_soundings[m_at].x;
        y = m_soundings[m_at].y;
        return 0;
    }
    const NORVACoordSystem* getCoordSystem() const override { return m_coordSystem; }
    // The system the positions are given in; none by default.
    void setCoordSystem(const NORVACoordSystem* coordSystem) { m_coordSystem = coordSystem; }
    void getAdditionalAttributes(std::vector<NORVAUString>& names) const override {
        names.clear();
        for (const std::string& n : m_additional) names.emplace_back(n);
    }
    void getAvailable(std::vector<NORVAUString>& names) const override {
        names = {"Depth", "Vertical_Error"};
    }
    DATA_TYPE getType(long) const override { return KIVODataType::DOUBLE; }
    long get(long, NORVAUString&) const override { return -1; }
    long get(long index, long& value) const override {
        double d = 0;
        if (get(index, d) != 0) return -1;
        value = static_cast<long>(d);
        return 0;
    }
    long get(long index, double& value) const override {
        if (m_at >= m_soundings.size()) return -1;
        const Sounding& s = m_soundings[m_at];
        double v = NAN;
        if (index == 0) v = s.depth;
        else if (index == 1) v = s.verticalError;
        else if (index == 2) v = s.time;
        else if (index >= 3 && index - 3 < static_cast<long>(m_additional.size())) {
            auto it = s.extra.find(m_additional[index - 3]);
            if (it != s.extra.end()) v = it->second;
        }
        if (std::isnan(v)) return -1;
        value = v;
        return 0;
    }
    long count() const override { return static_cast<long>(m_soundings.size()); }
    bool indexOf(const NORVAUString& name, long& index, DATA_TYPE& type) const override {
        type = KIVODataType::DOUBLE;
        index = -1;
        if (name == NORVAUString("Depth")) index = 0;
        else if (name == NORVAUString("Vertical_Error")) index = 1;
        else if (name == NORVAUString("Time")) index = 2;
        for (size_t i = 0; i < m_additional.size(); ++i)
            if (name == NORVAUString(m_additional[i])) index = 3 + static_cast<long>(i);
        return index >= 0;
    }

private:
    std::vector<Sounding> m_soundings;
    std::vector<std::string> m_additional;
    size_t m_at = 0;
    const NORVACoordSystem* m_coordSystem = nullptr;
};

inline KIVODescriptor::AttribEntry entry(const char* name, int32_t type, const char* mod = "") {
    KIVODescriptor::AttribEntry e(name, type);
    e.modName = mod;
    return e;
}

// A new gridded surface of (columns x rows) nodes one unit apart from (0, 0).
inline NORVAType<KIVOSurfaceXMLMetaData> gridMetaData(const NORVAUString& path,
                                                      const std::vector<KIVODescriptor::AttribEntry>& entries,
                                                      int columns, int rows) {
    KIVOMemDescriptor descriptor(entries);
    auto table = makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(descriptor));
    auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(std::move(table), path);
    meta->setLowerLeft(0.0, 0.0);
    meta->setDimensions(columns - 1, rows - 1);
    meta->setResolution(1.0);
    return meta;
}

inline KIVOSurface makeGridded(const NORVAUString& path, const std::vector<KIVODescriptor::AttribEntry>& entries,
                               int columns = 4, int rows = 4) {
    return KIVOSurface(
        NORVAType<KIVOSurfaceDataIO>(new KIVOGriddedDataIO(path, gridMetaData(path, entries, columns, rows))));
}

// The value of a node's attribute, NaN when unset.
inline double nodeValue(KIVOSurface& surface, double x, double y, const char* name) {
    long status = 0;
    NORVAType<KIVOSurfaceIter> iter = surface.query(x, y, 0.0, status, true, nullptr, nullptr, 1.7976931348623157e308);
    if (!iter || iter->done(status)) return NAN;
    const long index = iter->getAttributeDescriptor().getAttributeIndex(name);
    const KIVOAttributeSet* set = iter->getAttributes();
    double v = NAN;
    if (index < 0 || !set || !set->isSet(index) || set->getDoubleValue(index, v, false) != 0) return NAN;
    return v;
}

}  // namespace toolstest
