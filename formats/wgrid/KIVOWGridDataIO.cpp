#include "formats/wgrid/KIVOWGridDataIO.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <ostream>

#include <sys/types.h>

#include "core/KIVOBuiltInFormats.h"
#include "formats/wgrid/KIVOSurfaceWGridMetaData.h"
#include "formats/wgrid/KIVOWGridIter.h"
#include "platform/core/NORVAFileTransaction.h"
#include "platform/core/NORVASurfaceLock.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/pathkit/PathUtilities.h"
#include "platform/plugio/ioprocclass.h"
#include "platform/shapes/NORVAAreaGeometry.h"
#include "platform/shapes/NORVALineGeometry.h"
#include "platform/shapes/NORVAPointGeometry.h"

namespace {

NORVAType<KIVOSurfaceDataIO> createWGridSurface(const NORVAUString& path) {
    return NORVAType<KIVOSurfaceDataIO>(new (std::nothrow) KIVOWGridDataIO(path, NORVAUString("Depth")));
}

const bool kRegistered =
    (KIVOBuiltInFormats::provideCreator(KIVOBuiltInFormats::WGRID_SLOT, &createWGridSurface), true);

constexpr long kBad = WGridStatus::kBadDefinition;
constexpr size_t kReadChunk = 64 * 1024;

bool fileHolds(const NORVAUString& path, uint64_t position, uint64_t bytes) {
    uint64_t size = 0;
    return NORVAFileUtils::fileSize(path, size) && position <= size && bytes <= size - position;
}

float decodeF32(const uint8_t* p) {
    const uint32_t bits = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                          static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    float v;
    static_assert(sizeof v == sizeof bits, "32-bit float");
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// `count` little-endian floats from `position` of the file; the caller has
// checked that the file holds them.
bool readFloats(const NORVAUString& path, int64_t position, std::vector<float>& out) {
    FILE* f = NORVAFileUtils::openRegularFile(path);
    if (!f) return false;
    bool ok = fseeko(f, static_cast<off_t>(position), SEEK_SET) == 0;
    std::vector<uint8_t> chunk(kReadChunk);
    for (size_t at = 0; ok && at < out.size();) {
        const size_t n = std::min(out.size() - at, kReadChunk / 4);
        ok = std::fread(chunk.data(), 4, n, f) == n;
        for (size_t i = 0; ok && i < n; ++i) out[at + i] = decodeF32(chunk.data() + 4 * i);
        at += n;
    }
    std::fclose(f);
    return ok;
}

float depthOf(float sum, float weight) {
    if (!(weight > 0.0f)) return KIVOWGridDataIO::emptyValue(false);
    const double d = static_cast<double>(sum) / static_cast<double>(weight);
    // A quotient no float can hold is no depth.
    return std::isfinite(d) && std::fabs(d) <= FLT_MAX ? static_cast<float>(d) : KIVOWGridDataIO::emptyValue(false);
}

uint8_t intensityOf(float sum, float weight) {
    if (!(weight > 0.0f)) return 0;
    const double v = std::trunc(static_cast<double>(sum) / static_cast<double>(weight));
    if (!(std::fabs(v) < 9.2e18)) return 0;
    return static_cast<uint8_t>(static_cast<uint64_t>(static_cast<int64_t>(v)) & 0xFFu);
}

}  // namespace

float KIVOWGridDataIO::emptyValue(bool intensity) { return intensity ? 0.0f : FLT_MAX; }

// Entered into the budget once its definition is read: the budget reads the
// fragment size from other threads.
KIVOWGridDataIO::KIVOWGridDataIO(const NORVAUString& path, const NORVAUString& representation) {
    m_definition.representation = representation;
    m_status = open(path);
    KIVOResourceManager::m_instance.add(this);
}

KIVOWGridDataIO::~KIVOWGridDataIO() { KIVOResourceManager::m_instance.remove(this); }

long KIVOWGridDataIO::open(const NORVAUString& path) {
    NORVAUString drive, folder, name;
    PathUtilities::parsePath(path, &drive, &folder, &name, nullptr);
    m_stem = drive + folder + name;
    m_defPath = m_stem + WGridKeywords::kDefExtension;
    m_definition.currentVersion = WGridKeywords::kCurrentVersion;
    // A rename cut short by a crash is finished before reading, and the
    // definition and raster header are read while no rename moves them.
    NORVASurfaceLock reading;
    const long held = NORVAFileTransaction::holdForReading(m_stem, reading);
    if (held != 0) return held == -1 ? static_cast<long>(WGridStatus::kFileOperation) : held;
    m_pin.take(m_defPath);

    long status = m_definition.parseFile(m_defPath);
    if (status != 0) return status;
    if ((status = checkGeometry()) != 0) return status;
    m_intensity = m_definition.representation.equalsIgnoreCase(NORVAUString(WGridKeywords::kIntensity));
    if ((status = readRasterHeader()) != 0) return status;
    if (!m_coordSystem) return WGridStatus::kNoRasterHeader;
    m_metadata = std::make_unique<KIVOSurfaceWGridMetaData>(*this);
    return m_metadata->getStatus();
}

// Sizes that would divide by zero or describe no raster are refused, and the
// derived geometry must be finite.
long KIVOWGridDataIO::checkGeometry() {
    WGridDefinition& d = m_definition;
    if (d.pixelsX == 0 || d.pixelsY == 0 || d.fragmentSize == 0) return kBad;
    if (!std::isfinite(d.resolution) || !(d.resolution > 0.0)) return kBad;
    const double width = static_cast<double>(d.pixelsX) * d.resolution;
    const double height = static_cast<double>(d.pixelsY) * d.resolution;
    const double swX = d.centerX - width / 2.0, swY = d.centerY - height / 2.0;
    if (!std::isfinite(width) || !std::isfinite(height) || !std::isfinite(swX + width) ||
        !std::isfinite(swY + height))
        return kBad;
    m_fragsX = d.pixelsX / d.fragmentSize + 1;
    m_fragsY = d.pixelsY / d.fragmentSize + 1;
    // A ".weight" too short for its index is refused now rather than at the
    // first query; a missing one is reported when the index is needed.
    uint64_t weightSize = 0;
    if (NORVAFileUtils::fileSize(m_stem + WGridKeywords::kWeightExtension, weightSize) &&
        m_fragsX * m_fragsY > weightSize / 8u)
        return kBad;
    d.width = width;
    d.height = height;
    d.swCorner[0] = swX;
    d.swCorner[1] = swY;
    d.neCorner[0] = swX + width;
    d.neCorner[1] = swY + height;
    return 0;
}

// The surface's own "stem.des" when there is one, else the first "*.des" of
// the folder in sorted order.
long KIVOWGridDataIO::readRasterHeader() {
    const NORVAUString folder = PathUtilities::folderOf(m_stem);
    NORVAUString name;
    PathUtilities::parsePath(m_stem, nullptr, nullptr, &name, nullptr);
    std::vector<NORVAUString> entries;
    if (!NORVAFileUtils::listDirectory(folder.isEmpty() ? NORVAUString(".") : folder, entries))
        return WGridStatus::kNoRasterHeader;
    const NORVAUString own = name + ".des";
    NORVAUString chosen;
    for (const NORVAUString& e : entries) {
        if (!e.endsWithIgnoreCase(NORVAUString(".des")) || !NORVAFileUtils::isRegularFile(folder + e)) continue;
        if (e.equalsIgnoreCase(own)) {
            chosen = e;
            break;
        }
        if (chosen.isEmpty()) chosen = e;
    }
    if (chosen.isEmpty()) return WGridStatus::kNoRasterHeader;

    ioprocclass header(folder + chosen);
    long status = header.open();
    if (status == 0) status = header.getHeader();
    if (status == 0) m_coordSystem = header.makeCosys(status);
    header.close();
    return status;
}

void KIVOWGridDataIO::print(std::ostream& os) const {
    os << "KIVOWGridDataIO(" << m_defPath << ", status " << m_status << ", " << m_definition.pixelsX << " x "
       << m_definition.pixelsY << " pixels, fragments of " << m_definition.fragmentSize << ", resolution "
       << m_definition.resolution << (m_intensity ? ", intensity" : ", depth") << ")";
}

NORVAArray<double> KIVOWGridDataIO::getMinimum() const {
    return NORVAArray<double>{m_definition.swCorner[0], m_definition.swCorner[1]};
}

NORVAArray<double> KIVOWGridDataIO::getMaximum() const {
    return NORVAArray<double>{m_definition.neCorner[0], m_definition.neCorner[1]};
}

KIVOSurfaceMetaData* KIVOWGridDataIO::getMetaData() { return m_metadata.get(); }
const KIVOSurfaceMetaData* KIVOWGridDataIO::getMetaData() const { return m_metadata.get(); }

void KIVOWGridDataIO::getPixelDim(uint32_t& nx, uint32_t& ny) const {
    nx = m_definition.pixelsX;
    ny = m_definition.pixelsY;
}

long KIVOWGridDataIO::flush() {
    KIVOResourceManager::Lock lock = KIVOResourceManager::m_instance.hold();
    m_depthCache.clear();
    m_intensityCache.clear();
    KIVOResourceManager::m_instance.resetMemoryLimit();
    return 0;
}

uint64_t KIVOWGridDataIO::getHeldBytes() const {
    KIVOResourceManager::Lock lock = KIVOResourceManager::m_instance.hold();
    const uint64_t cells = static_cast<uint64_t>(m_definition.fragmentSize) * m_definition.fragmentSize;
    uint64_t held = 8u * static_cast<uint64_t>(m_index.size());
    for (const auto& e : m_depthCache)
        if (e.second) held += 4u * cells;
    for (const auto& e : m_intensityCache)
        if (e.second) held += cells;
    return held;
}

// Fragments are read again on demand; failures remembered in the cache are
// forgotten with them.
void KIVOWGridDataIO::releaseCache() {
    KIVOResourceManager::Lock lock = KIVOResourceManager::m_instance.hold();
    m_depthCache.clear();
    m_intensityCache.clear();
}

bool KIVOWGridDataIO::reserve(uint64_t bytes) { return KIVOResourceManager::m_instance.take(bytes, this); }

// The index and the fragment caches change only with the budget's lock
// held: the budget reads and frees them from other threads.
long KIVOWGridDataIO::readGridIndex() {
    KIVOResourceManager::Lock lock = KIVOResourceManager::m_instance.hold();
    if (!m_index.empty()) return 0;
    if (m_status != 0 || m_fragsX == 0) return m_status != 0 ? m_status : kBad;
    const NORVAUString path = m_stem + WGridKeywords::kWeightExtension;
    FILE* f = NORVAFileUtils::openRegularFile(path);
    uint64_t size = 0;
    if (!f || !NORVAFileUtils::fileSize(path, size)) {
        if (f) std::fclose(f);
        return WGridStatus::kCannotOpenWeight;
    }
    // fx and fy are below 2^32, so the count fits; the bytes are compared by
    // division so that nothing wraps.
    const uint64_t count = m_fragsX * m_fragsY;
    if (count > size / 8u) {
        std::fclose(f);
        return kBad;
    }
    if (!reserve(8u * count)) {
        std::fclose(f);
        return WGridStatus::kNoMemory;
    }
    std::vector<int64_t> index;
    try {
        index.resize(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
        std::fclose(f);
        return WGridStatus::kNoMemory;
    }
    std::vector<uint8_t> chunk(kReadChunk);
    bool ok = true;
    for (size_t at = 0; ok && at < index.size();) {
        const size_t n = std::min(index.size() - at, kReadChunk / 8);
        ok = std::fread(chunk.data(), 8, n, f) == n;
        for (size_t i = 0; ok && i < n; ++i) {
            uint64_t v = 0;
            for (int b = 7; b >= 0; --b) v = v << 8 | chunk[8 * i + static_cast<size_t>(b)];
            index[at + i] = static_cast<int64_t>(v);
        }
        at += n;
    }
    std::fclose(f);
    if (!ok) return WGridStatus::kFailed;
    m_index.swap(index);
    KIVOResourceManager::m_instance.resetMemoryLimit();
    return 0;
}

int64_t KIVOWGridDataIO::getIndexEntry(uint64_t fragment) const {
    return fragment < m_index.size() ? m_index[static_cast<size_t>(fragment)] : 0;
}

bool KIVOWGridDataIO::readFragmentData(int64_t position, std::vector<float>& weights,
                                       std::vector<float>& sums) const {
    const uint64_t cells = static_cast<uint64_t>(m_definition.fragmentSize) * m_definition.fragmentSize;
    const NORVAUString weightPath = m_stem + WGridKeywords::kWeightExtension;
    const NORVAUString sumPath = m_stem + WGridKeywords::kSumExtension;
    const uint64_t at = static_cast<uint64_t>(position);
    if (!fileHolds(weightPath, at, 4u * cells) || !fileHolds(sumPath, at, 4u * cells)) return false;
    try {
        weights.resize(static_cast<size_t>(cells));
        sums.resize(static_cast<size_t>(cells));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return readFloats(weightPath, position, weights) && readFloats(sumPath, position, sums);
}

template <class Fragment, class Make>
Fragment KIVOWGridDataIO::fetch(std::map<uint64_t, Fragment>& cache, uint64_t fragment, uint64_t bytes,
                                Make make) {
    KIVOResourceManager::Lock lock = KIVOResourceManager::m_instance.hold();
    const auto found = cache.find(fragment);
    if (found != cache.end()) return found->second;
    if (fragment >= m_fragsX * m_fragsY || readGridIndex() != 0) return nullptr;
    const int64_t position = getIndexEntry(fragment);
    if (position <= 0) return nullptr;
    if (!reserve(bytes)) return nullptr;
    Fragment result;
    std::vector<float> weights, sums;
    if (readFragmentData(position, weights, sums)) {
        try {
            result = make(weights, sums);
        } catch (const std::bad_alloc&) {
            result = nullptr;
        }
    }
    cache[fragment] = result;
    KIVOResourceManager::m_instance.resetMemoryLimit();
    return result;
}

KIVOWGridDataIO::DepthFragment KIVOWGridDataIO::getDepthFragment(uint64_t fragment) {
    if (m_intensity) return nullptr;
    const uint64_t cells = static_cast<uint64_t>(m_definition.fragmentSize) * m_definition.fragmentSize;
    return fetch(m_depthCache, fragment, 4u * cells,
                 [](const std::vector<float>& weights, const std::vector<float>& sums) {
                     auto values = std::make_shared<std::vector<float>>(weights.size());
                     for (size_t i = 0; i < weights.size(); ++i) (*values)[i] = depthOf(sums[i], weights[i]);
                     return DepthFragment(values);
                 });
}

KIVOWGridDataIO::IntensityFragment KIVOWGridDataIO::getIntensityFragment(uint64_t fragment) {
    if (!m_intensity) return nullptr;
    const uint64_t cells = static_cast<uint64_t>(m_definition.fragmentSize) * m_definition.fragmentSize;
    return fetch(m_intensityCache, fragment, cells,
                 [](const std::vector<float>& weights, const std::vector<float>& sums) {
                     auto values = std::make_shared<std::vector<uint8_t>>(weights.size());
                     for (size_t i = 0; i < weights.size(); ++i) (*values)[i] = intensityOf(sums[i], weights[i]);
                     return IntensityFragment(values);
                 });
}

long KIVOWGridDataIO::getDepth(uint32_t column, uint32_t row, float& value) {
    if (m_status != 0 || column >= m_definition.pixelsX || row >= m_definition.pixelsY) return WGridStatus::kFailed;
    const uint64_t s = m_definition.fragmentSize;
    const uint64_t fragment = (row / s) * m_fragsX + column / s;
    const size_t cell = static_cast<size_t>((row % s) * s + column % s);
    if (m_intensity) {
        IntensityFragment f = getIntensityFragment(fragment);
        if (!f) return WGridStatus::kFailed;
        value = static_cast<float>((*f)[cell]);
    } else {
        DepthFragment f = getDepthFragment(fragment);
        if (!f) return WGridStatus::kFailed;
        value = (*f)[cell];
    }
    return 0;
}

long KIVOWGridDataIO::diskToUserUnits(double column, double row, double& x, double& y) const {
    x = column * m_definition.resolution + m_definition.swCorner[0];
    y = row * m_definition.resolution + m_definition.swCorner[1];
    return 0;
}

// Whole pixels by floor, so that a position just west or south of the raster
// is outside it rather than truncated onto its first column or row.
long KIVOWGridDataIO::userToDiskUnits(double x, double y, int64_t& column, int64_t& row, bool round) const {
    if (m_status != 0) return WGridStatus::kFailed;
    const double add = round ? 0.5 : 0.0;
    const double c = std::floor((x - m_definition.swCorner[0]) / m_definition.resolution + add);
    const double r = std::floor((y - m_definition.swCorner[1]) / m_definition.resolution + add);
    if (!(c >= 0.0 && c < static_cast<double>(m_definition.pixelsX)) ||
        !(r >= 0.0 && r < static_cast<double>(m_definition.pixelsY)))
        return WGridStatus::kFailed;
    column = static_cast<int64_t>(c);
    row = static_cast<int64_t>(r);
    return 0;
}

NORVAType<KIVOSurfaceIter> KIVOWGridDataIO::failedQuery(long& status) const {
    status = m_status != 0 ? m_status : WGridStatus::kFailed;
    return NORVAType<KIVOSurfaceIter>();
}

NORVAType<KIVOSurfaceIter> KIVOWGridDataIO::query(double x0, double y0, double x1, double y1, bool create,
                                                  long& status, NORVAProgress* progress, double resolution) {
    if (m_status != 0 || !m_metadata) return failedQuery(status);
    auto iter = makeNORVAType<KIVOWGridIter>(*this, x0, y0, x1, y1, progress);
    iter->done(status);
    return NORVAType<KIVOSurfaceIter>(std::move(iter));
}

NORVAType<KIVOSurfaceIter> KIVOWGridDataIO::query(const NORVAGeometry& geometry, bool create, long& status,
                                                  NORVAProgress* progress, double resolution) {
    if (m_status != 0 || !m_metadata) return failedQuery(status);
    NORVAType<KIVOWGridIter> iter;
    switch (geometry.getType()) {
        case NORVAGeometry::AREA:
            iter = makeNORVAType<KIVOWGridIter>(*this, static_cast<const NORVAAreaGeometry&>(geometry), progress);
            break;
        case NORVAGeometry::LINE:
            iter = makeNORVAType<KIVOWGridIter>(*this, static_cast<const NORVALineGeometry&>(geometry).getPoints(),
                                                false, progress);
            break;
        case NORVAGeometry::POINT: {
            const auto& p = static_cast<const NORVAPointGeometry&>(geometry);
            iter = makeNORVAType<KIVOWGridIter>(*this, std::vector<NORVAPoint2D>{NORVAPoint2D(p.getX(), p.getY())},
                                                true, progress);
            break;
        }
        default:
            iter = makeNORVAType<KIVOWGridIter>(*this);
            break;
    }
    iter->done(status);
    return NORVAType<KIVOSurfaceIter>(std::move(iter));
}

long KIVOWGridDataIO::getAssociatedFiles(std::vector<NORVAUString>& files) const {
    files.push_back(m_stem + WGridKeywords::kWeightExtension);
    files.push_back(m_stem + WGridKeywords::kSumExtension);
    files.push_back(m_stem + WGridKeywords::kDefExtension);
    return 0;
}

long KIVOWGridDataIO::deleteAllFiles(bool keepOpen) {
    {
        KIVOResourceManager::Lock lock = KIVOResourceManager::m_instance.hold();
        releaseCache();
        m_index.clear();
        KIVOResourceManager::m_instance.resetMemoryLimit();
    }
    (void)NORVAFileTransaction::recover(m_stem);
    std::vector<NORVAUString> files;
    getAssociatedFiles(files);
    long result = 0;
    for (const NORVAUString& f : files)
        if (NORVAFileUtils::exists(f) && !NORVAFileUtils::removeFile(f)) result = WGridStatus::kFileOperation;
    if (!NORVAFileTransaction::leftovers(m_stem).empty()) result = WGridStatus::kFileOperation;
    return result;
}

long KIVOWGridDataIO::rename(const NORVAUString& newName) {
    NORVAUString name = newName;
    const NORVAUString def(WGridKeywords::kDefExtension);
    if (name.endsWithIgnoreCase(def)) name = name.substring(0, name.length() - def.length());
    if (name.isEmpty() || name.indexOf(u'/') >= 0) return WGridStatus::kFileOperation;
    const NORVAUString newStem = PathUtilities::folderOf(m_stem) + name;
    if (newStem == m_stem) return 0;

    for (const NORVAUString& s : {m_stem, newStem})
        if (const long recovered = NORVAFileTransaction::recoverStatus(s, WGridStatus::kFileOperation))
            return recovered;
    const char* extensions[] = {WGridKeywords::kWeightExtension, WGridKeywords::kSumExtension,
                                WGridKeywords::kDefExtension};
    for (const char* ext : extensions)
        if (NORVAFileUtils::exists(newStem + ext)) return WGridStatus::kFileOperation;  // never over another surface
    // All three names change in one commit: a crash leaves the old or the new.
    NORVAFileTransaction transaction(m_stem);
    transaction.guard(m_pin, newStem + WGridKeywords::kDefExtension);
    transaction.journalAlsoAt(newStem);
    for (const char* ext : extensions) transaction.move(m_stem + ext, newStem + ext);
    if (const long status = transaction.commitStatus(WGridStatus::kFileOperation)) return status;
    m_stem = newStem;
    m_defPath = newStem + WGridKeywords::kDefExtension;
    return 0;
}
