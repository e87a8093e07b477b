#pragma once
// A small tile-store layout for the store's tests: a depth (double), a status
// (long), a count (unsigned short) and a label (fixed text of 8 bytes), over
// a cover of 0..100 at resolution 1 in UTM 31N.
#include <memory>
#include <vector>

#include "platform/kestrin/KestrinStoreType.h"
#include "platform/kestrin/NORVAKestrinTileStore.h"
#include "platform/proj/NORVACoordSystem.h"

namespace kestrintest {

inline NORVAKestrinGenericDataDescriptor layout() {
    NORVAKestrinGenericDataDescriptor d;
    d.setNumAtts(4);
    const char* names[] = {"Depth", "Status", "Count", "Label"};
    const int32_t types[] = {KestrinStoreType::DOUBLE, KestrinStoreType::LONG, KestrinStoreType::USHORT,
                             KestrinStoreType::FIXED_TEXT};
    for (long i = 0; i < 4; ++i) {
        d.setAttributeName(i, names[i]);
        d.setType(i, types[i]);
    }
    d.setAttributeSize(3, 8);
    d.setSourceMetaData({"Survey", "Vessel"}, {"S-1", "Kestrel", "extra"});
    return d;
}

inline NORVAKestrinPointDataConfig config(double resolution = 1.0) {
    NORVAKestrinPointDataConfig c(NORVAArray<double>{0.0, 0.0}, NORVAArray<double>{100.0, 100.0},
                                  NORVAArray<double>{resolution, resolution, 0.01}, {2, 2}, {"X", "Y"}, layout());
    NORVAUString s1, s2, s3;
    NORVACoordSystem("EPSG:32631", "UTM 31N").toStrings(s1, s2, s3);
    c.setCoordinateInfo(s1, s2, s3);
    return c;
}

inline NORVAKestrinGenericDataObject record(const NORVAKestrinDataIO& io, double depth, double status) {
    NORVAKestrinGenericDataObject r(io.getLayout());
    r.setEmptyValues();
    r.setAttribute(0, depth, true);
    r.setAttribute(1, status, true);
    return r;
}

// Adds one point per (x, y) with depth = x + y / 1000 and status 0.
inline long addGrid(NORVAKestrinTileStore& store, const std::vector<std::pair<double, double>>& at) {
    NORVAKestrinPointCollection batch;
    batch.setSize(at.size());
    for (size_t i = 0; i < at.size(); ++i)
        batch.setPoint(i, NORVAArray<double>{at[i].first, at[i].second},
                       record(*store.getDataIO(0), at[i].first + at[i].second / 1000.0, 0), 0);
    return store.addPoints(batch, true, 0, 0);
}

inline std::vector<NORVAKestrinPoint> pointsIn(NORVAKestrinDataIO& io, const NORVAKestrinQuery& query) {
    std::vector<NORVAKestrinPoint> out;
    auto it = io.createPointIterator(query, -1);
    for (; it && !it->isAtEnd(); it->advance()) out.push_back(it->current().getKestrinPoint());
    return out;
}

inline NORVAKestrinQuery box(double x0, double y0, double x1, double y1) {
    return NORVAKestrinQuery(NORVAArray<double>{x0, y0}, NORVAArray<double>{x1, y1});
}

}  // namespace kestrintest
