#pragma once
// Shared pieces of the compound-surface tests: metadata with a resolution
// table over a small cover, a compound of CUBE members, and reading nodes
// back by position.
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "cube_engine/cube_param.h"
#include "multires/KIVOCompoundIO.h"
#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOSurfaceXMLMetaData.h"

namespace multirestest {

inline KIVOMemDescriptor depthLayout() {
    return KIVOMemDescriptor({KIVODescriptor::AttribEntry("Depth", KIVODataType::FLOAT),
                              KIVODescriptor::AttribEntry("Uncertainty", KIVODataType::FLOAT)});
}

// A gridded surface of 5 x 4 nodes of depthLayout() at `path`, stored empty.
inline long storedGridded(const NORVAUString& path) {
    auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(
        makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(depthLayout())), path);
    meta->setLowerLeft(0.0, 0.0);
    meta->setDimensions(4.0, 3.0);
    meta->setResolution(1.0);
    KIVOGriddedDataIO grid(path, std::move(meta));
    return grid.getStatus() != 0 ? grid.getStatus() : grid.store(nullptr);
}

// A cover of (0, 0)-(size, size) and the given table over "Depth".
inline NORVAType<KIVOSurfaceXMLMetaData> compoundMetaData(const NORVAUString& path, const KIVOResolutionTable& table,
                                                          double size = 8.0) {
    auto t = makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(depthLayout()));
    auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(std::move(t), path);
    meta->setLowerLeft(0.0, 0.0);
    meta->setDimensions(size, size);
    meta->setResolution(0.0);
    meta->setResolutionTable("Depth", table);
    return meta;
}

inline KIVOResolutionTable twoRanges() {
    KIVOResolutionTable table;
    table[KIVORangeEntry(10.0, 20.0)] = 1.0f;
    table[KIVORangeEntry(20.0, 40.0)] = 2.0f;
    return table;
}

// A compound "<name>.kms" over twoRanges() whose members are CUBE surfaces
// with the engine's default parameters (the compound copies them). Null when
// the parameters cannot be made. The engine reports on stdout: callers that
// keep their output quiet capture it first.
inline std::unique_ptr<KIVOCompoundIO> cubeCompound(const TempFolder& dir, const std::string& name) {
    _cube_param* params = cube_init_param(0, 1.0, 1.0);
    if (params == nullptr) return nullptr;
    auto meta = compoundMetaData(dir.file(name + ".xml"), twoRanges());
    auto io = std::make_unique<KIVOCompoundIO>(dir.file(name + ".kms"), meta, params);
    std::free(params);
    return io;
}

// Sets "Depth" at (x, y) through the compound with the selector.
inline long setDepth(KIVOSurfaceDataIO& io, double x, double y, double depth, double selector) {
    KIVOMemDescriptor d = depthLayout();
    KIVOMemAttributeSet set(d);
    set.setValue(0, depth);
    return io.set(x, y, set, d, selector);
}

// Depths of every set node a member serves over the whole cover.
inline std::vector<double> memberDepths(KIVOSurfaceDataIO& member) {
    std::vector<double> out;
    long status = 0;
    NORVAType<KIVOSurfaceIter> iter = member.query(-1.0, -1.0, 100.0, 100.0, false, status, nullptr, DBL_MAX);
    if (!iter) return out;
    for (; !iter->done(status); iter->next(status)) {
        double v = 0.0;
        const KIVOAttributeSet* a = iter->getAttributes();
        if (a && a->isSet(0) && a->getDoubleValue(0, v, false) == 0) out.push_back(v);
    }
    return out;
}

}  // namespace multirestest
