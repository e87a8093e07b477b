#include "cube/CUBEGrid.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cube/CUBEFileMagic.h"
#include "cube_engine/cube.h"
#include "cube_engine/cube_disam.h"
#include "cube_engine/cube_serialise.h"
#include "cube_engine/cube_stream.h"
#include "platform/core/NORVAAtomicFile.h"
#include "platform/core/NORVAByteIO.h"
#include "platform/core/NORVAFileUtils.h"

namespace CUBE {

namespace {

using namespace ORBO_3_12_0_::DataSet;

const auto& kMagic = CUBEFileMagic::kGrid;

// The layout selector of the engine dump inside a version 2 file.
constexpr int kCurrentLayout = 2;

struct SurfaceSpec {
    int surface;
    int32_t type;
    double emptied;
};

// The surfaces disambiguation owns, with the value of an emptied cell.
const SurfaceSpec kOwnedSurfaces[] = {
    {Grid::DEPTH, DT_FLOAT32, CUBE_INVALID_FLOAT},        {Grid::UNCERTAINTY, DT_FLOAT32, CUBE_INVALID_FLOAT},
    {Grid::MEAN, DT_FLOAT32, CUBE_INVALID_FLOAT},         {Grid::STD_DEV, DT_FLOAT32, CUBE_INVALID_FLOAT},
    {Grid::DENSITY, DT_UINT32, 0.0},                      {Grid::NODE_STD_DEV, DT_FLOAT32, CUBE_INVALID_FLOAT},
    {Grid::STRENGTH, DT_FLOAT32, CUBE_INVALID_FLOAT},     {Grid::HYPOTHESIS_COUNT, DT_UINT32, 0.0},
    {Grid::NOMINATED, DT_INT8, 0.0}};

const char* narrowName(const NORVAUString& name, std::string& keep) {
    keep = name.toUTF8();
    return keep.c_str();
}

template <class T>
T* dataOf(const Grid::SurfacePtr& surface) {
    return surface ? surface->data<T>() : nullptr;
}

// Surface rows run opposite to the engine's rows, so a surface is turned
// upside down on its way into the engine.
std::vector<float> engineRows(const Grid::Surface& surface, bool square) {
    const NORVAnPoint<int64_t, 2> size = surface.getDimensions();
    std::vector<float> out(surface.count());
    for (int64_t y = 0; y < size.y(); ++y)
        for (int64_t x = 0; x < size.x(); ++x) {
            const double v = surface.getAsDouble(static_cast<uint64_t>(y * size.x() + x));
            out[static_cast<size_t>((size.y() - 1 - y) * size.x() + x)] = static_cast<float>(square ? v * v : v);
        }
    return out;
}

}  // namespace

Grid::Grid(_cube_param* params) : m_params(params) {}

Grid::Grid(_cube_param* params, const Index& dimensions, const NORVAnPoint<double, 2>& resolution) : m_params(params) {
    if (dimensions.x() > 0 && dimensions.y() > 0 && dimensions.x() <= UINT32_MAX && dimensions.y() <= UINT32_MAX)
        m_grid = cube_grid_new(static_cast<uint32_t>(dimensions.x()), static_cast<uint32_t>(dimensions.y()),
                               static_cast<float>(resolution.x()), static_cast<float>(resolution.y()), CUBE_GRID_NONE);
}

Grid::~Grid() { cube_grid_release(m_grid); }

Grid::Index Grid::getDimensions() const {
    if (m_grid == nullptr) return Index(0, 0);
    uint32_t nx = 0, ny = 0;
    cube_grid_get_dimensions(m_grid, &nx, &ny);
    return Index(nx, ny);
}

NORVAnPoint<double, 2> Grid::getResolution() const {
    if (m_grid == nullptr) return NORVAnPoint<double, 2>(0.0, 0.0);
    float dx = 0.0f, dy = 0.0f;
    cube_grid_get_resolution(m_grid, &dx, &dy);
    return NORVAnPoint<double, 2>(dx, dy);
}

_cube_node* Grid::getNode(const Index& index) const {
    const Index size = getDimensions();
    if (index.x() < 0 || index.y() < 0 || index.x() >= size.x() || index.y() >= size.y()) return nullptr;
    return cube_grid_get_node(m_grid, static_cast<uint32_t>(size.y() - 1 - index.y()),
                              static_cast<uint32_t>(index.x()));
}

long Grid::load(const NORVAUString& path) {
    if (path.isEmpty()) return kCannotLoad;
    m_fileName = path;
    m_modified = false;
    std::string name;
    narrowName(path, name);
    m_readOnly = ::access(name.c_str(), R_OK | W_OK) != 0;
    FILE* file = NORVAFileUtils::openRegularFile(name.c_str());
    if (file == nullptr) return kCannotLoad;
    const long status = loadFrom(file);
    std::fclose(file);
    return status;
}

long Grid::save(const NORVAUString* path) {
    if (path != nullptr) m_fileName = *path;
    if (m_fileName.isEmpty()) return kCannotSave;
    NORVAAtomicFile out;
    if (!out.open(m_fileName)) return kCannotSave;
    const bool wasModified = m_modified;
    const long status = saveTo(out.file());
    if (status != 0) return status;
    if (!out.commit()) {
        // The file on disk is still the old one.
        m_modified = wasModified;
        return kEngineWriteFailed;
    }
    return 0;
}

long Grid::saveTo(FILE* file) {
    if (file == nullptr || m_grid == nullptr) return kNoGrid;
    if (!NORVAByteIO::writeBytes(file, kMagic, sizeof kMagic) || !NORVAByteIO::writeI16(file, kVersion))
        return kHeaderWriteFailed;
    cube_stream stream;
    cube_stream_file(&stream, file);
    if (!cube_grid_serialise(&stream, m_grid, m_params) || std::ferror(file)) return kEngineWriteFailed;
    m_version = kVersion;
    m_modified = false;
    return 0;
}

long Grid::readHeader(FILE* file, int& layout) {
    std::string name;
    narrowName(m_fileName, name);
    uint8_t magic[sizeof kMagic];
    if (!NORVAByteIO::readBytes(file, magic, sizeof magic)) {
        printf("Unable to read header for grid  %s.\n", name.c_str());
        return kBadHeader;
    }
    int16_t version = 0;
    if (std::memcmp(magic, kMagic, sizeof kMagic) != 0 || !NORVAByteIO::readI16(file, version)) {
        printf("Invalid format for grid %s.\n", name.c_str());
        return kBadHeader;
    }
    // Every version below the current one, negative ones included, is read
    // as the older layout; such a grid stays read-only.
    if (version > kVersion) {
        printf("Unsupported version (%d) for grid %s.\n", version, name.c_str());
        return kBadVersion;
    }
    layout = kCurrentLayout;
    if (version < kVersion) {
        uint16_t layoutWord = 0;
        uint32_t modifiedState = 0;
        if (!NORVAByteIO::readU16(file, layoutWord)) {
            printf("Invalid format for grid %s.\n", name.c_str());
            return kBadHeader;
        }
        if (!NORVAByteIO::readU32(file, modifiedState)) {
            printf("Failed to read the modified status for grid %s.\n", name.c_str());
            return kBadHeader;
        }
        layout = layoutWord;
    }
    m_version = version;
    return 0;
}

long Grid::loadFrom(FILE* file) {
    if (file == nullptr) return kNoLoadStream;
    int layout = kCurrentLayout;
    const long status = readHeader(file, layout);
    if (status != 0) return status;
    cube_grid_release(m_grid);
    m_grid = nullptr;
    cube_stream stream;
    cube_stream_file(&stream, file);
    m_grid = cube_grid_deserialise(&stream, m_params, layout);
    // Only the engine grid is replaced: surfaces of its shape stay, so a
    // disambiguated grid reloaded from its file can still be walked; those
    // of another shape (all of them, without a grid) no longer fit it.
    dropSurfacesOfAnotherShape();
    if (m_grid == nullptr) {
        std::string name;
        printf("De-serialize failed for grid %s.\n", narrowName(m_fileName, name));
        return kEngineReadFailed;
    }
    return 0;
}

void Grid::dropSurfacesOfAnotherShape() {
    const Index size = getDimensions();
    for (SurfacePtr& surface : m_surfaces)
        if (surface && (m_grid == nullptr || surface->getDimensions() != size)) surface.reset();
}

void Grid::flush() {
    if (m_grid != nullptr) cube_grid_flush(m_grid, m_params);
}

void Grid::createResultSurfaces() {
    const Index size = getDimensions();
    for (const SurfaceSpec& owned : kOwnedSurfaces) {
        SurfacePtr& surface = m_surfaces[owned.surface];
        if (!surface || surface->getDimensions() != size || surface->getType() != owned.type)
            surface = std::make_shared<Surface>(owned.type, size);
    }
}

long Grid::disambiguate(const NORVAnBox<int64_t, 2>* box) {
    if (m_grid == nullptr) return kNoGrid;
    createResultSurfaces();
    _cube_extractor request;
    cube_grid_init_extractor(&request, m_grid, m_params);
    request.depth = dataOf<float>(m_surfaces[DEPTH]);
    request.strength = dataOf<float>(m_surfaces[STRENGTH]);
    request.mean = dataOf<float>(m_surfaces[MEAN]);
    request.deviation = dataOf<float>(m_surfaces[STD_DEV]);
    request.mean_var_unct = dataOf<float>(m_surfaces[UNCERTAINTY]);
    request.hypothesis_count = dataOf<uint32_t>(m_surfaces[HYPOTHESIS_COUNT]);
    request.node_sample_count = dataOf<uint32_t>(m_surfaces[DENSITY]);
    request.node_deviation = dataOf<float>(m_surfaces[NODE_STD_DEV]);
    if (box != nullptr) {
        // The engine's window is unsigned and clipped only at its far end.
        const Index size = getDimensions();
        auto clamp = [](int64_t v, int64_t hi) { return static_cast<uint32_t>(std::min(std::max<int64_t>(v, 0), hi)); };
        request.first_col = clamp(box->getMinimum().x(), size.x());
        request.first_row = clamp(box->getMinimum().y(), size.y());
        request.end_col = clamp(box->getMaximum().x(), size.x());
        request.end_row = clamp(box->getMaximum().y(), size.y());
    }
    if (!cube_grid_disambiguate(&request)) return kDisambiguationFailed;
    fillNominations();
    return 0;
}

void Grid::fillNominations() {
    int8_t* flags = dataOf<int8_t>(m_surfaces[NOMINATED]);
    if (flags == nullptr) return;
    const Index size = getDimensions();
    for (int64_t y = 0; y < size.y(); ++y)
        for (int64_t x = 0; x < size.x(); ++x)
            flags[y * size.x() + x] = cube_node_is_nominated(getNode(Index(x, y))) ? 1 : -1;
}

Grid::SurfacePtr Grid::getResult(int surface) const {
    return surface >= 0 && surface < SURFACE_COUNT ? m_surfaces[surface] : nullptr;
}

bool Grid::seed(const Surface& depth, const Surface* uncertainty) {
    const std::vector<float> depths = engineRows(depth, false);
    const uint32_t stride = static_cast<uint32_t>(getDimensions().x());
    if (uncertainty == nullptr)
        return cube_grid_init_from_depth(m_grid, m_params, depths.data(), kSeedUncertainty, 0, nullptr, stride) != 0;
    const std::vector<float> variances = engineRows(*uncertainty, true);
    return cube_grid_init_from_surface(m_grid, m_params, depths.data(), variances.data(), nullptr, stride) != 0;
}

long Grid::setInitializationSurface(const SurfacePtr& depth, const SurfacePtr& uncertainty) {
    if (m_grid == nullptr) return kNoGrid;
    if (!depth) return 0;
    if (depth->getDimensions() != getDimensions() ||
        (uncertainty && uncertainty->getDimensions() != depth->getDimensions()))
        return kSurfaceSizeMismatch;
    m_surfaces[INIT_DEPTH] = depth;
    m_surfaces[INIT_UNCERTAINTY] = uncertainty;
    if (!seed(*depth, uncertainty.get())) {
        m_surfaces[INIT_DEPTH].reset();
        m_surfaces[INIT_UNCERTAINTY].reset();
        return kSeedingFailed;
    }
    return 0;
}

long Grid::setNomination(const Index& index, bool nominate, float depth) {
    if (m_grid == nullptr) return kNoGrid;
    if (isReadOnly()) return kReadOnly;
    _cube_node* node = getNode(index);
    if (node == nullptr) return kNoNode;
    const uint64_t cell = static_cast<uint64_t>(index.y() * getDimensions().x() + index.x());
    int8_t* flags = dataOf<int8_t>(m_surfaces[NOMINATED]);
    if (nominate) {
        if (!cube_node_nominate_hypothesis(node, depth)) return kNoNode;
        if (flags != nullptr) flags[cell] = 1;
    } else {
        cube_node_clear_nomination(node);
        if (flags != nullptr) flags[cell] = -1;
    }
    m_modified = true;
    const NORVAnBox<int64_t, 2> one(index, index + Index(1, 1));
    disambiguate(&one);
    return 0;
}

void Grid::resetSurfaces(const Index& index) {
    const Index size = getDimensions();
    if (index.x() < 0 || index.y() < 0 || index.x() >= size.x() || index.y() >= size.y()) return;
    const uint64_t cell = static_cast<uint64_t>(index.y() * size.x() + index.x());
    for (const SurfaceSpec& owned : kOwnedSurfaces) {
        const SurfacePtr& surface = m_surfaces[owned.surface];
        if (surface && cell < surface->count()) surface->setFromDouble(cell, owned.emptied);
    }
}

void Grid::releaseSurfaces() {
    for (SurfacePtr& surface : m_surfaces) surface.reset();
}

}  // namespace CUBE
