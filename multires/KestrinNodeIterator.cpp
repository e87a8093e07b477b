#include "multires/KestrinNodeIterator.h"

#include <algorithm>

#include "multires/KestrinCloudStatus.h"
#include "multires/KestrinGeoCloud.h"
#include "multires/KestrinStatusWord.h"
#include "platform/kestrin/KestrinStoreType.h"

using namespace ORBO_3_12_0_::DataSet::Cloud;

namespace {

const NORVAUString kStatus("Status");

}  // namespace

KestrinNodeIterator::KestrinNodeIterator(const KestrinGeoCloud& cloud, const NORVACover& cover,
                                         const std::vector<unsigned>& bandIds, NORVAKestrinDataIO& dataIO,
                                         unsigned depthBand, bool nodeIndex, long& status)
    : m_cloud(&cloud), m_bandIds(bandIds), m_dataIO(&dataIO), m_depthBand(depthBand), m_nodeIndex(nodeIndex) {
    setDone(true);
    status = 0;
    NORVAType<NORVACover> inCloud;
    if (cover.getCoordSystem() != nullptr && cloud.getCoordSys() != nullptr) {
        inCloud = cover.transformTo(*cloud.getCoordSys(), status);
        if (status != 0) return;
    } else {
        inCloud = cover.newCopy();
    }
    const NORVABox2D& a = inCloud->getBox();
    const NORVABox2D& b = cloud.getCover().getBox();
    if (!a.intersects(b)) return;
    const NORVAArray<double> mn{std::max(a.getMinimum().x(), b.getMinimum().x()),
                                std::max(a.getMinimum().y(), b.getMinimum().y())};
    const NORVAArray<double> mx{std::min(a.getMaximum().x(), b.getMaximum().x()),
                                std::min(a.getMaximum().y(), b.getMaximum().y())};
    status = start(mn == mx ? NORVAKestrinQuery(mn) : NORVAKestrinQuery(mn, mx));
}

// Area geometries come in the cloud's own coordinates.
KestrinNodeIterator::KestrinNodeIterator(const KestrinGeoCloud& cloud, const NORVAGeometry& area,
                                         const std::vector<unsigned>& bandIds, NORVAKestrinDataIO& dataIO,
                                         unsigned depthBand, bool nodeIndex, long& status)
    : m_cloud(&cloud), m_bandIds(bandIds), m_dataIO(&dataIO), m_depthBand(depthBand), m_nodeIndex(nodeIndex) {
    setDone(true);
    status = 0;
    if (area.getType() != NORVAGeometry::AREA) {
        status = KestrinCloudStatus::FAILED;
        return;
    }
    m_area = area.newCopy();
    m_polygon = std::make_unique<NORVACompGeom::NORVAPolygonPrimitive>(static_cast<const NORVAAreaGeometry&>(area));
    const NORVABox2D box = area.getBoundingBox();
    if (box.isEmpty()) return;
    status = start(NORVAKestrinQuery(NORVAArray<double>{box.getMinimum().x(), box.getMinimum().y()},
                                     NORVAArray<double>{box.getMaximum().x(), box.getMaximum().y()}));
}

KestrinNodeIterator::~KestrinNodeIterator() = default;

long KestrinNodeIterator::start(const NORVAKestrinQuery& query) {
    m_points = m_dataIO->createPointIterator(query, -1);
    if (!m_points) return KestrinCloudStatus::NO_DATA_IO;
    return init();
}

const NORVAKestrinPoint* KestrinNodeIterator::currentPoint() const {
    if (!m_points || m_points->isAtEnd()) return nullptr;
    return &m_points->current().getKestrinPoint();
}

bool KestrinNodeIterator::insideArea(const NORVAKestrinPoint& point) const {
    if (!m_polygon) return true;
    long status = 0;
    return m_polygon->isPointInPolygon(point.getX(), point.getY(), status, false);
}

void KestrinNodeIterator::takeStates(const NORVAKestrinPoint& point) {
    m_states.reset();
    const NORVAKestrinGenericDataObject::Field* field =
        m_statusIndex >= 0 ? point.getData().getAttribute(m_statusIndex, false) : nullptr;
    if (field == nullptr) return;
    const uint32_t word = KestrinStatusWord::wordOf(field->number);
    m_states.set(kRejectedState, (word & KestrinStatusWord::kRejectedBit) != 0);
    m_states.set(kDesignatedState, (word & KestrinStatusWord::kDesignatedBit) != 0);
}

// Each candidate's own state bits are taken before it is checked.
void KestrinNodeIterator::settle() {
    for (; !m_points->isAtEnd(); m_points->advance()) {
        const NORVAKestrinPoint& point = m_points->current().getKestrinPoint();
        if (!insideArea(point)) continue;
        takeStates(point);
        if (passesStateCheck()) return;
    }
    m_states.reset();
}

long KestrinNodeIterator::init() {
    setDone(true);
    if (!m_points) return KestrinCloudStatus::NO_DATA_IO;
    const NORVAKestrinGenericDataDescriptor* layout = m_dataIO->getLayout().get();
    if (layout == nullptr) return KestrinCloudStatus::NO_RECORD_LAYOUT;
    m_statusIndex = layout->getAttributeIndex(kStatus);
    m_points->reset();
    m_counter = 0;
    settle();
    m_values.clear();
    for (unsigned id : m_bandIds) {
        std::shared_ptr<const GeoCloudBand> band = m_cloud->getBand(id);
        if (!band) return KestrinCloudStatus::NO_SUCH_BAND;
        m_values.push_back(band->getDefaultValue());
    }
    // An area without nodes is an empty answer, not a failure.
    if (m_points->isAtEnd()) return 0;
    setDone(false);
    return updateData();
}

bool KestrinNodeIterator::next() {
    if (done() || !m_points) return false;
    ++m_counter;
    m_points->advance();
    settle();
    if (m_points->isAtEnd()) {
        setDone(true);
        return false;
    }
    return updateData() == 0;
}

long KestrinNodeIterator::updateData() {
    const NORVAKestrinPoint* point = currentPoint();
    if (point == nullptr) return KestrinCloudStatus::NO_CURRENT_POINT;
    if (point->getData().getDescriptor() == nullptr) return KestrinCloudStatus::NO_RECORD;
    for (size_t i = 0; i < m_bandIds.size(); ++i)
        if (long s = readBand(i, *point)) return s;
    takeStates(*point);
    return 0;
}

long KestrinNodeIterator::readBand(size_t i, const NORVAKestrinPoint& point) {
    CloudValue& value = m_values[i];
    const unsigned id = m_bandIds[i];
    if (id == m_cloud->getIndexBandID()) {
        // The point's own id in the store: its cell key would be shared by
        // every point of a cell, and the id survives storing and reopening.
        value.setInt64(m_nodeIndex ? static_cast<uint64_t>(point.getId()) : static_cast<uint64_t>(m_counter));
        return 0;
    }
    const long attribute = m_cloud->getAttributeIndex(id);
    const NORVAKestrinGenericDataObject::Field* field = point.getData().getAttribute(attribute, false);
    if (field == nullptr) return KestrinCloudStatus::NO_VALUE;
    if (KestrinStoreType::isText(point.getData().getDescriptor()->getType(attribute))) value.setText(field->text);
    else value.setNumber(id == m_depthBand ? -field->number : field->number);
    return 0;
}

long KestrinNodeIterator::getPosition(NORVAPoint3D& position, unsigned) const {
    const NORVAKestrinPoint* point = currentPoint();
    if (point == nullptr || done()) return KestrinCloudStatus::NO_CURRENT_POINT;
    position[0] = point->getX();
    position[1] = point->getY();
    const CloudValue* depth = getValue(m_depthBand);
    if (depth == nullptr) return KestrinCloudStatus::NO_DEPTH_VALUE;
    position[2] = depth->getAsDouble();
    return 0;
}

long KestrinNodeIterator::getPosition(NORVAPoint2D& position, unsigned) const {
    const NORVAKestrinPoint* point = currentPoint();
    if (point == nullptr || done()) return KestrinCloudStatus::NO_CURRENT_POINT;
    position[0] = point->getX();
    position[1] = point->getY();
    return 0;
}

long KestrinNodeIterator::setPosition(const NORVAPoint3D&, unsigned) { return KestrinCloudStatus::NOT_OFFERED; }

BandType KestrinNodeIterator::getBandType(unsigned bandId) const {
    std::shared_ptr<const GeoCloudBand> band = m_cloud->getBand(bandId);
    return band ? band->getType() : BandType();
}

const ORBO_3_12_0_::DataSet::GeoBandSet* KestrinNodeIterator::getBandSet() const { return m_cloud; }
