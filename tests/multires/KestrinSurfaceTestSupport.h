#pragma once
// Tile-store surfaces for the tests: XML metadata of a cover 0..100 in UTM 31N
// with a chosen layout and resolution, and new surfaces made from it.
#include <memory>
#include <vector>

#include "multires/KIVOKestrinDataIO.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOSurfaceXMLMetaData.h"
#include "platform/proj/NORVACoordSystem.h"

namespace kestrinsurface {

using Entry = KIVODescriptor::AttribEntry;

inline std::vector<Entry> depthAndStatus() {
    return {Entry("Depth", KIVODataType::DOUBLE), Entry("Status", KIVODataType::LONG)};
}

inline NORVAType<KIVOSurfaceXMLMetaData> metadata(const std::vector<Entry>& entries, double resolution,
                                                  bool withCoordSystem = true) {
    KIVOMetaAttribute meta{KIVOMemDescriptor(entries)};
    auto m = makeNORVAType<KIVOSurfaceXMLMetaData>(makeNORVAType<KIVOSurfaceAttributeTable>(meta), "TMP");
    if (withCoordSystem) {
        NORVAUString s1, s2, s3;
        NORVACoordSystem("EPSG:32631", "UTM 31N").toStrings(s1, s2, s3);
        m->setCoordSystemString(s1, s2, s3);
    }
    m->setLowerLeft(0.0, 0.0);
    m->setDimensions(100.0, 100.0);
    m->setResolution(resolution);
    return m;
}

inline std::unique_ptr<KIVOKestrinDataIO> created(const NORVAUString& path, const std::vector<Entry>& entries,
                                                  double resolution) {
    return std::make_unique<KIVOKestrinDataIO>(path, *metadata(entries, resolution));
}

// Serves every node of a box query; calls `visit(iter)` on each. Returns the count.
template <class Visit>
size_t forEachNode(KIVOSurfaceDataIO& io, double x0, double y0, double x1, double y1, bool create, Visit visit,
                   NORVAProgress* progress = nullptr) {
    long status = 0;
    NORVAType<KIVOSurfaceIter> it = io.query(x0, y0, x1, y1, create, status, progress, 0.0);
    size_t n = 0;
    if (!it) return 0;
    long s = 0;
    for (bool more = !it->done(s); more; more = it->next(s)) {
        visit(*it);
        ++n;
    }
    return n;
}

inline size_t countNodes(KIVOSurfaceDataIO& io, double x0 = -1e9, double y0 = -1e9, double x1 = 1e9,
                         double y1 = 1e9) {
    return forEachNode(io, x0, y0, x1, y1, false, [](KIVOSurfaceIter&) {});
}

// A point query with the create flag; sets Depth of the node it stands on.
inline void addNode(KIVOSurfaceDataIO& io, double x, double y, double depth) {
    forEachNode(io, x, y, x, y, true, [&](KIVOSurfaceIter& it) { it.getAttributes()->setValue(0, depth); });
}

}  // namespace kestrinsurface
