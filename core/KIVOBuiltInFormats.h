#pragma once
// The library's formats, registered with the framework at load time in a
// fixed order. A format folder hands its creator in through `provideCreator`
// (from its own static initialiser), so that this layer names no format class
// above it; until a folder does, its row's creator yields no object.
#include "platform/frame/KIVOSurfaceUtils.h"

namespace KIVOBuiltInFormats {

enum Slot { CUBE_SLOT, WGRID_SLOT, MULTIRES_SLOT, KESTRIN_SLOT, BAG_SLOT, SLOT_COUNT };

void provideCreator(Slot slot, KIVOSurfaceUtils::Creator creator);

// Run after the eighth row, e.g. the multi-resolution plug-in's registration.
using AfterRegistration = void (*)();
void provideAfterRegistration(AfterRegistration hook);

}  // namespace KIVOBuiltInFormats

namespace KIVOSurfaceUtils {
// Registers the eight built-in rows; runs once, from a static initialiser.
void registerBuiltInFormats();
}  // namespace KIVOSurfaceUtils
