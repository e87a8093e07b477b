#include "platform/kestrin/NORVAKestrinDataIO.h"

#include <sys/stat.h>

#include "platform/core/NORVAFileTransaction.h"
#include "platform/core/NORVASurfacePin.h"
#include "platform/kestrin/KestrinPointsFileVfs.h"
#include "platform/kestrin/KestrinStatus.h"
#include "platform/kestrin/KestrinStoreType.h"
#include "platform/kestrin/NORVAKestrinHeader.h"
#include "platform/pathkit/PathUtilities.h"
#include "platform/proj/NORVACoordSystem.h"

namespace {

// A cell store's header; it is not a registered surface format.
const bool kCellStoreExtensionKnown = (PathUtilities::addKnownExtension(".kcs"), true);

bool sameFile(const NORVAUString& a, const NORVAUString& b) {
    struct stat sa {}, sb {};
    if (::stat(a.toUTF8().c_str(), &sa) != 0 || ::stat(b.toUTF8().c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

NORVAKestrinDataIO::NORVAKestrinDataIO(const NORVAKestrinPointDataConfig& config) {
    adoptConfig(config);
    long status = 0;
    m_db = NORVAKestrinDatabase::createInMemory(m_layout, m_originY, m_resolution, status);
    setStatus(status);
}

NORVAKestrinDataIO::NORVAKestrinDataIO(const NORVAUString& headerPath, bool writable) : m_headerPath(headerPath) {
    NORVAKestrinPointDataConfig config;
    long status = NORVAKestrinHeader::read(headerPath, config);
    long pointsStatus = 0;
    m_db = NORVAKestrinDatabase::openFile(pointsPathFor(headerPath), writable, pointsStatus);
    // The points file keeps the header it was stored with: when a store was
    // cut short between its two files, that copy describes the points.
    std::vector<uint8_t> copy;
    NORVAKestrinPointDataConfig stored;
    if (m_db && m_db->readHeaderCopy(copy) == 0 && !copy.empty() &&
        NORVAKestrinHeader::decode(copy.data(), copy.size(), stored) == 0) {
        config = stored;
        status = 0;
    }
    adoptConfig(config);
    if (status == 0) status = pointsStatus;
    if (status == 0) {
        m_db->useGrid(m_originY, m_resolution);
        status = m_db->useLayout(m_layout);
    }
    if (status != 0) m_db.reset();
    setStatus(status);
}

NORVAKestrinDataIO::~NORVAKestrinDataIO() = default;

void NORVAKestrinDataIO::adoptConfig(const NORVAKestrinPointDataConfig& config) {
    m_config = std::make_unique<NORVAKestrinPointDataConfig>(config);
    m_layout = std::make_shared<const NORVAKestrinGenericDataDescriptor>(config.getGenericDataDescriptor());
    NORVAArray<double> mn, mx;
    config.getCover(mn, mx);
    m_originX = mn[0];
    m_originY = mn[1];
    m_resolution = config.getHorizontalResolution();
}

const NORVAKestrinGenericDataDescriptor& NORVAKestrinDataIO::getGenericDataDescriptor() const { return *m_layout; }

bool NORVAKestrinDataIO::isCellStorePath(const NORVAUString& path) {
    return path.length() >= 3 && path.substring(path.length() - 3).equalsIgnoreCase("kcs");
}

NORVAUString NORVAKestrinDataIO::stemOf(const NORVAUString& headerPath) {
    NORVAUString drive, folder, name;
    PathUtilities::parsePath(headerPath, &drive, &folder, &name, nullptr);
    return drive + folder + name;
}

NORVAUString NORVAKestrinDataIO::pointsPathFor(const NORVAUString& headerPath) {
    return stemOf(headerPath) + (isCellStorePath(headerPath) ? ".kcf" : ".ktf");
}

void NORVAKestrinDataIO::rangeOf(long index, double& minimum, double& maximum) const {
    const int32_t type = m_layout->getType(index);
    minimum = maximum = KestrinStoreType::hasEmptyValue(type) ? KestrinStoreType::emptyValue(type) : 0.0;
    bool found = false;
    double lo = 0.0, hi = 0.0;
    if (m_db && m_db->attributeRange(index, lo, hi, found) == 0 && found) {
        minimum = lo;
        maximum = hi;
    }
}

double NORVAKestrinDataIO::getMinAttValue(long index) const {
    double lo = 0.0, hi = 0.0;
    rangeOf(index, lo, hi);
    return lo;
}

double NORVAKestrinDataIO::getMaxAttValue(long index) const {
    double lo = 0.0, hi = 0.0;
    rangeOf(index, lo, hi);
    return hi;
}

void NORVAKestrinDataIO::getCover(NORVAArray<double>& minimum, NORVAArray<double>& maximum) const {
    m_config->getCover(minimum, maximum);
}

int64_t NORVAKestrinDataIO::getNumRecords() const {
    int64_t count = 0;
    if (!m_db || m_db->countPoints(count) != 0) return 0;
    return count;
}

NORVAType<NORVACoordSystem> NORVAKestrinDataIO::getCoordSystem(const NORVAKestrinDataIO& io, long& status) {
    NORVAUString s1, s2, s3;
    io.m_config->getCoordinateInfo(s1, s2, s3);
    auto cs = makeNORVAType<NORVACoordSystem>(s1, s2, s3);
    status = cs->getStatus();
    if (status != 0) return NORVAType<NORVACoordSystem>();
    return cs;
}

NORVAType<NORVAKestrinDataPointIterator> NORVAKestrinDataIO::createPointIterator(const NORVAKestrinQuery& query,
                                                                                 long) {
    if (!m_db) return NORVAType<NORVAKestrinDataPointIterator>();
    NORVAKestrinDataPointIterator::Window window{query.getMinX(), query.getMinY(), query.getMaxX(), query.getMaxY()};
    const double half = query.hasReach() ? query.getReach() : m_config->getHorizontalResolution() / 2.0;
    if (query.isPointQuery()) {
        window.minX -= half;
        window.minY -= half;
        window.maxX += half;
        window.maxY += half;
    }
    std::vector<int64_t> ids;
    // A point query serves the nearest point first.
    long status = query.isPointQuery() ? m_db->queryNearest(query.getMinX(), query.getMinY(), half, ids)
                                       : m_db->queryIds(window.minX, window.minY, window.maxX, window.maxY, ids);
    // Asked after the read: unchanged then, the read was of the points opened.
    if (status == 0) status = m_db->unchangedSinceOpened();
    return NORVAType<NORVAKestrinDataPointIterator>(
        new NORVAKestrinDataPointIterator(*this, std::move(ids), status, window));
}

NORVAKestrinPoint NORVAKestrinDataIO::makePoint(int64_t id, double x, double y,
                                                NORVAKestrinGenericDataObject record) const {
    return NORVAKestrinPoint(id, x, y, std::move(record),
                             NORVAKestrinMortonKey::fromPosition(x, y, m_originX, m_originY, m_resolution));
}

long NORVAKestrinDataIO::loadPoint(int64_t id, NORVAKestrinPoint& point) {
    if (!m_db) return KestrinStatus::BAD_ARGUMENT;
    double x = 0.0, y = 0.0;
    NORVAKestrinGenericDataObject record;
    if (long s = m_db->loadPoint(id, x, y, record)) return s;
    if (long s = m_db->unchangedSinceOpened()) return s;
    point = makePoint(id, x, y, record);
    return 0;
}

void NORVAKestrinDataIO::loadPoints(const int64_t* ids, size_t count,
                                    std::vector<std::pair<long, NORVAKestrinPoint>>& out, uint64_t foundAt) {
    out.assign(count, {KestrinStatus::BAD_ARGUMENT, NORVAKestrinPoint()});
    if (!m_db) return;
    std::vector<NORVAKestrinDatabase::Loaded> loaded;
    m_db->loadPoints(ids, count, loaded, foundAt);
    const long changed = m_db->unchangedSinceOpened();
    for (size_t i = 0; i < count; ++i) {
        out[i].first = changed != 0 ? changed : loaded[i].status;
        if (loaded[i].status == 0)
            out[i].second = makePoint(ids[i], loaded[i].x, loaded[i].y, std::move(loaded[i].record));
    }
}

long NORVAKestrinDataIO::addPoints(const std::vector<NORVAKestrinDatabase::NewPoint>& points,
                                   std::vector<int64_t>* ids) {
    if (!m_db) return KestrinStatus::WRITE_FAILED;
    return m_db->insertPoints(points, ids);
}

long NORVAKestrinDataIO::updatePoint(int64_t id, const NORVAKestrinGenericDataObject& record,
                                     const std::vector<long>* fields) {
    if (!m_db) return KestrinStatus::WRITE_FAILED;
    return m_db->updatePoint(id, record, fields);
}

long NORVAKestrinDataIO::store(const NORVAUString& headerPath) {
    const long status = storeFiles(headerPath);
    // A session left open would keep every other writer of the file waiting.
    if (status != 0) dropSession();
    return status;
}

void NORVAKestrinDataIO::dropSession(long why) {
    if (m_db) m_db->dropSession(why);
}

long NORVAKestrinDataIO::storeFiles(const NORVAUString& headerPath) {
    if (!m_db) return KestrinStatus::WRITE_FAILED;
    const NORVAUString points = pointsPathFor(headerPath);
    // Whoever opened the points file there next would meet it, as SQLite
    // would in place: the store writes nothing beside it.
    if (KestrinPointsFileVfs::foreignSideFile(points.toUTF8())) return NORVASurfacePin::kBlocked;
    const bool inPlace = !m_db->isInMemory() && sameFile(m_db->getPath(), points);
    if (inPlace && !m_db->isWritable()) return KestrinStatus::WRITE_FAILED;
    // The points keep a copy of their header inside: whenever the header
    // file is replaced too late or not at all, they still open with the
    // header that describes them.
    const NORVAByteIO::Buffer header = NORVAKestrinHeader::encode(*m_config);
    long status = m_db->isWritable() ? m_db->writeHeaderCopy(header) : 0;
    // Checked before the commit is decided: a damaged file is reported as
    // such, and left as it was.
    if (status == 0 && m_db->isWritable()) status = m_db->checkSchemaTree();
    if (status != 0) return status;
    // In place inside a multi-file commit, SQLite's commit is the commit's
    // deciding step: the other files follow it, or are dropped without it.
    NORVAFileTransaction* files = inPlace ? NORVAFileTransaction::current() : nullptr;
    NORVAKestrinDatabase* db = m_db.get();
    const bool joined = files && files->decideBy(points, [db](const std::string& token) {
        return db->writeCommitToken(token) == 0 && db->commit() == 0;
    });
    if (!joined) status = inPlace ? m_db->commit() : m_db->copyTo(points);
    if (status != 0) return status;
    return NORVAKestrinHeader::write(headerPath, *m_config);
}
