#include "platform/kestrin/NORVAKestrinTileStore.h"

#include "platform/kestrin/KestrinStatus.h"

NORVAKestrinTileStore::NORVAKestrinTileStore(NORVAType<NORVAKestrinDataIO>& dataIO) : m_dataIO(std::move(dataIO)) {
    setStatus(m_dataIO ? m_dataIO->getStatus() : KestrinStatus::BAD_ARGUMENT);
}

NORVAKestrinTileStore::NORVAKestrinTileStore(const NORVAKestrinPointDataConfig& config, bool, bool)
    : m_dataIO(new NORVAKestrinDataIO(config)) {
    setStatus(m_dataIO->getStatus());
}

NORVAKestrinTileStore::~NORVAKestrinTileStore() = default;

NORVAKestrinDataIO* NORVAKestrinTileStore::getDataIO(int level) const { return level == 0 ? m_dataIO.get() : nullptr; }

const NORVAKestrinPointDataConfig* NORVAKestrinTileStore::getPointDataConfig() const {
    return m_dataIO ? &m_dataIO->getPointDataConfig() : nullptr;
}

bool NORVAKestrinTileStore::sameLayout(const NORVAKestrinGenericDataObject& record) const {
    const NORVAKestrinGenericDataDescriptor* layout = record.getDescriptor();
    const NORVAKestrinGenericDataDescriptor& own = m_dataIO->getGenericDataDescriptor();
    if (layout == &own) return true;  // a record made over this store's layout
    if (layout == nullptr || layout->getNumAtts() != own.getNumAtts()) return false;
    for (long i = 0; i < own.getNumAtts(); ++i)
        if (layout->getType(i) != own.getType(i)) return false;
    return true;
}

long NORVAKestrinTileStore::modifyPoint(const NORVAKestrinPoint& point, const NORVAKestrinGenericDataObject& record) {
    if (!m_dataIO || point.getId() <= 0 || !sameLayout(record)) return KestrinStatus::BAD_ARGUMENT;
    // Only the fields that differ from the point as it was read: another
    // holder of the same point may have changed the others since.
    const NORVAKestrinGenericDataObject& before = point.getData();
    if (before.getNumAtts() != record.getNumAtts()) return m_dataIO->updatePoint(point.getId(), record, nullptr);
    m_changed.clear();
    for (long i = 0; i < record.getNumAtts(); ++i)
        if (!before.sameField(record, i)) m_changed.push_back(i);
    return m_dataIO->updatePoint(point.getId(), record, &m_changed);
}

long NORVAKestrinTileStore::addPoints(NORVAKestrinPointCollection& points, bool, int, int) {
    if (!m_dataIO) return KestrinStatus::WRITE_FAILED;
    std::vector<NORVAKestrinDatabase::NewPoint> batch;
    batch.reserve(points.getSize());
    for (size_t i = 0; i < points.getSize(); ++i) {
        const NORVAKestrinPoint* p = points.getPoint(i);
        if (!sameLayout(p->getData())) return KestrinStatus::BAD_ARGUMENT;
        batch.push_back({p->getX(), p->getY(), &p->getData()});
    }
    std::vector<int64_t> ids;
    if (long s = m_dataIO->addPoints(batch, &ids)) return s;
    for (size_t i = 0; i < ids.size(); ++i) {
        NORVAKestrinPoint* p = points.getPoint(i);
        *p = NORVAKestrinPoint(ids[i], p->getX(), p->getY(), std::move(p->getData()), p->getMortonKey());
    }
    return 0;
}

long NORVAKestrinTileStore::store(const NORVAUString& path) {
    if (!m_dataIO) return KestrinStatus::WRITE_FAILED;
    return m_dataIO->store(path);
}
