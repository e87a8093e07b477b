#include "cube/CUBEGridSet.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/NodeAttributeNames.h"
#include "cube/CUBEUtils.h"
#include "cube/CUBEFileMagic.h"
#include "cube/KIVOCUBEDataHeader.h"
#include "cube_engine/cube_grid.h"
#include "cube_engine/cube_stream.h"
#include "platform/core/NORVAAtomicFile.h"
#include "platform/core/NORVAByteIO.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/pathkit/PathUtilities.h"

namespace CUBE {

const NORVAUString GridSet::FileName("vcg.idx");

namespace {

const auto& kMagic = CUBEFileMagic::kSurface;
const char* const kOutputSuffix = "_V2";
const char* const kHeaderExtension = ".vcs";

// Node counts are held by the engine in 32 bits.
constexpr int64_t kMaxNodes = int64_t(UINT32_MAX);

NORVAUString stemOf(const NORVAUString& path) {
    NORVAUString drive, folder, name;
    PathUtilities::parsePath(path, &drive, &folder, &name, nullptr);
    return drive + folder + name;
}

// A number as the grid file names spell one: decimal, no leading zero.
bool isIndexText(const std::string& text) {
    if (text.empty() || text.size() > 10 || (text[0] == '0' && text.size() > 1)) return false;
    for (const char c : text)
        if (c < '0' || c > '9') return false;
    return std::stoull(text) <= static_cast<uint64_t>(kMaxNodes);
}

// A name GridIndex::getFileName gives: "<row>x<column>.vcg", and the index it names.
bool isGridFileName(const std::string& name, NORVAnPoint<int64_t, 2>& index) {
    const std::string extension = ".vcg";
    const size_t x = name.find('x');
    if (x == std::string::npos || name.size() < extension.size() ||
        name.compare(name.size() - extension.size(), extension.size(), extension) != 0)
        return false;
    const std::string row = name.substr(0, x), column = name.substr(x + 1, name.size() - extension.size() - x - 1);
    if (!isIndexText(row) || !isIndexText(column)) return false;
    index = NORVAnPoint<int64_t, 2>(std::stoll(row), std::stoll(column));
    return true;
}

bool isUsableSpacing(double v) { return std::isfinite(v) && v != 0.0; }

// Grid names hold 32-bit numbers; within that range index times grid size
// stays far from overflowing 64 bits.
bool isNameableIndex(const NORVAnPoint<int64_t, 2>& index) {
    return index.x() >= 0 && index.y() >= 0 && index.x() <= kMaxNodes && index.y() <= kMaxNodes;
}

NORVAnBox<int64_t, 2> intersection(const NORVAnBox<int64_t, 2>& a, const NORVAnBox<int64_t, 2>& b) {
    NORVAnPoint<int64_t, 2> lo, hi;
    for (size_t i = 0; i < 2; ++i) {
        lo[i] = std::max(a.getMinimum()[i], b.getMinimum()[i]);
        hi[i] = std::min(a.getMaximum()[i], b.getMaximum()[i]);
    }
    return NORVAnBox<int64_t, 2>(lo, hi);
}

bool hasArea(const NORVAnBox<int64_t, 2>& box) {
    return box.getMinimum().x() < box.getMaximum().x() && box.getMinimum().y() < box.getMaximum().y();
}

// Copies the nodes of a block of surface nodes from one grid to another;
// engine rows run against node rows in both.
bool copyBlock(GridIndex& from, GridIndex& to, const NORVAnBox<int64_t, 2>& block, const _cube_param* params) {
    NORVAnBox<int64_t, 2> source, target;
    from.getCover(source);
    to.getCover(target);
    const int64_t rows = block.getMaximum().y() - block.getMinimum().y();
    const int64_t cols = block.getMaximum().x() - block.getMinimum().x();
    const int64_t sourceRow = source.getMaximum().y() - block.getMaximum().y();
    const int64_t targetRow = target.getMaximum().y() - block.getMaximum().y();
    return cube_grid_copy_nodes(from.getGrid().getGrid(), to.getGrid().getGrid(), static_cast<uint32_t>(sourceRow),
                                static_cast<uint32_t>(block.getMinimum().x() - source.getMinimum().x()),
                                static_cast<uint32_t>(rows), static_cast<uint32_t>(cols),
                                static_cast<uint32_t>(targetRow),
                                static_cast<uint32_t>(block.getMinimum().x() - target.getMinimum().x()), params) != 0;
}

}  // namespace

GridSet::GridSet(SurfaceTypes::IHOS44Order order, const CUBEParameterFactory::Configuration& config,
                 const Point& origin, const Point& resolution, const Index& gridDimension, const Index& dimensions) {
    // A set without nodes or with a zero grid size would divide by zero.
    if (gridDimension.x() <= 0 || gridDimension.y() <= 0 || dimensions.x() <= 0 || dimensions.y() <= 0 ||
        !isUsableSpacing(resolution.x()) || !isUsableSpacing(resolution.y()))
        return;
    const int engineOrder = order >= 0 && order <= 3 ? static_cast<int>(order) : 4;
    m_params = cube_init_param(engineOrder, resolution.x(), resolution.y());
    if (m_params == nullptr) return;
    config.save(m_params);
    m_dimensions = dimensions;
    m_origin = origin;
    m_resolution = resolution;
    m_gridDimension = Index(std::min(gridDimension.x(), dimensions.x()), std::min(gridDimension.y(), dimensions.y()));
    // A set whose file would be refused on reading is not made at all.
    if (!gridsFitTheBudget()) freeParams();
}

GridSet::GridSet(const NORVAUString& file) {
    if (load(file) != 0) freeParams();
}

GridSet::GridSet(const GridSet& o)
    : m_origin(o.m_origin), m_resolution(o.m_resolution), m_dimensions(o.m_dimensions),
      m_gridDimension(o.m_gridDimension) {
    if (o.m_params == nullptr) return;
    m_params = static_cast<_cube_param*>(std::malloc(sizeof(_cube_param)));
    if (m_params != nullptr) std::memcpy(m_params, o.m_params, sizeof(_cube_param));
}

GridSet::~GridSet() { freeParams(); }

void GridSet::freeParams() {
    std::free(m_params);
    m_params = nullptr;
}

bool GridSet::operator==(const GridSet& o) const {
    bool sameParams = (m_params == nullptr) == (o.m_params == nullptr);
    if (sameParams && m_params != nullptr) {
        uint8_t a[CUBE_PARAM_BYTES], b[CUBE_PARAM_BYTES];
        cube_param_encode(m_params, a);
        cube_param_encode(o.m_params, b);
        sameParams = std::memcmp(a, b, sizeof a) == 0;
    }
    return sameParams && m_origin == o.m_origin && m_resolution == o.m_resolution &&
           m_dimensions == o.m_dimensions && m_gridDimension == o.m_gridDimension && m_fileName == o.m_fileName &&
           m_version == o.m_version;
}

long GridSet::load(const NORVAUString& file) {
    FILE* in = NORVAFileUtils::openRegularFile(file);
    if (in == nullptr) return kCannotRead;
    m_fileName = file;
    const long status = loadFrom(in);
    std::fclose(in);
    return status;
}

long GridSet::store(const NORVAUString* file) {
    if (!isValid() || m_version != kVersion) return kInvalidSet;
    if (file != nullptr) m_fileName = *file;
    NORVAAtomicFile out;
    if (m_fileName.isEmpty() || !out.open(m_fileName)) return kCannotWrite;
    const long status = saveTo(out.file());
    if (status != 0) return status;
    return out.commit() ? 0 : kWriteFailed;
}

long GridSet::saveTo(FILE* file) const {
    using namespace NORVAByteIO;
    if (file == nullptr) return kNoSaveStream;
    bool ok = writeBytes(file, kMagic, sizeof kMagic) && writeI16(file, kVersion);
    for (size_t i = 0; ok && i < 2; ++i) ok = writeF64(file, m_origin[i]);
    for (size_t i = 0; ok && i < 2; ++i) ok = writeF64(file, m_resolution[i]);
    for (size_t i = 0; ok && i < 2; ++i) ok = writeU64(file, static_cast<uint64_t>(m_gridDimension[i]));
    for (size_t i = 0; ok && i < 2; ++i) ok = writeU64(file, static_cast<uint64_t>(m_dimensions[i]));
    if (!ok) return kWriteFailed;
    cube_stream stream;
    cube_stream_file(&stream, file);
    if (!cube_write_params(m_params, &stream) || std::ferror(file)) return kParamsNotWritten;
    return 0;
}

long GridSet::loadFrom(FILE* file) {
    if (file == nullptr) return kNoLoadStream;
    freeParams();
    uint8_t magic[sizeof kMagic];
    int16_t version = 0;
    if (!NORVAByteIO::readBytes(file, magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof kMagic) != 0 ||
        !NORVAByteIO::readI16(file, version))
        return kBadHeader;
    if (version > kVersion || version < 0) return kBadVersion;
    // Versions 0 and 1 are surface headers, whatever their version word says.
    const long status = version == kVersion ? readGeometry(file) : readHeaderGeometry(file);
    if (status != 0) return status;
    m_version = version == kVersion ? kVersion : kHeaderVersion;
    if (!geometryIsSound()) return kBadHeader;
    const long read = readParams(file);
    if (read != 0) return read;
    return gridsFitTheBudget() ? 0 : kBadHeader;
}

long GridSet::readGeometry(FILE* file) {
    using namespace NORVAByteIO;
    uint64_t counts[4];
    bool ok = readF64(file, m_origin[0]) && readF64(file, m_origin[1]) && readF64(file, m_resolution[0]) &&
              readF64(file, m_resolution[1]);
    for (uint64_t& count : counts) ok = ok && readU64(file, count);
    if (!ok) return kBadHeader;
    for (uint64_t count : counts)
        if (count > static_cast<uint64_t>(kMaxNodes)) return kBadHeader;
    m_gridDimension = Index(static_cast<int64_t>(counts[0]), static_cast<int64_t>(counts[1]));
    m_dimensions = Index(static_cast<int64_t>(counts[2]), static_cast<int64_t>(counts[3]));
    return 0;
}

long GridSet::readHeaderGeometry(FILE* file) {
    using namespace NORVAByteIO;
    uint16_t reserved = 0;
    double minX = 0.0, minY = 0.0, maxX = 0.0, maxY = 0.0;
    float resolution = 0.0f;
    uint32_t tile = 0, across = 0, down = 0;
    if (!readU16(file, reserved) || !readF64(file, minX) || !readF64(file, minY) || !readF64(file, maxX) ||
        !readF64(file, maxY) || !readF32(file, resolution) || !readU32(file, tile) || !readU32(file, across) ||
        !readU32(file, down))
        return kBadHeader;
    m_origin = Point(minX, minY + resolution);
    m_resolution = Point(resolution, resolution);
    m_dimensions = Index(std::max(across, tile), std::max(down, tile));
    m_gridDimension = Index(tile, tile);
    return 0;
}

// Every index computation divides by the grid size.
bool GridSet::geometryIsSound() const {
    return isUsableSpacing(m_resolution.x()) && isUsableSpacing(m_resolution.y()) && std::isfinite(m_origin.x()) &&
           std::isfinite(m_origin.y()) && m_gridDimension.x() > 0 && m_gridDimension.y() > 0 &&
           m_dimensions.x() > 0 && m_dimensions.y() > 0;
}

// Grids are allocated whole at their side: no side may pass the largest
// tile the library chooses for the set's parameters at its highest budget.
bool GridSet::gridsFitTheBudget() const {
    const int64_t side = KIVOCUBEDataHeader::largestTileSide(m_params);
    return m_gridDimension.x() <= side && m_gridDimension.y() <= side;
}

long GridSet::readParams(FILE* file) {
    m_params = CUBEUtils::readStoredParams(file);
    return m_params != nullptr ? 0 : kParamsNotRead;
}

bool GridSet::getIndex(const Index& node, Index& index) const {
    if (!isValid() || node.x() < 0 || node.y() < 0 || node.x() > m_dimensions.x() || node.y() > m_dimensions.y())
        return false;
    // Version 1 rows count down from the top node row, so a grid's southmost
    // row stays in that grid.
    const int64_t row = m_version == kVersion ? node.y() / m_gridDimension.y()
                                              : (m_dimensions.y() - 1 - node.y()) / m_gridDimension.y();
    index = Index(row, node.x() / m_gridDimension.x());
    return true;
}

bool GridSet::firstNode(const Index& index, Index& node) const {
    if (!isValid() || !isNameableIndex(index)) return false;
    const int64_t x0 = index.y() * m_gridDimension.x();
    int64_t y0 = index.x() * m_gridDimension.y();
    if (m_version != kVersion) {
        // Rows below the extent would all land on node row 0.
        if (y0 >= m_dimensions.y()) return false;
        y0 = std::max<int64_t>(0, m_dimensions.y() - (index.x() + 1) * m_gridDimension.y());
    }
    if (x0 > m_dimensions.x() || y0 > m_dimensions.y()) return false;
    node = Index(x0, y0);
    return true;
}

void GridSet::getCover(const Index& index, NORVAnBox<int64_t, 2>& box) const {
    const Index lo(index.y() * m_gridDimension.x(), index.x() * m_gridDimension.y());
    Index hi = lo + m_gridDimension;
    Index first = lo;
    if (m_version != kVersion && firstNode(index, first)) hi.y() = m_dimensions.y() - index.x() * m_gridDimension.y();
    box = NORVAnBox<int64_t, 2>(Index(lo.x(), first.y()), hi);
}

long GridSet::getGridsWithin(const NORVAnBox<int64_t, 2>& box, std::list<Index>& indices) const {
    indices.clear();
    if (!isValid()) return kInvalidSet;
    const Index lowNode(std::max<int64_t>(box.getMinimum().x(), 0), std::max<int64_t>(box.getMinimum().y(), 0));
    Index low, high;
    if (!getIndex(lowNode, low)) return 0;
    const Index highNode(std::min(box.getMaximum().x(), m_dimensions.x() - 1),
                         std::min(box.getMaximum().y(), m_dimensions.y() - 1));
    if (!getIndex(highNode, high)) return 0;
    if (high.x() < low.x()) std::swap(low.x(), high.x());
    for (int64_t column = low.y(); column <= high.y(); ++column)
        for (int64_t row = low.x(); row <= high.x(); ++row) indices.push_back(Index(row, column));
    return 0;
}

NORVAUString GridSet::gridFile(const Index& index) const {
    if (m_version == kVersion) return PathUtilities::folderOf(m_fileName) + GridIndex::getFileName(index);
    // Older surfaces keep their grids in a folder named after the surface;
    // some were written beside the header.
    const NORVAUString stem = stemOf(m_fileName);
    NORVAUString name;
    PathUtilities::parsePath(m_fileName, nullptr, nullptr, &name, nullptr);
    const uint32_t row = static_cast<uint32_t>(index.x()), column = static_cast<uint32_t>(index.y());
    const NORVAUString inFolder = CUBEUtils::gridFileName(PathUtilities::appendPath(stem, name), row, column);
    if (NORVAFileUtils::exists(inFolder)) return inFolder;
    return CUBEUtils::gridFileName(stem, row, column);
}

std::shared_ptr<GridIndex> GridSet::makeIndex(std::shared_ptr<Grid> grid, const Index& node,
                                              const Index& index) const {
    const Point world(node.x() * m_resolution.x() + m_origin.x(), node.y() * m_resolution.y() + m_origin.y());
    return std::make_shared<GridIndex>(std::move(grid), node, world, index);
}

std::shared_ptr<GridIndex> GridSet::getGrid(const Index& index) const {
    Index node;
    if (!firstNode(index, node)) return nullptr;
    auto grid = std::make_shared<Grid>(m_params);
    if (grid->load(gridFile(index)) != 0) return nullptr;
    return makeIndex(std::move(grid), node, index);
}

std::shared_ptr<GridIndex> GridSet::createNewGrid(const Index& index) const {
    if (!isValid() || !isNameableIndex(index)) return nullptr;
    const Index node(index.y() * m_gridDimension.x(), index.x() * m_gridDimension.y());
    if (node.x() > m_dimensions.x() || node.y() > m_dimensions.y()) return nullptr;
    auto grid = std::make_shared<Grid>(m_params, m_gridDimension, m_resolution);
    if (grid->getGrid() == nullptr) return nullptr;
    return makeIndex(std::move(grid), node, index);
}

// Copies into a new grid the nodes of every old grid it overlaps; each old
// grid gives only the nodes of its own place in the old tiling, so no node
// is copied twice. An old grid that is there but cannot be read, or a new
// grid that cannot be saved, fails the upgrade: its nodes would be lost.
long GridSet::upgradeGrid(const GridSet& old, const Index& index, const NORVAUString& folder, bool& written) const {
    written = false;
    std::shared_ptr<GridIndex> target = createNewGrid(index);
    if (!target) return 0;
    NORVAnBox<int64_t, 2> cover;
    target->getCover(cover);
    cover = intersection(cover, NORVAnBox<int64_t, 2>(Index(0, 0), m_dimensions));
    if (!hasArea(cover)) return 0;
    std::list<Index> sources;
    old.getGridsWithin(NORVAnBox<int64_t, 2>(cover.getMinimum(), cover.getMaximum() - Index(1, 1)), sources);
    bool copied = false;
    for (const Index& from : sources) {
        std::shared_ptr<GridIndex> source = old.getGrid(from);
        if (!source) {
            if (NORVAFileUtils::exists(old.gridFile(from))) return kCannotRead;
            continue;
        }
        NORVAnBox<int64_t, 2> place, held;
        old.getCover(from, place);
        source->getCover(held);
        const NORVAnBox<int64_t, 2> block = intersection(intersection(cover, place), held);
        if (hasArea(block) && copyBlock(*source, *target, block, m_params)) copied = true;
    }
    if (!copied) return 0;
    const NORVAUString name = PathUtilities::appendPath(folder, GridIndex::getFileName(index));
    const long saved = target->getGrid().save(&name);
    written = saved == 0;
    return saved;
}

NORVAUString GridSet::getOutputFolder(const NORVAUString& surfaceFile) { return stemOf(surfaceFile) + kOutputSuffix; }

// A set file that cannot be read bounds nothing: every grid-named file
// beside it may be one of its grids.
bool GridSet::namesGrid(const Index& index) const {
    if (!isValid() || m_version != kVersion) return true;
    const Index grids = tiling();
    return index.x() < grids.x() && index.y() < grids.y();
}

GridSet::Index GridSet::tiling() const {
    return Index((m_dimensions.y() + m_gridDimension.y() - 1) / m_gridDimension.y(),
                 (m_dimensions.x() + m_gridDimension.x() - 1) / m_gridDimension.x());
}

std::vector<NORVAUString> GridSet::getSetFiles(const NORVAUString& surfaceFile) {
    std::vector<NORVAUString> files;
    const NORVAUString folder = getOutputFolder(surfaceFile);
    std::vector<NORVAUString> names;
    if (NORVAFileUtils::isSymbolicLink(folder) || !NORVAFileUtils::listDirectory(folder, names)) return files;
    // Without its set file the folder holds no set: what is named like a
    // grid there is someone else's (a user's, another surface's).
    const NORVAUString setFile = PathUtilities::appendPath(folder, FileName);
    if (!NORVAFileUtils::isPlainFile(setFile)) return files;
    files.push_back(setFile);
    const GridSet set(setFile);
    for (const NORVAUString& name : names) {
        const NORVAUString path = PathUtilities::appendPath(folder, name);
        Index index;
        if (isGridFileName(name.toUTF8(), index) && set.namesGrid(index) && NORVAFileUtils::isPlainFile(path))
            files.push_back(path);
    }
    return files;
}

std::shared_ptr<GridSet> GridSet::fromSurfaceFile(const NORVAUString& surfaceFile) {
    const NORVAUString setFile = PathUtilities::appendPath(getOutputFolder(surfaceFile), FileName);
    const NORVAUString header = stemOf(surfaceFile) + kHeaderExtension;
    std::shared_ptr<GridSet> set;
    if (NORVAFileUtils::exists(setFile))
        set = std::make_shared<GridSet>(setFile);
    else if (NORVAFileUtils::exists(header))
        set = std::make_shared<GridSet>(header);
    return set && set->isValid() ? set : nullptr;
}

std::shared_ptr<GridSet> GridSet::upgrade(const GridSet& old, long& status) {
    status = 0;
    if (old.m_version > kHeaderVersion || !old.isValid()) return nullptr;
    std::shared_ptr<GridSet> set(new GridSet(old));
    if (!set->isValid()) return nullptr;
    const NORVAUString folder = getOutputFolder(old.m_fileName);
    if (NORVAFileUtils::isSymbolicLink(folder) || !NORVAFileUtils::makeDirectory(folder) ||
        set->holdsOthersFiles(folder)) {
        status = kCannotWrite;
        return set;
    }
    const Index grids = set->tiling();
    const int64_t rows = grids.x(), columns = grids.y();
    std::vector<NORVAUString> written;
    for (int64_t row = 0; status == 0 && row < rows; ++row)
        for (int64_t column = 0; status == 0 && column < columns; ++column) {
            bool saved = false;
            status = set->upgradeGrid(old, Index(row, column), folder, saved);
            if (saved) written.push_back(PathUtilities::appendPath(folder, GridIndex::getFileName(Index(row, column))));
        }
    // Without its set file the new tiling is not the one in force: the old
    // surface stays the one read while a grid of the new one is missing.
    if (status == 0) {
        const NORVAUString file = PathUtilities::appendPath(folder, FileName);
        status = set->store(&file);
    }
    if (status != 0)
        for (const NORVAUString& grid : written) NORVAFileUtils::removeFile(grid);
    return set;
}

// A file the upgrade would write is there already: the folder named like
// the surface's set is also a user's, or another surface's.
bool GridSet::holdsOthersFiles(const NORVAUString& folder) const {
    std::vector<NORVAUString> names;
    if (!NORVAFileUtils::listDirectory(folder, names)) return true;
    for (const NORVAUString& name : names) {
        Index index;
        if (name == FileName || (isGridFileName(name.toUTF8(), index) && namesGrid(index))) return true;
    }
    return false;
}

}  // namespace CUBE
