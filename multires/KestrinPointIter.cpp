#include "multires/KestrinPointIter.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <new>

#include "multires/KIVOKestrinAttributeSet.h"
#include "multires/KIVOKestrinDataIO.h"
#include "multires/KestrinStatusCodes.h"
#include "multires/KestrinStatusWord.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/kestrin/NORVAKestrinCellDataIO.h"
#include "platform/kestrin/NORVAKestrinTileDataIO.h"
#include "platform/polyops/NORVACompGeom.h"

namespace {

const NORVAUString kDepth("Depth");
const NORVAUString kStatus("Status");
const NORVAUString kUncertainty("Uncertainty");
const NORVAUString kInterpolated("Interpolated");
// Precision of the text of floating-point attributes.
const int kTextPrecision = 3;
// A polygon whose first vertex already lies on this grid is taken as
// digitised on it, and the tolerant test is close enough for it.
const double kSnapTolerance = 1e-6;

bool opensForUpdate(const NORVAUString& path) {
    FILE* f = NORVAFileUtils::openRegularFile(path, true);
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
}

// Cut toward zero and held inside long: empty values (1.8e308) must not
// become undefined conversions.
long wholeNumber(double v) {
    if (std::isnan(v)) return 0;
    const double t = std::trunc(v);
    if (t <= static_cast<double>(LONG_MIN)) return LONG_MIN;
    if (t >= static_cast<double>(LONG_MAX)) return LONG_MAX;
    return static_cast<long>(t);
}

}  // namespace

KestrinPointIter::KestrinPointIter(const NORVAUString& path) : m_path(path) { setStatus(initialize()); }

KestrinPointIter::KestrinPointIter(const NORVAUString& path, NORVAType<Polygon> polygon, bool interpolated)
    : m_path(path), m_interpolated(interpolated) {
    takePolygon(std::move(polygon));
    setStatus(initialize());
}

KestrinPointIter::KestrinPointIter(NORVAKestrinTileStore& store) : m_store(&store) { setStatus(initialize()); }

KestrinPointIter::KestrinPointIter(NORVAKestrinTileStore& store, NORVAType<Polygon> polygon, bool interpolated)
    : m_store(&store), m_interpolated(interpolated) {
    takePolygon(std::move(polygon));
    setStatus(initialize());
}

KestrinPointIter::KestrinPointIter(const NORVAUString& path, const NORVAArray<double>& minimum,
                                   const NORVAArray<double>& maximum)
    : m_box{minimum, maximum}, m_path(path) {
    setStatus(initialize());
}

KestrinPointIter::KestrinPointIter(NORVAKestrinTileStore& store, const NORVAArray<double>& minimum,
                                   const NORVAArray<double>& maximum)
    : m_box{minimum, maximum}, m_store(&store) {
    setStatus(initialize());
}

// The point iterator reads through the store's data-IO, so it goes first.
KestrinPointIter::~KestrinPointIter() {
    m_additionalSet.reset();
    m_points.reset();
}

void KestrinPointIter::takePolygon(NORVAType<Polygon> polygon) {
    m_polygon = std::move(polygon);
    if (!m_polygon) return;
    const NORVAPoint2D first = m_polygon->getFirstVertex();
    double x = first.x(), y = first.y();
    NORVACompGeom::snap(x, y, kSnapTolerance);
    m_approximatePolygonTest = x == first.x() && y == first.y();
}

long KestrinPointIter::initialize() {
    markDone(true);
    m_additionalSet.reset();
    m_points.reset();
    if (long s = openStore()) return s;
    if (long s = readHeader()) return s;
    if (long s = initExtraAtts()) return s;
    m_points = m_store->getDataIO(0)->createPointIterator(makeQuery(), -1);
    if (!m_points) return 0;
    skipRejected();
    markDone(m_points->isAtEnd());
    return 0;
}

// A store opened by an earlier run is kept: opening it again would drop the
// one the caller's points came from.
long KestrinPointIter::openStore() {
    if (m_store != nullptr) return 0;
    NORVAType<NORVAKestrinDataIO> io;
    if (NORVAKestrinDataIO::isCellStorePath(m_path)) io.reset(new (std::nothrow) NORVAKestrinCellDataIO(m_path));
    else
        io.reset(new (std::nothrow) NORVAKestrinTileDataIO(
            m_path, opensForUpdate(m_path) ? NORVAKestrinDataIO::UPDATE : NORVAKestrinDataIO::READ));
    if (!io) return KestrinStatusCodes::FAILED;
    if (io->getStatus() != 0) return io->getStatus();
    auto store = std::make_unique<NORVAKestrinTileStore>(io);
    if (store->getStatus() != 0) return store->getStatus();
    m_ownedStore = std::move(store);
    m_store = m_ownedStore.get();
    return 0;
}

long KestrinPointIter::readHeader() {
    const NORVAKestrinDataIO* io = m_store->getDataIO(0);
    if (io == nullptr) return KestrinStatusCodes::FAILED;
    long status = 0;
    NORVAType<NORVACoordSystem> cs = NORVAKestrinDataIO::getCoordSystem(*io, status);
    if (status != 0) return status;
    m_coordSystem = std::move(cs);
    return 0;
}

const NORVAKestrinGenericDataDescriptor* KestrinPointIter::layout() const {
    const NORVAKestrinPointDataConfig* config = m_store ? m_store->getPointDataConfig() : nullptr;
    return config ? &config->getGenericDataDescriptor() : nullptr;
}

bool KestrinPointIter::validIndex(long index) const {
    const NORVAKestrinGenericDataDescriptor* l = layout();
    return l != nullptr && index >= 0 && index < l->getNumAtts();
}

long KestrinPointIter::initExtraAtts() {
    const NORVAKestrinGenericDataDescriptor* l = layout();
    if (l == nullptr) return KestrinStatusCodes::FAILED;
    std::vector<KIVODescriptor::AttribEntry> entries;
    m_kept.clear();
    m_statusIndex = -1;
    m_interpolatedIndex = -1;
    for (long i = 0; i < l->getNumAtts(); ++i) {
        const NORVAUString& name = l->getAttributeName(i);
        if (name == kDepth) continue;
        if (name == kStatus) {
            if (m_statusIndex < 0) m_statusIndex = i;
            continue;
        }
        auto converted = m_nameConversions.find(name);
        NORVAUString reported = converted != m_nameConversions.end() ? converted->second : name;
        reported.replaceAll(" ", "_");
        KIVODescriptor::AttribEntry entry(reported, KIVOKestrinDataIO::convertType(l->getType(i)));
        // Framework lengths leave out the terminator that the store's size counts.
        if (entry.type == KIVODataType::TEXT && l->getAttributeSize(i) > 0) entry.length = l->getAttributeSize(i) - 1;
        entries.push_back(entry);
        m_kept.push_back(i);
    }
    if (m_interpolated) {
        m_interpolatedIndex = static_cast<long>(entries.size());
        entries.emplace_back(kInterpolated, KIVODataType::UCHAR);
    }
    m_additionalDescriptor = std::make_unique<KIVOMemDescriptor>(entries);
    return 0;
}

NORVAKestrinQuery KestrinPointIter::makeQuery() const {
    if (m_polygon) {
        const NORVABox2D& box = m_polygon->getBoundingBox();
        return NORVAKestrinQuery(NORVAArray<double>{box.getMinimum().x(), box.getMinimum().y()},
                                 NORVAArray<double>{box.getMaximum().x(), box.getMaximum().y()});
    }
    if (m_box.size() >= 2) return NORVAKestrinQuery(m_box[0], m_box[1]);
    return NORVAKestrinQuery(NORVAArray<double>{-DBL_MAX, -DBL_MAX}, NORVAArray<double>{DBL_MAX, DBL_MAX});
}

void KestrinPointIter::skipRejected() {
    while (!m_points->isAtEnd() && skipCurrentRecord()) m_points->advance();
}

bool KestrinPointIter::next(long& status) {
    status = 0;
    if (!m_points || m_points->isAtEnd()) {
        markDone(true);
        return false;
    }
    m_points->advance();
    skipRejected();
    markDone(m_points->isAtEnd());
    return !m_points->isAtEnd();
}

const NORVAKestrinPoint* KestrinPointIter::currentPoint() const {
    if (!m_points || m_points->isAtEnd()) return nullptr;
    return &m_points->current().getKestrinPoint();
}

const NORVAKestrinGenericDataObject* KestrinPointIter::currentRecord() const {
    const NORVAKestrinPoint* point = currentPoint();
    if (point == nullptr || point->getData().getDescriptor() == nullptr) return nullptr;
    return &point->getData();
}

bool KestrinPointIter::insidePolygon(double x, double y) const {
    long status = 0;
    return m_approximatePolygonTest ? m_polygon->isPointInPolygon(x, y, status)
                                    : m_polygon->isPointInPolygonExact(x, y, status, 1);
}

bool KestrinPointIter::skipCurrentRecord() const {
    const NORVAKestrinGenericDataObject* record = currentRecord();
    if (record == nullptr) return false;
    if (m_statusIndex >= 0 && KestrinStatusWord::isRejected(record->getAttributeAsDouble(m_statusIndex)))
        return true;
    if (!m_polygon) return false;
    currentPoint()->getCoord(m_coordinates);
    return !insidePolygon(m_coordinates[0], m_coordinates[1]);
}

long KestrinPointIter::getPosition(double& x, double& y) const {
    const NORVAKestrinPoint* point = currentPoint();
    if (point == nullptr) return KestrinStatusCodes::FAILED;
    point->getCoord(m_coordinates);
    x = m_coordinates[0];
    y = m_coordinates[1];
    return 0;
}

void KestrinPointIter::getAdditionalAttributes(std::vector<NORVAUString>& names) const {
    names.clear();
    if (!m_additionalDescriptor) return;
    for (long i = 0; i < m_additionalDescriptor->getNumberOfAttributes(); ++i)
        names.push_back(m_additionalDescriptor->getAttributeName(i));
}

long KestrinPointIter::getAdditionalAttributes(KIVOAttributeSet*& set, const KIVODescriptor*& descriptor) {
    descriptor = m_additionalDescriptor.get();
    m_additionalSet.reset();
    set = nullptr;
    const NORVAKestrinPoint* point = currentPoint();
    if (point == nullptr) return KestrinStatusCodes::FAILED;
    m_additionalSet = std::make_unique<KestrinCrazyAttSet>(std::make_unique<KIVOKestrinAttributeSet>(*point, nullptr),
                                                           m_kept, m_interpolatedIndex);
    set = m_additionalSet.get();
    return 0;
}

void KestrinPointIter::getAvailable(std::vector<NORVAUString>& names) const {
    names.push_back(kDepth);
    if (m_interpolatedIndex >= 0) names.push_back(kUncertainty);
}

long KestrinPointIter::getAsDouble(long index, double& value) const {
    const NORVAKestrinGenericDataObject* record = currentRecord();
    value = DBL_MAX;
    if (record == nullptr || !validIndex(index)) return KestrinStatusCodes::FAILED;
    value = record->getAttributeAsDouble(index);
    return 0;
}

KIVOPointIter::DATA_TYPE KestrinPointIter::getType(long index) const {
    const NORVAKestrinGenericDataDescriptor* l = layout();
    return l ? KIVOKestrinDataIO::convertType(l->getType(index)) : KIVODataType::DOUBLE;
}

long KestrinPointIter::get(long index, NORVAUString& value) const {
    value = NORVAUString();
    const NORVAKestrinGenericDataObject* record = currentRecord();
    if (record == nullptr) return 0;
    if (!validIndex(index) || record->getAttributeAsText(index, m_text, sizeof m_text, kTextPrecision) != 0)
        return KestrinStatusCodes::FAILED;
    value = NORVAUString(std::string(m_text));
    return 0;
}

long KestrinPointIter::get(long index, long& value) const {
    value = INT32_MAX;
    const NORVAKestrinGenericDataObject* record = currentRecord();
    if (record == nullptr) return 0;
    if (!validIndex(index)) return KestrinStatusCodes::FAILED;
    value = wholeNumber(record->getAttributeAsDouble(index));
    return 0;
}

long KestrinPointIter::get(long index, double& value) const {
    value = DBL_MAX;
    const NORVAKestrinGenericDataObject* record = currentRecord();
    if (record == nullptr) return 0;
    if (!validIndex(index)) return KestrinStatusCodes::FAILED;
    value = record->getAttributeAsDouble(index);
    return 0;
}

long KestrinPointIter::count() const {
    const NORVAKestrinDataIO* io = m_store ? m_store->getDataIO(0) : nullptr;
    return io ? static_cast<long>(io->getNumRecords()) : 0;
}

bool KestrinPointIter::indexOf(const NORVAUString& name, long& index, DATA_TYPE& type) const {
    index = -1;
    const NORVAKestrinGenericDataDescriptor* l = layout();
    if (l == nullptr) return false;
    // An absent name is an answer too (a negative index); only a store
    // without layout has none.
    index = l->getAttributeIndex(name);
    if (index >= 0) type = KIVOKestrinDataIO::convertType(l->getType(index));
    return true;
}

void KestrinPointIter::additionalAttsConvert(const NORVAUString& from, const NORVAUString& to) {
    m_nameConversions[from] = to;
    if (layout() != nullptr) initExtraAtts();
}
