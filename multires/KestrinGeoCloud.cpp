#include "multires/KestrinGeoCloud.h"

#include <new>

#include "multires/KestrinCloudStatus.h"
#include "multires/KestrinGeoCloudBand.h"
#include "multires/KestrinNodeIterator.h"
#include "platform/kestrin/NORVAKestrinCellDataIO.h"
#include "platform/kestrin/NORVAKestrinTileDataIO.h"
#include "platform/pathkit/PathUtilities.h"

namespace {

const NORVAUString kDepth("Depth");
const NORVAUString kStatus("Status");
const NORVAUString kIndex("Index");

}  // namespace

KestrinGeoCloud::KestrinGeoCloud(const NORVAUString& path, long& status, bool nodeIndex, bool statusBand)
    : m_path(path), m_nodeIndex(nodeIndex), m_statusBand(statusBand) {
    status = open();
}

// Bands and iterators read through the store; they go before it.
KestrinGeoCloud::~KestrinGeoCloud() {
    m_bands.clear();
    m_metadata.reset();
    m_store.reset();
}

long KestrinGeoCloud::openDataIO(NORVAType<NORVAKestrinDataIO>& io) const {
    NORVAUString extension;
    PathUtilities::parsePath(m_path, nullptr, nullptr, nullptr, &extension);
    if (extension.equalsIgnoreCase(".kcs")) {
        io.reset(new (std::nothrow) NORVAKestrinCellDataIO(m_path));
    } else {
        io.reset(new (std::nothrow) NORVAKestrinTileDataIO(m_path, NORVAKestrinDataIO::READ));
        if (!io || io->getStatus() != 0)
            io.reset(new (std::nothrow) NORVAKestrinTileDataIO(m_path, NORVAKestrinDataIO::UPDATE));
    }
    if (!io) return KestrinCloudStatus::NO_DATA_IO;
    return io->getStatus();
}

long KestrinGeoCloud::open() {
    NORVAUString drive, folder, name;
    PathUtilities::parsePath(m_path, &drive, &folder, &name, nullptr);
    m_storePath = drive + folder + name + ".kps";
    NORVAType<NORVAKestrinDataIO> io;
    if (long s = openDataIO(io)) return s;
    auto store = std::make_unique<NORVAKestrinTileStore>(io);
    if (store->getStatus() != 0) return store->getStatus();
    m_store = std::move(store);
    long status = 0;
    m_metadata = KestrinXMLMetaData::create(*m_store, status, m_storePath);
    if (status != 0) return status;
    if (!m_metadata) return KestrinCloudStatus::FAILED;
    const NORVAKestrinPointDataConfig* config = m_store->getPointDataConfig();
    if (config == nullptr) return KestrinCloudStatus::NO_POINT_CONFIG;
    m_depthAttribute = config->getGenericDataDescriptor().getAttributeIndex(kDepth);
    if (m_depthAttribute < 0) return KestrinCloudStatus::NO_DEPTH_FIELD;
    fillBandMap();
    return initCloud();
}

long KestrinGeoCloud::initCloud() {
    const NORVAKestrinDataIO& io = *getDataIO();
    long status = 0;
    NORVAType<NORVACoordSystem> cs = NORVAKestrinDataIO::getCoordSystem(io, status);
    if (status != 0) return status;
    // A cloud without a coordinate system cannot place a single node.
    if (!cs) return KestrinCloudStatus::FAILED;
    NORVAArray<double> mn, mx;
    io.getPointDataConfig().getCover(mn, mx);
    InitConfig config;
    config.coordSystem = std::shared_ptr<const NORVACoordSystem>(cs.release());
    config.cover = NORVACover(mn[0], mn[1], mx[0], mx[1], *config.coordSystem);
    config.minimumZ = -io.getMaxAttValue(m_depthAttribute) - 1.0;
    config.maximumZ = -io.getMinAttValue(m_depthAttribute) + 1.0;
    return init(config);
}

void KestrinGeoCloud::fillBandMap() {
    const NORVAKestrinGenericDataDescriptor& layout = getDataIO()->getGenericDataDescriptor();
    m_bandMap.clear();
    for (long i = 0; i < layout.getNumAtts(); ++i) {
        if (layout.getAttributeName(i) == kStatus && !m_statusBand) continue;
        if (i == m_depthAttribute) m_depthBand = static_cast<unsigned>(m_bandMap.size());
        m_bandMap.push_back(i);
    }
}

long KestrinGeoCloud::getAttributeIndex(unsigned bandId) const {
    return bandId < m_bandMap.size() ? m_bandMap[bandId] : -1;
}

NORVAType<NORVACover> KestrinGeoCloud::getFullCover() const {
    NORVAArray<double> mn{0.0, 0.0}, mx{0.0, 0.0};
    if (getDataIO() != nullptr) getDataIO()->getCover(mn, mx);
    if (getCoordSys() == nullptr) return makeNORVAType<NORVACover>(mn[0], mn[1], mx[0], mx[1]);
    return makeNORVAType<NORVACover>(mn[0], mn[1], mx[0], mx[1], *getCoordSys());
}

std::shared_ptr<const ORBO_3_12_0_::DataSet::Cloud::GeoCloudBand> KestrinGeoCloud::getBand(unsigned id) const {
    auto cached = m_bands.find(id);
    if (cached != m_bands.end()) return cached->second;
    if (getDataIO() == nullptr || id >= getNumBands()) return nullptr;
    const long attribute = getAttributeIndex(id);
    long status = 0;
    auto band = std::make_shared<KestrinGeoCloudBand>(*this, id, attribute < 0 ? 0u : static_cast<unsigned>(attribute),
                                                      *getDataIO(), status);
    if (status != 0) return nullptr;
    m_bands[id] = band;
    return band;
}

KestrinGeoCloud::BandPtr KestrinGeoCloud::getBand(unsigned id) {
    std::shared_ptr<const ORBO_3_12_0_::DataSet::Cloud::GeoCloudBand> band =
        static_cast<const KestrinGeoCloud&>(*this).getBand(id);
    return band ? m_bands[id] : nullptr;
}

long KestrinGeoCloud::getBandID(const NORVAUString& name) const {
    if (name == kIndex) return static_cast<long>(getIndexBandID());
    const KIVOSurfaceAttributeTable* table = m_metadata ? m_metadata->getAttributeTable() : nullptr;
    if (table == nullptr) return -1;
    const long attribute = table->getDescriptor().getAttributeIndex(name);
    for (size_t id = 0; attribute >= 0 && id < m_bandMap.size(); ++id)
        if (m_bandMap[id] == attribute) return static_cast<long>(id);
    return -1;
}

KestrinGeoCloud::NodeIteratorPtr KestrinGeoCloud::query(const NORVAGeometry&, long& status) {
    status = 0;
    return nullptr;
}

KestrinGeoCloud::NodeIteratorPtr KestrinGeoCloud::query(const NORVAUString&, long& status) {
    status = 0;
    return nullptr;
}

KestrinGeoCloud::NodeIteratorPtr KestrinGeoCloud::query(const NORVAAreaGeometry& area,
                                                        const std::vector<unsigned>& bandIds, bool, long& status,
                                                        NORVAProgress*) {
    status = 0;
    if (getDataIO() == nullptr) {
        status = KestrinCloudStatus::NO_DATA_IO;
        return nullptr;
    }
    return std::make_shared<KestrinNodeIterator>(*this, area, bandIds, *getDataIO(), m_depthBand, m_nodeIndex,
                                                 status);
}

KestrinGeoCloud::NodeIteratorPtr KestrinGeoCloud::query(const NORVACover& cover, const std::vector<unsigned>& bandIds,
                                                        bool, long& status, NORVAProgress*) {
    status = 0;
    if (getDataIO() == nullptr) {
        status = KestrinCloudStatus::NO_DATA_IO;
        return nullptr;
    }
    return std::make_shared<KestrinNodeIterator>(*this, cover, bandIds, *getDataIO(), m_depthBand, m_nodeIndex,
                                                 status);
}
