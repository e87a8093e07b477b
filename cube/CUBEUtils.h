#pragma once
// Free functions that the CUBE data-IO class and the host share: method
// names, the parameter block's XML form, parameter blocks for a survey order,
// the CUBE attribute layout, a memory estimate, and the names of the files
// that make up a CUBE surface.
#include <libxml/tree.h>

#include <cstdint>
#include <cstdio>
#include <memory>

#include "cube_engine/cube_forward.h"
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAUString.h"
#include "platform/frame/KIVODescriptor.h"

// Hypothesis disambiguation methods, numbered as the engine stores them.
enum CubeExtractor : int32_t {
    CUBE_DENSITY = 0,
    CUBE_LIKELIHOOD = 1,
    CUBE_DENSITY_LIKELIHOOD = 2,
    CUBE_INITIALIZATION_SURFACE = 3,
    CUBE_LOCALE = 4,
    CUBE_DENSITY_LOCALE = 5,
    CUBE_UNKNOWN = 6
};

namespace CUBEUtils {

KIVO_EXPORT bool disamTypeToString(CubeExtractor method, NORVAUString& name);
// An unknown name gives CUBE_UNKNOWN; names match exactly, case included.
KIVO_EXPORT bool stringToDisamType(const NORVAUString& name, CubeExtractor& method);

// Reads the tuning values of one parameter-set element into the block; a
// missing or unparsable value leaves its word as it was.
KIVO_EXPORT void readParams(_cube_param* params, _xmlNode& set);
// Appends "key = value; " for each tuning value of the block.
KIVO_EXPORT void paramsToString(const _cube_param* params, NORVAUString& text);

// A block for an IHO order (anything outside 0..4 counts as 0) and a node
// spacing, with the user's parameter file applied; the caller frees it.
KIVO_EXPORT _cube_param* getParams(int ihoOrder, float resolution);

// Reads a stored parameter block through the engine: a block cut short, as
// versions with fewer parameters wrote it, keeps the defaults behind the
// bytes present. Null only when no block could be made at all.
KIVO_EXPORT _cube_param* readStoredParams(FILE* file);

// The attributes of a CUBE surface; their positions are the attribute
// indices of queries and layer-cache files.
KIVO_EXPORT std::unique_ptr<KIVODescriptor> getDescriptor(bool withGuide);

// Bytes a surface of that extent needs; 0 for an extent or resolution that
// describes no nodes.
KIVO_EXPORT uint64_t estimateSize(double width, double height, double resolution);

// Files of a surface, from its grid prefix (folder/stem/stem). An attribute
// name that is not a plain name (PathUtilities::isPlainName) gives no layer
// file name at all (empty): the name comes from the surface's metadata and
// must never lead out of the grid folder.
KIVO_EXPORT NORVAUString gridFileName(const NORVAUString& prefix, uint32_t row, uint32_t column);
KIVO_EXPORT NORVAUString layerFileName(const NORVAUString& prefix, const NORVAUString& attribute, uint32_t row,
                           uint32_t column);
// Creates the folder of the grid files (one level); true when it exists afterwards.
KIVO_EXPORT bool makeGridFolder(const NORVAUString& prefix);

}  // namespace CUBEUtils
