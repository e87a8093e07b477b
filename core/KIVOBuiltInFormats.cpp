#include "core/KIVOBuiltInFormats.h"

#include <new>

#include "core/SurfaceAttributeNames.h"
#include "platform/frame/KIVOMEROIGADataIO.h"

namespace {

struct Providers {
    KIVOSurfaceUtils::Creator creators[KIVOBuiltInFormats::SLOT_COUNT] = {};
    KIVOBuiltInFormats::AfterRegistration after = nullptr;
    bool registered = false;
};

// Function-local so that providers may call in from initialisers of any
// source file, whatever order the runtime runs them in.
Providers& providers() {
    static Providers p;
    return p;
}

NORVAType<KIVOSurfaceDataIO> createFrom(KIVOBuiltInFormats::Slot slot, const NORVAUString& path) {
    KIVOSurfaceUtils::Creator creator = providers().creators[slot];
    return creator ? creator(path) : NORVAType<KIVOSurfaceDataIO>();
}

NORVAType<KIVOSurfaceDataIO> createCUBE(const NORVAUString& path) {
    return createFrom(KIVOBuiltInFormats::CUBE_SLOT, path);
}
NORVAType<KIVOSurfaceDataIO> createWGrid(const NORVAUString& path) {
    return createFrom(KIVOBuiltInFormats::WGRID_SLOT, path);
}
NORVAType<KIVOSurfaceDataIO> createMultiRes(const NORVAUString& path) {
    return createFrom(KIVOBuiltInFormats::MULTIRES_SLOT, path);
}
NORVAType<KIVOSurfaceDataIO> createKestrin(const NORVAUString& path) {
    return createFrom(KIVOBuiltInFormats::KESTRIN_SLOT, path);
}
NORVAType<KIVOSurfaceDataIO> createBAG(const NORVAUString& path) {
    return createFrom(KIVOBuiltInFormats::BAG_SLOT, path);
}
NORVAType<KIVOSurfaceDataIO> createIGA(const NORVAUString& path) {
    return NORVAType<KIVOSurfaceDataIO>(new (std::nothrow) KIVOMEROIGADataIO(path));
}
// A PFM file is opened only by constructing its data-IO directly.
NORVAType<KIVOSurfaceDataIO> createPFM(const NORVAUString&) { return NORVAType<KIVOSurfaceDataIO>(); }

}  // namespace

namespace KIVOBuiltInFormats {

void provideCreator(Slot slot, KIVOSurfaceUtils::Creator creator) {
    if (slot >= 0 && slot < SLOT_COUNT) providers().creators[slot] = creator;
}

void provideAfterRegistration(AfterRegistration hook) {
    Providers& p = providers();
    p.after = hook;
    if (p.registered && hook) hook();
}

}  // namespace KIVOBuiltInFormats

namespace KIVOSurfaceUtils {

void registerBuiltInFormats() {
    Providers& p = providers();
    if (p.registered) return;
    registerDataIO("CUBE Format", ".vcs", CUBE, &createCUBE, true);
    registerDataIO("Weighted Grid Format", ".def", WEIGHTED_GRID, &createWGrid, true);
    registerDataIO("Multi Res Format", ".kms", MULTI_RESOLUTION, &createMultiRes, false);
    registerDataIO("Kestrin Format", ".kps", TILE_STORE, &createKestrin, false);
    registerDataIO("Kestrin Format", ".kts", TILE_STORE, &createKestrin, false);
    registerDataIO("BAG Format", ".bag", BAG, &createBAG, true);
    registerDataIO("MERO IGA Format", ".iga", IGA_PFM, &createIGA, true);
    registerDataIO("PFM Format", ".pfm", IGA_PFM, &createPFM, true);
    p.registered = true;
    if (p.after) p.after();
}

}  // namespace KIVOSurfaceUtils

namespace {
struct RegisterAtLoad {
    RegisterAtLoad() { KIVOSurfaceUtils::registerBuiltInFormats(); }
} registerAtLoad;
}  // namespace
