// A host program built against the installed library: it stores, opens and
// queries a gridded surface, edits and stores it through the surface facade,
// opens a CUBE surface by name, and reads a BAG file without "BAG_HOME" (the
// installed schema). Exits non-zero on the first thing that differs.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/KIVORangeAttributeFilter.h"
#include "core/KIVOSurfaceOpen.h"
#include "core/SurfaceAttributeNames.h"
#include "cube/CUBEUtils.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOSurfaceUtils.h"

#include "BagTestSupport.h"  // the tests' BAG fixture writer

namespace {

int failures = 0;

void check(bool ok, const std::string& what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
    if (!ok) ++failures;
}

NORVAType<KIVOSurfaceXMLMetaData> metadataFor(const NORVAUString& path, const KIVODescriptor& descriptor,
                                             double width, double resolution) {
    NORVAType<KIVOSurfaceAttributeTable> table(new KIVOSurfaceAttributeTable(KIVOMetaAttribute(descriptor)));
    NORVAType<KIVOSurfaceXMLMetaData> metadata(new KIVOSurfaceXMLMetaData(std::move(table), path));
    metadata->setLowerLeft(1000.0, 2000.0);
    metadata->setDimensions(width, width);
    metadata->setResolution(resolution);
    return metadata;
}

// Nodes of the surface whose depth lies in [low, high], through a filter.
int countDepthsWithin(KIVOSurface& surface, double low, double high, double& sum) {
    const NORVAArray<double> mn = surface.getMinimum(), mx = surface.getMaximum();
    KIVORangeAttributeFilter filter(0, low, high, KIVORangeAttributeFilter::INSIDE_INCLUSIVE);
    long status = 0;
    NORVAType<KIVOSurfaceIter> iter = surface.query(mn[0], mn[1], mx[0], mx[1], status, false, &filter, nullptr, 1.0);
    int count = 0;
    sum = 0.0;
    while (iter && !iter->done(status)) {
        double depth = 0.0;
        iter->getAttributes()->getDoubleValue(0, depth, false);
        sum += depth;
        ++count;
        iter->next(status);
    }
    return count;
}

void griddedSurface(const std::string& folder) {
    const NORVAUString path(folder + "/consumer.vns");
    KIVOMemDescriptor descriptor({KIVODescriptor::AttribEntry(SurfaceAttributeNames::kDepth, KIVODataType::FLOAT)});
    {
        KIVOGriddedDataIO created(path, metadataFor(path, descriptor, 10.0, 1.0));
        KIVOMemAttributeSet node(descriptor);
        for (int i = 0; i <= 10; ++i) {
            node.setValue(0, static_cast<float>(10 + i));
            created.set(1000.0 + i, 2000.0 + i, node, descriptor, 1.0);
        }
        check(created.getStatus() == 0 && created.store(nullptr) == 0, "gridded surface stored");
    }
    long status = 0;
    NORVAType<KIVOSurface> surface = KIVOSurfaceUtils::open(path, status);
    check(surface && status == 0, "gridded surface opened by name");
    if (!surface) return;
    check(KIVOSurfaceUtils::getSurfaceType(path) == KIVOSurfaceUtils::GRIDDED, "gridded surface type");
    double sum = 0.0;
    check(countDepthsWithin(*surface, 12.0, 14.0, sum) == 3 && sum == 39.0, "filtered query of the gridded surface");

    KIVOMemAttributeSet node(descriptor);
    node.setValue(0, 13.5f);
    check(surface->set(1005.0, 2005.0, node, descriptor, 1.0) == 0 && surface->store(nullptr) == 0,
          "node edited and stored through the surface");
    surface = KIVOSurfaceUtils::open(path, status);
    check(surface && countDepthsWithin(*surface, 13.5, 13.5, sum) == 1, "edited node read back");
}

void cubeSurface(const std::string& folder) {
    // Not "consumer": the gridded surface's metadata holds that name.
    const NORVAUString path(folder + "/consumer_cube.vcs");
    std::unique_ptr<KIVODescriptor> descriptor = CUBEUtils::getDescriptor(false);
    {
        NORVAType<KIVOSurfaceXMLMetaData> metadata = metadataFor(path, *descriptor, 50.0, 0.5);
        KIVOSurfaceCUBEIO created(path, metadata, CUBEUtils::getParams(0, 0.5f));
        check(created.getStatus() == 0 && created.store(nullptr) == 0 && created.close() == 0,
              "CUBE surface created and stored");
    }
    long status = 0;
    NORVAType<KIVOSurface> surface = KIVOSurfaceUtils::open(path, status);
    check(surface && status == 0 && KIVOSurfaceUtils::getSurfaceType(path) == KIVOSurfaceUtils::CUBE,
          "CUBE surface opened by name");
    const bool covers = surface && surface->getMinimum()[0] <= 1000.0 && surface->getMinimum()[1] <= 2000.0 &&
                        surface->getMaximum()[0] >= 1050.0 && surface->getMaximum()[1] >= 2050.0;
    check(covers, "CUBE surface extent read back");
}

void bagFile(const std::string& folder) {
    const std::string path = folder + "/consumer.bag";
    check(bagtest::writeBag(path, bagtest::Bag::grid(4, 5)), "BAG fixture written");
    long status = 0;
    NORVAType<KIVOSurface> surface = KIVOSurfaceUtils::open(path, status);
    check(surface && status == 0, "BAG file opened without BAG_HOME (status " + std::to_string(status) + ")");
    double sum = 0.0;
    check(surface && countDepthsWithin(*surface, -1000.0, 1000.0, sum) == 20, "BAG nodes queried");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SCRATCH_FOLDER\n", argv[0]);
        return 2;
    }
    unsetenv("BAG_HOME");
    griddedSurface(argv[1]);
    cubeSurface(argv[1]);
    bagFile(argv[1]);
    return failures == 0 ? 0 : 1;
}
