#pragma once
// Tile stores of any layout for the point-iterator and geo-cloud tests: a
// list of fields (name, store type, size for fixed text) and points given as
// position plus one number or text per field, over a cover 0..100 in UTM 31N.
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/kestrin/KestrinStoreType.h"
#include "platform/kestrin/NORVAKestrinTileStore.h"
#include "platform/proj/NORVACoordSystem.h"

namespace kestrinpoints {

struct Field {
    std::string name;
    int32_t type;
    uint32_t size = 0;  // fixed text only
};

struct Value {
    template <class T, class = std::enable_if_t<std::is_arithmetic<T>::value>>
    Value(T n) : number(static_cast<double>(n)) {}
    Value(const char* t) : text(t), isText(true) {}
    double number = 0.0;
    std::string text;
    bool isText = false;
};

struct Point {
    double x, y;
    std::vector<Value> values;  // one per field, in field order
};

inline NORVAKestrinPointDataConfig config(const std::vector<Field>& fields, bool withCoordSystem = true) {
    NORVAKestrinGenericDataDescriptor d;
    d.setNumAtts(static_cast<long>(fields.size()));
    for (long i = 0; i < static_cast<long>(fields.size()); ++i) {
        d.setAttributeName(i, NORVAUString(fields[i].name));
        d.setType(i, fields[i].type);
        if (fields[i].size) d.setAttributeSize(i, fields[i].size);
    }
    NORVAKestrinPointDataConfig c(NORVAArray<double>{0.0, 0.0}, NORVAArray<double>{100.0, 100.0},
                                  NORVAArray<double>{1.0, 1.0, 0.01}, {2, 2}, {"X", "Y"}, d);
    if (withCoordSystem) {
        NORVAUString s1, s2, s3;
        NORVACoordSystem("EPSG:32631", "UTM 31N").toStrings(s1, s2, s3);
        c.setCoordinateInfo(s1, s2, s3);
    }
    return c;
}

inline long add(NORVAKestrinTileStore& store, const std::vector<Point>& points) {
    NORVAKestrinPointCollection batch;
    batch.setSize(points.size());
    for (size_t i = 0; i < points.size(); ++i) {
        NORVAKestrinGenericDataObject r(store.getDataIO(0)->getLayout());
        r.setEmptyValues();
        for (size_t f = 0; f < points[i].values.size(); ++f) {
            const Value& v = points[i].values[f];
            if (v.isText) r.setAttribute(static_cast<long>(f), NORVAUString(v.text), true);
            else r.setAttribute(static_cast<long>(f), v.number, true);
        }
        batch.setPoint(i, NORVAArray<double>{points[i].x, points[i].y}, r, 0);
    }
    return store.addPoints(batch, true, 0, 0);
}

inline std::unique_ptr<NORVAKestrinTileStore> store(const std::vector<Field>& fields,
                                                    const std::vector<Point>& points, bool withCoordSystem = true) {
    auto s = std::make_unique<NORVAKestrinTileStore>(config(fields, withCoordSystem), false, true);
    if (s->getStatus() == 0) add(*s, points);
    return s;
}

// Depth and Status only; one point per status, at (i + 1, i + 1) with depth 10 + i.
inline std::vector<Point> byStatus(const std::vector<double>& statuses) {
    std::vector<Point> points;
    for (size_t i = 0; i < statuses.size(); ++i)
        points.push_back({double(i + 1), double(i + 1), {10.0 + double(i), statuses[i]}});
    return points;
}

inline const std::vector<Field>& depthAndStatus() {
    static const std::vector<Field> fields{{"Depth", KestrinStoreType::DOUBLE}, {"Status", KestrinStoreType::LONG}};
    return fields;
}

}  // namespace kestrinpoints
