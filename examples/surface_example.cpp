// What a host does with the library, through its exported interface only:
// builds a small gridded surface, stores it, opens it again by file name
// through the format registry and prints what it holds; keeps a CUBE surface
// through the grid layer; builds surfaces from soundings and combines two.
#include <cstdio>
#include <iostream>
#include <string>

#include "core/KIVORangeAttributeFilter.h"
#include "core/KIVOSurfaceOpen.h"
#include "core/SurfaceAttributeNames.h"
#include "cube/CUBEGridSet.h"
#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/proj/NORVACoordSystem.h"
#include "platform/shapes/NORVACover.h"
#include "tools/KIVOGenerator.h"
#include "tools/SurfaceCombinePolicy.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <list>
#include <memory>
#include <random>
#include <utility>
#include <vector>

namespace {

using namespace SurfaceAttributeNames;

KIVOMemDescriptor makeDescriptor() {
    KIVODescriptor::AttribEntry depth(kDepth, KIVODataType::FLOAT);
    depth.unitKey = "m";
    depth.unitDirection = "DEPTH";
    KIVODescriptor::AttribEntry uncertainty(kUncertainty, KIVODataType::FLOAT);
    uncertainty.unitKey = "m";
    return KIVOMemDescriptor({depth, uncertainty});
}

long createSurface(const NORVAUString& path, const KIVOMemDescriptor& descriptor) {
    NORVAType<KIVOSurfaceAttributeTable> table(new KIVOSurfaceAttributeTable(KIVOMetaAttribute(descriptor)));
    NORVAType<KIVOSurfaceXMLMetaData> metadata(new KIVOSurfaceXMLMetaData(std::move(table), path));
    NORVACoordSystem utm("EPSG:32631", "WGS 84 / UTM zone 31N");
    NORVAUString s1, s2, s3;
    utm.toStrings(s1, s2, s3);
    metadata->setCoordSystemString(s1, s2, s3);
    metadata->setLowerLeft(500000.0, 5700000.0);
    metadata->setDimensions(40.0, 30.0);  // 41 x 31 nodes at 1 m
    metadata->setResolution(1.0);

    KIVOGriddedDataIO surface(path, std::move(metadata));
    if (surface.getStatus() != 0) return surface.getStatus();
    KIVOMemAttributeSet node(descriptor);
    for (int i = 0; i <= 40; i += 4) {
        double x = 500000.0 + i, y = 5700000.0 + i * 0.75;
        node.setValue(0, static_cast<float>(20.0 + 0.05 * i));
        node.setValue(1, static_cast<float>(0.25 + 0.01 * i));
        long status = surface.set(x, y, node, descriptor, 1.0);
        if (status != 0) return status;
    }
    return surface.store(nullptr);
}

void printSurface(KIVOSurface& surface) {
    NORVAArray<double> mn = surface.getMinimum(), mx = surface.getMaximum();
    std::printf("surface %s\n", surface.getSourceName().toUTF8().c_str());
    if (mn.size() >= 2 && mx.size() >= 2)
        std::printf("extent: (%.2f, %.2f) - (%.2f, %.2f)\n", mn[0], mn[1], mx[0], mx[1]);
    const KIVODescriptor& descriptor = surface.getAttributeInfo()->getDescriptor();
    for (long i = 0; i < descriptor.getNumberOfAttributes(); ++i)
        std::printf("attribute %ld: %s (type %d)\n", i, descriptor.getAttributeName(i).toUTF8().c_str(),
                    static_cast<int>(descriptor.getAttributeType(i)));
    long status = 0;
    NORVAType<KIVOSurfaceIter> iter =
        surface.query(mn[0], mn[1], mx[0], mx[1], status, false, nullptr, nullptr, 1.0);
    int shown = 0;
    while (iter && !iter->done(status) && shown < 5) {
        double x = 0.0, y = 0.0, depth = 0.0, uncertainty = 0.0;
        iter->getPosition(x, y, -1);
        iter->getAttributes()->getDoubleValue(0, depth, false);
        iter->getAttributes()->getDoubleValue(1, uncertainty, false);
        std::printf("node (%.1f, %.1f): depth %.2f m, uncertainty %.2f m\n", x, y, depth, uncertainty);
        ++shown;
        iter->next(status);
    }
}

// Nodes whose depth lies between 20.5 m and 21.5 m, through a range filter.
void printFilteredQuery(KIVOSurface& surface) {
    NORVAArray<double> mn = surface.getMinimum(), mx = surface.getMaximum();
    long depthIndex = surface.getAttributeInfo()->getDescriptor().getAttributeIndex(kDepth);
    KIVORangeAttributeFilter filter(depthIndex, 20.5, 21.5, KIVORangeAttributeFilter::INSIDE_INCLUSIVE);
    long status = 0;
    NORVAType<KIVOSurfaceIter> iter =
        surface.query(mn[0], mn[1], mx[0], mx[1], status, false, &filter, nullptr, 1.0);
    std::printf("nodes with depth in [20.5, 21.5]:");
    while (iter && !iter->done(status)) {
        double depth = 0.0;
        iter->getAttributes()->getDoubleValue(0, depth, false);
        std::printf(" %.2f", depth);
        iter->next(status);
    }
    std::printf("\n");
}

// The same nodes served as soundings, the way the builders consume surfaces.
void printSoundings(KIVOSurface& surface) {
    NORVAType<KIVOPointIter> soundings = surface.getIterator(nullptr, nullptr);
    long status = 0, depthField = -1, errorField = -1;
    KIVOPointIter::DATA_TYPE type;
    soundings->indexOf(kDepth, depthField, type);
    soundings->indexOf(kVerticalError, errorField, type);
    int count = 0;
    double x = 0.0, y = 0.0, depth = 0.0, error = 0.0;
    while (!soundings->done(status)) {
        if (++count == 3) {
            soundings->getPosition(x, y);
            soundings->get(depthField, depth);
            soundings->get(errorField, error);
        }
        soundings->next(status);
    }
    std::printf("%d soundings; the third at (%.1f, %.1f): depth %.2f m, vertical error %.2f m\n", count, x, y,
                depth, error);
}

// A CUBE surface kept the way a host keeps one, through the grid layer: a
// grid set tiles the surface and holds its CUBE parameters (in the folder
// GridSet::getOutputFolder names beside the surface file); a few nodes are
// given a depth hypothesis from an initialisation surface and that
// hypothesis is nominated; the grids are saved, opened again and
// disambiguated.
using NodeIndex = CUBE::GridSet::Index;
const CUBE::GridSet::Point kCubeOrigin(2000.0, 4000.0), kCubeSpacing(0.5, 0.5);
const NodeIndex kCubeExtent(200, 120);  // nodes: 100 m x 60 m
const double kCubeNodes[][3] = {{2005.0, 4010.0, 31.25}, {2050.0, 4050.0, 33.5}, {2099.0, 4001.0, 30.75}};

NodeIndex nodeAt(double x, double y) {
    return NodeIndex(std::llround((x - kCubeOrigin.x()) / kCubeSpacing.x()),
                     std::llround((y - kCubeOrigin.y()) / kCubeSpacing.y()));
}

// The grid's own index of a surface node, and the cell of its result surfaces.
NodeIndex localIndex(const CUBE::GridIndex& grid, const NodeIndex& node) {
    NORVAnBox<int64_t, 2> cover;
    grid.getCover(cover);
    return node - cover.getMinimum();
}

uint64_t cellOf(const CUBE::Grid& grid, const NodeIndex& local) {
    return static_cast<uint64_t>(local.y() * grid.getDimensions().x() + local.x());
}

NORVAUString inFolder(const NORVAUString& folder, const NORVAUString& name) {
    return NORVAUString(folder.toUTF8() + "/" + name.toUTF8());
}

// Seeds and nominates the hypotheses of the nodes that fall in one new grid.
long fillCubeGrid(CUBE::GridIndex& grid) {
    CUBE::Grid& nodes = grid.getGrid();
    // The largest float seeds no hypothesis.
    auto depths = std::make_shared<CUBE::Grid::Surface>(ORBO_3_12_0_::DataSet::DT_FLOAT32, nodes.getDimensions());
    std::fill(depths->data<float>(), depths->data<float>() + depths->count(), FLT_MAX);
    std::vector<std::pair<NodeIndex, float>> seeded;
    for (const auto& n : kCubeNodes) {
        const NodeIndex local = localIndex(grid, nodeAt(n[0], n[1]));
        if (local.x() < 0 || local.y() < 0 || local.x() >= nodes.getDimensions().x() ||
            local.y() >= nodes.getDimensions().y())
            continue;
        depths->data<float>()[cellOf(nodes, local)] = static_cast<float>(n[2]);
        seeded.emplace_back(local, static_cast<float>(n[2]));
    }
    long status = nodes.setInitializationSurface(depths, nullptr);
    for (const auto& node : seeded)
        if (status == 0) status = nodes.setNomination(node.first, true, node.second);
    return status;
}

long createCubeSurface(const NORVAUString& path) {
    CUBE::GridSet set(SurfaceTypes::IHO_ORDER_1, CUBEParameterFactory::Configuration(), kCubeOrigin, kCubeSpacing,
                      NodeIndex(128, 128), kCubeExtent);
    const NORVAUString folder = CUBE::GridSet::getOutputFolder(path);
    std::error_code made;
    std::filesystem::create_directories(folder.toUTF8(), made);
    std::list<NodeIndex> grids;
    long status = set.getGridsWithin(NORVAnBox<int64_t, 2>(NodeIndex(0, 0), kCubeExtent - NodeIndex(1, 1)), grids);
    for (const NodeIndex& index : grids) {
        if (status != 0) break;
        std::shared_ptr<CUBE::GridIndex> grid = set.createNewGrid(index);
        if (!grid) return -1;
        status = fillCubeGrid(*grid);
        const NORVAUString file = inFolder(folder, CUBE::GridIndex::getFileName(index));
        if (status == 0) status = grid->getGrid().save(&file);
    }
    const NORVAUString setFile = inFolder(folder, CUBE::GridSet::FileName);
    return status != 0 ? status : set.store(&setFile);
}

void printCubeSurface(const NORVAUString& path) {
    std::shared_ptr<CUBE::GridSet> set = CUBE::GridSet::fromSurfaceFile(path);
    if (!set) {
        std::printf("opening the grid set of %s failed\n", path.toUTF8().c_str());
        return;
    }
    std::list<NodeIndex> grids;
    set->getGridsWithin(NORVAnBox<int64_t, 2>(NodeIndex(0, 0), set->getDimensions() - NodeIndex(1, 1)), grids);
    std::printf("CUBE surface %s: %lld x %lld nodes in %zu grids\n", set->getFileName().toUTF8().c_str(),
                static_cast<long long>(set->getDimensions().x()), static_cast<long long>(set->getDimensions().y()),
                grids.size());
    const double unseeded[3] = {2070.0, 4030.0, 0.0};
    for (const double* n : {kCubeNodes[0], kCubeNodes[1], kCubeNodes[2], unseeded}) {
        NodeIndex index;
        std::shared_ptr<CUBE::GridIndex> grid;
        if (set->getIndex(nodeAt(n[0], n[1]), index)) grid = set->getGrid(index);
        if (!grid || grid->getGrid().disambiguate() != 0) {
            std::printf("CUBE node (%.1f, %.1f): grid not read\n", n[0], n[1]);
            continue;
        }
        const CUBE::Grid& nodes = grid->getGrid();
        const uint64_t cell = cellOf(nodes, localIndex(*grid, nodeAt(n[0], n[1])));
        const double depth = nodes.getResult(CUBE::Grid::DEPTH)->getAsDouble(cell);
        const bool nominated = nodes.getResult(CUBE::Grid::NOMINATED)->getAsDouble(cell) > 0.0;
        if (depth < FLT_MAX)
            std::printf("CUBE node (%.1f, %.1f): depth %.2f m%s\n", n[0], n[1], depth, nominated ? ", nominated" : "");
        else
            std::printf("CUBE node (%.1f, %.1f): no depth\n", n[0], n[1]);
    }
}

// Building from soundings: a sloping seabed (5 m deepening to 35 m over
// 60 m) sounded at random positions with 0.2 m of noise.
class SyntheticSoundings : public KIVOPointIter {
public:
    SyntheticSoundings(int count, double x0, double y0) {
        std::mt19937 random(42);
        std::uniform_real_distribution<double> across(0.0, 60.0), along(0.0, 40.0);
        std::normal_distribution<double> noise(0.0, 0.2);
        for (int i = 0; i < count; ++i) {
            const double x = across(random), y = along(random);
            m_soundings.push_back({x0 + x, y0 + y, 5.0 + 0.5 * x + noise(random)});
        }
        // A point iterator stands on its first sounding, or is done at once.
        markDone(m_soundings.empty());
    }
    bool next(long& status) override {
        status = 0;
        if (m_at < m_soundings.size()) ++m_at;
        markDone(m_at >= m_soundings.size());
        return !done(status);
    }
    long getPosition(double& x, double& y) const override {
        if (m_at >= m_soundings.size()) return -1;
        x = m_soundings[m_at].x;
        y = m_soundings[m_at].y;
        return 0;
    }
    const NORVACoordSystem* getCoordSystem() const override { return nullptr; }
    void getAvailable(std::vector<NORVAUString>& names) const override { names = {kDepth}; }
    DATA_TYPE getType(long) const override { return KIVODataType::DOUBLE; }
    long get(long, NORVAUString&) const override { return -1; }
    long get(long, long&) const override { return -1; }
    long get(long index, double& value) const override {
        if (index != 0 || m_at >= m_soundings.size()) return -1;
        value = m_soundings[m_at].depth;
        return 0;
    }
    long count() const override { return static_cast<long>(m_soundings.size()); }
    bool indexOf(const NORVAUString& name, long& index, DATA_TYPE& type) const override {
        index = name == kDepth ? 0 : -1;
        type = KIVODataType::DOUBLE;
        return index == 0;
    }

private:
    struct Sounding {
        double x, y, depth;
    };
    std::vector<Sounding> m_soundings;
    size_t m_at = 0;
};

// Builds a surface of depth statistics; a non-empty table makes it compound.
long buildFromSoundings(const NORVAUString& path, const KIVOResolutionTable& table, double x0 = 500000.0) {
    NORVACoordSystem utm("EPSG:32631", "WGS 84 / UTM zone 31N");
    NORVACover cover(x0, 5700000.0, x0 + 60.0, 5700040.0);
    SyntheticSoundings soundings(3000, x0, 5700000.0);
    KIVOGenerator generator(soundings, utm, cover, kDepth, "m", "");
    generator.setName(path);
    if (table.empty()) generator.setResolution(2.0);
    else generator.setResolutionTable(table);
    generator.setWeightingMethod(KIVOGenerator::REPLACE);
    generator.setReplaceType(KIVOGenerator::LT);  // keep the shoalest sounding as the depth
    generator.setIncDensityAttrib(true);
    generator.setIncMeanAttrib(true);
    generator.setIncStdDevAttrib(true);
    generator.setIncShoalAttrib(true, false);
    generator.setIncDeepAttrib(true, false);
    return generator.generate("example", "synthetic soundings", "sloping seabed", nullptr, nullptr);
}

void printNodeStatistics(const NORVAUString& path) {
    long status = 0;
    NORVAType<KIVOSurface> surface = KIVOSurfaceUtils::open(path, status);
    if (!surface) {
        std::printf("opening %s failed: %ld\n", path.toUTF8().c_str(), status);
        return;
    }
    const KIVODescriptor& d = surface->getAttributeInfo()->getDescriptor();
    std::printf("built %s\n", surface->getSourceName().toUTF8().c_str());
    for (double x : {500005.0, 500030.0, 500055.0}) {
        NORVAType<KIVOSurfaceIter> iter = surface->query(x, 5700020.0, 0.0, status, false, nullptr, nullptr, DBL_MAX);
        if (!iter || iter->done(status)) continue;
        const KIVOAttributeSet* a = iter->getAttributes();
        double nx = 0.0, ny = 0.0;
        iter->getPosition(nx, ny, -1);
        auto value = [&](const NORVAUString& name) {
            double v = NAN;
            const long i = d.getAttributeIndex(name);
            if (i < 0 || !a->isSet(i) || a->getDoubleValue(i, v, false) != 0) v = NAN;
            return v;
        };
        // The mean attribute keeps the running sum of the depths.
        const double count = value(kDensity);
        std::printf("node (%.1f, %.1f): depth %.2f, shoal %.2f, deep %.2f, %g soundings, mean %.2f, std dev %.2f",
                    nx, ny, value(kDepth), value(kShoal), value(kDeep), count, value(kMean) / count,
                    value(kStdDev));
        std::printf("\n");
    }
}

// Combining: where two surfaces overlap, the shoaler node wins.
class ShoalestWins : public KIVODazavazEdora::SurfaceCombinePolicy {
public:
    long Supersede(KIVOSurface& product, const KIVOAttributeSet& productNode, const Vector2D&, const NORVAUString&,
                   KIVOSurface& source, const KIVOAttributeSet& sourceNode, const Vector2D&,
                   const NORVAUString&) override {
        double kept = 0.0, offered = 0.0;
        productNode.getDoubleValue(product.getAttributeInfo()->getDescriptor().getAttributeIndex(kDepth), kept, true);
        sourceNode.getDoubleValue(source.getAttributeInfo()->getDescriptor().getAttributeIndex(kDepth), offered, true);
        return offered < kept ? 2 : 1;
    }
};

long combineSurfaces(const std::vector<NORVAUString>& sources, const NORVAUString& output, long& nodes) {
    KIVODazavazEdora::Combine::Options options;
    options.outputPath = output;
    options.sources = sources;
    options.coordSystem.reset(new NORVACoordSystem("EPSG:32631", "WGS 84 / UTM zone 31N"));
    options.resolution = 2.0;
    options.minX = 500000.0;
    options.minY = 5700000.0;
    options.maxX = 500100.0;
    options.maxY = 5700040.0;
    ShoalestWins policy;
    NORVAType<KIVOSurface> product;
    long status = policy.CreateOutputSurface(options, product);
    nodes = 0;
    for (const NORVAUString& path : sources) {
        if (status != 0) break;
        NORVAType<KIVOSurface> source = KIVOSurfaceUtils::open(path, status);
        if (!source) break;
        NORVAType<KIVOSurfaceIter> node =
            source->query(options.minX, options.minY, options.maxX, options.maxY, status, false, nullptr, nullptr,
                          DBL_MAX);
        for (; node && status == 0 && !node->done(status); node->next(status)) {
            NORVAType<KIVOSurfaceIter> target = policy.getProductIter(*product, *source, *node, status);
            if (!target) break;
            std::unique_ptr<KIVOAttributeSet> set = policy.getSurfaceAtts(*product, *target, *source, *node, status);
            if (set && status == 0) status = policy.setNode(*source, *set, *product, *target);
            ++nodes;
        }
    }
    if (status != 0 || !product) return status != 0 ? status : -1;
    policy.BeforeStoreProductSurface(*product, options);
    status = product->store(nullptr);
    policy.AfterStoreProductSurface(*product, options);
    return status;
}

void printCombined(const NORVAUString& path, long merged) {
    long status = 0;
    NORVAType<KIVOSurface> surface = KIVOSurfaceUtils::open(path, status);
    if (!surface) {
        std::printf("opening %s failed: %ld\n", path.toUTF8().c_str(), status);
        return;
    }
    const KIVODescriptor& d = surface->getAttributeInfo()->getDescriptor();
    std::printf("combined %ld source nodes into %s\n", merged, surface->getSourceName().toUTF8().c_str());
    for (double x : {500010.0, 500050.0, 500090.0}) {
        NORVAType<KIVOSurfaceIter> iter = surface->query(x, 5700020.0, 0.0, status, false, nullptr, nullptr, DBL_MAX);
        if (!iter || iter->done(status)) continue;
        double depth = NAN;
        NORVAUString contributor;
        iter->getAttributes()->getDoubleValue(d.getAttributeIndex(kDepth), depth, false);
        iter->getAttributes()->getStringValue(d.getAttributeIndex(kContributor), contributor, false);
        NORVAUString name;
        const int32_t slash = contributor.lastIndexOf(u'/');
        name = slash >= 0 ? contributor.substring(slash + 1) : contributor;
        std::printf("combined node (%.1f, 5700020.0): depth %.2f m from %s\n", x, depth, name.toUTF8().c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = argc > 1 ? argv[1] : ".";
    NORVAUString path(folder + "/example.vns");
    KIVOMemDescriptor descriptor = makeDescriptor();
    long status = createSurface(path, descriptor);
    if (status != 0) {
        std::fprintf(stderr, "creating the surface failed: %ld\n", status);
        return 1;
    }
    NORVAType<KIVOSurface> surface = KIVOSurfaceUtils::open(path, status);
    if (!surface) {
        std::fprintf(stderr, "opening %s failed: %ld\n", path.toUTF8().c_str(), status);
        return 1;
    }
    printSurface(*surface);
    printFilteredQuery(*surface);
    printSoundings(*surface);

    NORVAUString cubePath(folder + "/example.vcs");
    status = createCubeSurface(cubePath);
    if (status != 0) {
        std::fprintf(stderr, "creating the CUBE surface failed: %ld\n", status);
        return 1;
    }
    printCubeSurface(cubePath);

    for (bool compound : {false, true}) {
        KIVOResolutionTable table;
        if (compound) {
            table[KIVORangeEntry(0.0, 15.0)] = 1.0f;
            table[KIVORangeEntry(15.0, 25.0)] = 2.0f;
            table[KIVORangeEntry(25.0, 50.0)] = 4.0f;
        }
        const NORVAUString built(folder + (compound ? "/built_multi.vns" : "/built_grid.vns"));
        status = buildFromSoundings(built, table);
        if (status != 0) {
            std::fprintf(stderr, "building %s failed: %ld\n", built.toUTF8().c_str(), status);
            return 1;
        }
        printNodeStatistics(compound ? NORVAUString(folder + "/built_multi.kms") : built);
    }

    // A second survey 40 m further east, overlapping the first by 20 m,
    // combined with the first into one surface.
    const NORVAUString east(folder + "/built_east.vns");
    if ((status = buildFromSoundings(east, KIVOResolutionTable(), 500040.0)) != 0) {
        std::fprintf(stderr, "building %s failed: %ld\n", east.toUTF8().c_str(), status);
        return 1;
    }
    const NORVAUString combined(folder + "/combined.vns");
    long merged = 0;
    if ((status = combineSurfaces({NORVAUString(folder + "/built_grid.vns"), east}, combined, merged)) != 0) {
        std::fprintf(stderr, "combining into %s failed: %ld\n", combined.toUTF8().c_str(), status);
        return 1;
    }
    printCombined(combined, merged);
    return 0;
}
