#include "multires/KIVOKestrinDataIO.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "core/KIVOAreaGeomIter.h"
#include "core/KIVOBuiltInFormats.h"
#include "multires/KIVOKestrinIter.h"
#include "multires/KestrinRecords.h"
#include "multires/KestrinStatusCodes.h"
#include "multires/KestrinTypeMap.h"
#include "platform/core/NORVAEnvironment.h"
#include "platform/core/NORVAFileTransaction.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOSurfaceUtils.h"
#include "platform/kestrin/KestrinStatus.h"
#include "platform/kestrin/NORVAKestrinCellDataIO.h"
#include "platform/kestrin/NORVAKestrinTileDataIO.h"
#include "platform/proj/NORVACoordSystem.h"
#include "platform/proj/NORVAMapDefinitionFactory.h"
#include "platform/shapes/NORVAAreaGeometry.h"
#include "platform/shapes/NORVAPointGeometry.h"

namespace {

NORVAType<KIVOSurfaceDataIO> createKestrinSurface(const NORVAUString& path) {
    return NORVAType<KIVOSurfaceDataIO>(new (std::nothrow) KIVOKestrinDataIO(path));
}

const bool kRegistered =
    (KIVOBuiltInFormats::provideCreator(KIVOBuiltInFormats::KESTRIN_SLOT, &createKestrinSurface), true);

bool opensForUpdate(const NORVAUString& path) {
    FILE* f = std::fopen(path.toUTF8().c_str(), "r+b");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
}

// A node is the one at a position when it lies closer than one spacing
// along both axes. Positions on a grid carry rounding (x0 + i r, large map
// coordinates), so neighbours one spacing apart may come out a hair closer:
// only a gap short of the spacing by more than a small part of it counts.
constexpr double kOverlapTolerance = 1e-3;

double reachOf(double r) { return r > 0.0 ? r * (1.0 - kOverlapTolerance) : 0.0; }

}  // namespace

KIVOKestrinDataIO::KIVOKestrinDataIO(const NORVAUString& path) : m_path(path) { setStatus(openStore(path)); }

KIVOKestrinDataIO::KIVOKestrinDataIO(NORVAKestrinTileStore& store) {
    if (store.getStatus() != 0) {
        setStatus(store.getStatus());
        return;
    }
    adopt(&store, false);
    // The held store's own header path, so that storing goes to its files.
    if (const NORVAKestrinDataIO* io = store.getDataIO(0)) m_path = io->getHeaderPath();
    setStatus(readHeader());
    if (getStatus() == 0) m_tree = std::make_unique<NodeTree>(kNodeCapacity);
}

KIVOKestrinDataIO::KIVOKestrinDataIO(const NORVAUString& path, const KIVOSurfaceMetaData& metadata) : m_path(path) {
    setStatus(createStore(metadata));
}

KIVOKestrinDataIO::~KIVOKestrinDataIO() = default;

void KIVOKestrinDataIO::adopt(NORVAKestrinTileStore* store, bool owned) {
    m_store = store;
    if (owned) m_ownedStore.reset(store);
}

long KIVOKestrinDataIO::openStore(const NORVAUString& path) {
    // A store cut short by a crash is finished (or dropped) before reading;
    // points, header and metadata are opened again when a commit replaced
    // them meanwhile.
    return NORVAFileTransaction::readCommitted(NORVAKestrinDataIO::stemOf(path), path, m_pin,
                                               KestrinStatus::CANNOT_OPEN, [&] { return readFiles(path); });
}

long KIVOKestrinDataIO::readFiles(const NORVAUString& path) {
    m_tree.reset();
    m_store = nullptr;
    m_ownedStore.reset();
    const bool writable = opensForUpdate(path);
    NORVAType<NORVAKestrinDataIO> io;
    if (NORVAKestrinDataIO::isCellStorePath(path)) io.reset(new (std::nothrow) NORVAKestrinCellDataIO(path));
    else
        io.reset(new (std::nothrow) NORVAKestrinTileDataIO(path, writable ? NORVAKestrinDataIO::UPDATE
                                                                           : NORVAKestrinDataIO::READ));
    if (!io) return KestrinStatusCodes::FAILED;
    if (io->getStatus() != 0) return io->getStatus();
    auto store = std::make_unique<NORVAKestrinTileStore>(io);
    if (store->getStatus() != 0) return store->getStatus();
    adopt(store.release(), true);
    if (long s = readHeader()) return s;
    m_tree = std::make_unique<NodeTree>(kNodeCapacity);
    return 0;
}

long KIVOKestrinDataIO::readHeader() {
    const NORVAKestrinPointDataConfig* config = m_store ? m_store->getPointDataConfig() : nullptr;
    const NORVAKestrinDataIO* io = m_store ? m_store->getDataIO(0) : nullptr;
    if (config == nullptr || io == nullptr) return KestrinStatusCodes::FAILED;
    long status = 0;
    NORVAType<KestrinXMLMetaData> metadata = KestrinXMLMetaData::fromDataIO(*io, status, m_path);
    if (status != 0) return status;
    NORVAType<NORVACoordSystem> cs = NORVAKestrinDataIO::getCoordSystem(*io, status);
    if (status != 0) return status;
    m_metadata = metadata.toUnique();
    m_coordSystem = cs.toUnique();
    keepStoredMetadata();
    config->getCover(m_minimum, m_maximum);
    return 0;
}

// What the surface's own metadata file holds beyond the store's layout
// (source and process records, texts, sections) is kept across reopening.
void KIVOKestrinDataIO::keepStoredMetadata() {
    if (m_path.isEmpty()) return;
    KIVOSurfaceXMLMetaData stored(m_path);
    if (stored.getStatus() != 0) return;
    m_metadata->setSourceRecord(stored.getSourceRecord());
    m_metadata->setProcessRecord(stored.getProcessRecord());
    m_metadata->setDescriptiveFields(stored.getDescriptiveFields());
    m_metadata->setAreaCoverage(stored.getAreaCoverage());
    m_metadata->getProcessMetaData() = stored.getProcessMetaData();
    m_metadata->setMetaBlocks(stored.getMetaBlocks());
}

long KIVOKestrinDataIO::createStore(const KIVOSurfaceMetaData& metadata) {
    const auto* xml = dynamic_cast<const KIVOSurfaceXMLMetaData*>(&metadata);
    if (xml == nullptr || xml->getAttributeTable() == nullptr) return KestrinStatusCodes::FAILED;
    // Created over another surface, it may replace that one, and only that.
    if (!m_path.isEmpty()) {
        if (const long taken = KIVOSurfaceUtils::checkNameFree(m_path)) return taken;
        (void)NORVAFileTransaction::recover(NORVAKestrinDataIO::stemOf(m_path));
        m_pin.take(m_path);
    }
    NORVAMapDefinitionFactory factory(NORVAEnvironment::getVar("vrqXmapdef"));
    if (factory.getStatus() != 0) return factory.getStatus();
    long status = 0;
    const NORVACoordSystem* cs = xml->getCoordSystem(status);
    if (status != 0 || cs == nullptr) return status != 0 ? status : KestrinStatusCodes::FAILED;
    NORVAUString s1, s2, s3;
    if ((status = factory.toStrings(*cs, s1, s2, s3)) != 0) return status;
    double r = 0.0, ry = 0.0;
    if ((status = xml->getResolution(r, ry)) != 0) return status;
    const NORVAArray<double> resolutions{r, r, cs->getScaler().getVerticalUnit()};
    double minX = 0.0, minY = 0.0, maxX = 0.0, maxY = 0.0;
    if ((status = xml->getCover(minX, minY, maxX, maxY)) != 0) return status;
    m_minimum = NORVAArray<double>{minX, minY};
    m_maximum = NORVAArray<double>{maxX, maxY};
    const NORVAKestrinGenericDataDescriptor layout = KestrinRecords::layoutFor(xml->getAttributeTable()->getDescriptor());
    NORVAKestrinPointDataConfig config(m_minimum, m_maximum, resolutions, {2, 2}, {"X", "Y"}, layout);
    config.setCoordinateInfo(s1, s2, s3);
    auto store = std::make_unique<NORVAKestrinTileStore>(config, false, true);
    if (store->getStatus() != 0) return store->getStatus();
    adopt(store.release(), true);
    m_metadata = std::make_unique<KestrinXMLMetaData>(*xml);
    m_metadata->setFileName(m_path);
    m_coordSystem = std::make_unique<NORVACoordSystem>(*cs);
    m_tree = std::make_unique<NodeTree>(kNodeCapacity);
    return 0;
}

KIVOSurfaceAttributeTable* KIVOKestrinDataIO::getAttributeInfo() {
    return m_metadata ? m_metadata->getAttributeTable() : nullptr;
}

const KIVOSurfaceAttributeTable* KIVOKestrinDataIO::getAttributeInfo() const {
    return m_metadata ? m_metadata->getAttributeTable() : nullptr;
}

long KIVOKestrinDataIO::store(NORVAProgress*) {
    if (m_store == nullptr) return KestrinStatusCodes::FAILED;
    // A store held for the caller and kept only in memory has no files of
    // its own; nothing is written anywhere else.
    if (m_path.isEmpty()) return KestrinStatus::WRITE_FAILED;
    // A new surface's name is looked at before anything is written, so that
    // its refusal leaves the session and its nodes as they are; the commit
    // looks again.
    if (!m_pin.pinnedAFile() && !NORVAFileUtils::exists(m_path))
        if (const long taken = KIVOSurfaceUtils::checkNameFree(m_path)) return taken;
    const long status = storeFiles();
    // Refused or failed, the store lets go of the points file before it
    // returns: its session, still open when the commit stopped short of it,
    // would keep every other writer waiting. A refused object's later edits
    // keep saying why: the surface changed since it was opened.
    const long why = status == NORVASurfacePin::kChanged ? status : KestrinStatus::WRITE_FAILED;
    if (status != 0)
        if (NORVAKestrinDataIO* io = m_store->getDataIO(0)) io->dropSession(why);
    return status;
}

long KIVOKestrinDataIO::storeFiles() {
    if (long s = flush()) return s;
    const NORVAUString stem = NORVAKestrinDataIO::stemOf(m_path);
    if (const long recovered = NORVAFileTransaction::recoverStatus(stem, KestrinStatus::CANNOT_OPEN)) return recovered;
    // Points, header and metadata take their places together; points stored
    // in place commit through SQLite inside this commit, as its deciding step.
    NORVAFileTransaction files(stem);
    files.guard(m_pin);
    if (long s = KIVOSurfaceUtils::requireNameFree(files, m_path, m_pin)) return s;
    if (long s = m_store->store(m_path)) return s;
    if (m_metadata)
        if (long s = m_metadata->store()) return s;
    return files.commitStatus(KestrinStatus::WRITE_FAILED);
}

NORVAType<KIVOSurfaceIter> KIVOKestrinDataIO::query(double x0, double y0, double x1, double y1, bool create,
                                                    long& status, NORVAProgress* progress, double) {
    // A node can only be created at a position the store can hold.
    const bool pointBox = !(x0 < x1 || x0 > x1) && !(y0 < y1 || y0 > y1);  // NaN counts as a point
    if (create && pointBox && !(std::isfinite(x0) && std::isfinite(y0))) {
        status = KestrinStatusCodes::FAILED;
        return NORVAType<KIVOSurfaceIter>();
    }
    NORVAType<KIVOSurfaceIter> it(new KIVOKestrinIter(x0, y0, x1, y1, *this, create, progress));
    // A store that could not be read is not an empty one.
    status = it->getStatus();
    return it;
}

// Geometries come in the surface's own coordinates, so none is transformed.
NORVAType<KIVOSurfaceIter> KIVOKestrinDataIO::query(const NORVAGeometry& geometry, bool create, long& status,
                                                    NORVAProgress* progress, double resolution) {
    status = 0;
    if (geometry.getType() == NORVAGeometry::AREA) {
        const NORVABox2D box = geometry.getBoundingBox();
        if (box.isEmpty()) return NORVAType<KIVOSurfaceIter>();
        NORVAType<KIVOSurfaceIter> inner = query(box.getMinimum().x(), box.getMinimum().y(), box.getMaximum().x(),
                                                 box.getMaximum().y(), create, status, progress, resolution);
        return NORVAType<KIVOSurfaceIter>(
            new KIVOAreaGeomIter(std::move(inner), static_cast<const NORVAAreaGeometry&>(geometry)));
    }
    if (geometry.getType() == NORVAGeometry::POINT) {
        const auto& point = static_cast<const NORVAPointGeometry&>(geometry);
        return query(point.getX(), point.getY(), point.getX(), point.getY(), create, status, progress, resolution);
    }
    return NORVAType<KIVOSurfaceIter>();
}

long KIVOKestrinDataIO::getAssociatedFiles(std::vector<NORVAUString>& files) const {
    files.push_back(m_path);
    files.push_back(NORVAKestrinDataIO::pointsPathFor(m_path));
    const NORVAUString tiles = m_path + ".tls";
    if (NORVAFileUtils::exists(tiles)) files.push_back(tiles);
    return 0;
}

KIVODataType::DATA_TYPE KIVOKestrinDataIO::convertType(int32_t storeType) {
    return KestrinTypeMap::toDataType(storeType);
}

int32_t KIVOKestrinDataIO::convertType(KIVODataType::DATA_TYPE type) { return KestrinTypeMap::toStoreType(type); }

std::unique_ptr<KestrinMetaBlock> KIVOKestrinDataIO::convertToKestrinMetaBlock(const KIVOMetaBlock& block) {
    auto out = std::make_unique<KestrinMetaBlock>(block.name);
    for (const KIVOMetaItem& item : block.items) {
        KestrinMetaItem converted(item.name);
        for (const auto& kv : item.values) converted.setValue(kv.first, kv.second);
        out->addItem(converted);
    }
    return out;
}

std::unique_ptr<KIVOMetaBlock> KIVOKestrinDataIO::convertToKivoMetaBlock(const KestrinMetaBlock& block) {
    auto out = std::make_unique<KIVOMetaBlock>();
    out->name = block.getName();
    for (const KestrinMetaItem& item : block.getItems()) {
        KIVOMetaItem converted;
        converted.name = item.getName();
        converted.values = item.getMap();
        out->items.push_back(converted);
    }
    return out;
}

// Whoever holds the tree may change it: from then until the next batch
// every node goes straight into it, and only the tree is searched.
KIVOKestrinDataIO::NodeTree* KIVOKestrinDataIO::getNodeTree() const {
    if (m_tree == nullptr) return nullptr;
    for (std::unique_ptr<KestrinRTreeEntry>& entry : m_unplaced)
        m_tree->insert(NORVAType<NodeTree::Leaf>(entry.release()));
    m_unplaced.clear();
    m_treeHandedOut = true;
    m_pending.reset(0.0);
    return m_tree.get();
}

size_t KIVOKestrinDataIO::pendingCount() const { return m_tree ? m_tree->size() + m_unplaced.size() : 0; }

void KIVOKestrinDataIO::findNodes(const NORVABox2D& box, std::vector<NodeTree::Leaf*>& found) const {
    if (!m_tree->empty()) m_tree->search(box, found);
    for (const std::unique_ptr<KestrinRTreeEntry>& entry : m_unplaced)
        if (entry->overlap(box)) found.push_back(entry.get());
}

long KIVOKestrinDataIO::nodeReach(double& reach) const {
    reach = 0.0;
    if (m_metadata == nullptr) return KestrinStatusCodes::FAILED;
    double r = 0.0, ry = 0.0;
    if (long s = m_metadata->getResolution(r, ry)) return s;
    reach = reachOf(r);
    return 0;
}

KestrinRTreeEntry* KIVOKestrinDataIO::nearestNewNode(double x, double y, double reach) {
    const size_t pending = pendingCount();
    KestrinRTreeEntry* found = nullptr;
    if (pending == 0 || m_pending.nearest(x, y, reach, pending, found)) return found;
    m_near.clear();
    findNodes(NORVABox2D(NORVAPoint2D(x - reach, y - reach), NORVAPoint2D(x + reach, y + reach)), m_near);
    double best = HUGE_VAL, bestX = 0.0, bestY = 0.0;
    for (NodeTree::Leaf* leaf : m_near) {
        auto* entry = static_cast<KestrinRTreeEntry*>(leaf);
        double ex = 0.0, ey = 0.0;
        entry->getPosition(ex, ey, -1);
        const double dx = ex - x, dy = ey - y, d = dx * dx + dy * dy;
        if (!KestrinPendingGrid::closer(dx, dy, reach) ||
            (found && !KestrinPendingGrid::nearer(d, ex, ey, best, bestX, bestY)))
            continue;
        found = entry;
        best = d;
        bestX = ex;
        bestY = ey;
    }
    return found;
}

long KIVOKestrinDataIO::addNewNode(double x, double y) {
    KestrinRTreeEntry* node = nullptr;
    return addNewNode(x, y, node);
}

long KIVOKestrinDataIO::addNewNode(double x, double y, KestrinRTreeEntry*& node) {
    node = nullptr;
    if (m_tree == nullptr || m_metadata == nullptr || getAttributeInfo() == nullptr) return KestrinStatusCodes::FAILED;
    // A node the store could never hold must not block every other.
    if (!std::isfinite(x) || !std::isfinite(y)) return KestrinStatusCodes::FAILED;
    double r = 0.0, ry = 0.0;
    if (long s = m_metadata->getResolution(r, ry)) return s;
    const size_t pending = pendingCount();
    if (pending == 0) {
        if (!m_treeHandedOut) m_pending.reset(r);
        m_added.clear();
    } else if ((node = nearestNewNode(x, y, reachOf(r))) != nullptr) {
        return 0;
    }
    if (!m_blankNode) m_blankNode = std::make_unique<KIVOMemAttributeSet>(getAttributeInfo()->getDescriptor());
    auto entry = std::make_unique<KestrinRTreeEntry>(*m_blankNode, r, x, y);
    KestrinRTreeEntry* added = entry.get();
    // Into the tree once it was handed out; until then the nodes wait beside it.
    if (!m_treeHandedOut) m_unplaced.push_back(std::move(entry));
    else m_tree->insert(NORVAType<NodeTree::Leaf>(entry.release()));
    m_pending.add(added, x, y, r, pending + 1);
    m_added.push_back(added);
    setModified(true);
    node = added;
    return 0;
}

long KIVOKestrinDataIO::flushNewNodes(bool onlyWhenFull) {
    if (m_tree == nullptr || m_store == nullptr || m_store->getDataIO(0) == nullptr) return KestrinStatusCodes::FAILED;
    const size_t n = pendingCount();
    if (onlyWhenFull && n < kFlushThreshold) return 0;
    // In the order they were added (the tree's own order while it is one
    // node): nodes of a survey line then reach the store's index side by side.
    std::vector<NodeTree::Leaf*> leaves;
    if (!m_treeHandedOut && m_added.size() == n) leaves = m_added;
    else if (n > 0) findNodes(NORVABox2D(NORVAPoint2D(-HUGE_VAL, -HUGE_VAL), NORVAPoint2D(HUGE_VAL, HUGE_VAL)), leaves);
    NORVAKestrinDataIO* io = m_store->getDataIO(0);
    const NORVAKestrinGenericDataObject blank = KestrinRecords::newRecord(io->getLayout());
    // The records are kept from batch to batch: a field refilled with text
    // of the same length (a contributor's name) needs no new room.
    if (m_batchRecords.size() < leaves.size()) m_batchRecords.resize(leaves.size());
    std::vector<NORVAKestrinDatabase::NewPoint> batch(leaves.size());
    KestrinRecords::FieldMap map;
    KestrinRecords::TextMemo memo;
    for (size_t i = 0; i < leaves.size(); ++i) {
        const auto& entry = static_cast<const KestrinRTreeEntry&>(*leaves[i]);
        // Every pending node has the surface's layout: its pairing is found once.
        if (i == 0) map = KestrinRecords::fieldMap(entry.getDescriptor(), *blank.getDescriptor());
        NORVAKestrinGenericDataObject& record = m_batchRecords[i];
        record = blank;
        KestrinRecords::copyInto(entry.getAttributes(), map, record, memo);
        entry.getPosition(batch[i].x, batch[i].y, -1);
        batch[i].record = &record;
    }
    const long status = io->addPoints(batch, nullptr);
    // A batch far larger than usual does not keep its room.
    if (m_batchRecords.size() > kFlushThreshold) std::vector<NORVAKestrinGenericDataObject>().swap(m_batchRecords);
    if (status != 0) return status;
    // Only now that the batch is in the store may the pending nodes go.
    m_tree = std::make_unique<NodeTree>(kNodeCapacity);
    m_treeHandedOut = false;
    m_unplaced.clear();
    m_pending.reset(0.0);
    m_added.clear();
    ++m_treeGeneration;
    return 0;
}

long KIVOKestrinDataIO::queryNewNodes(double x0, double y0, double x1, double y1,
                                      std::vector<NodeTree::Leaf*>& leaves) {
    const size_t pending = pendingCount();
    if (pending == 0) return 0;
    // The grid's order of several nodes is not the tree's: those come from the tree.
    const size_t before = leaves.size();
    if (m_pending.search(x0, y0, x1, y1, pending, leaves) && leaves.size() - before <= 1) return 0;
    leaves.resize(before);
    findNodes(NORVABox2D(NORVAPoint2D(x0, y0), NORVAPoint2D(x1, y1)), leaves);
    return 0;
}
