#include "platform/frame/KIVOExtendDataIO.h"

#include <ostream>

// A wrapper around no object reports -1 in its status word and answers every
// operation with the base class's neutral value (-1, null, empty).
KIVOExtendDataIO::KIVOExtendDataIO(NORVAType<KIVOSurfaceDataIO>& dataIO) : m_dataIO(std::move(dataIO)) {
    m_status = m_dataIO ? m_dataIO->getStatus() : -1;
}

KIVOExtendDataIO::KIVOExtendDataIO(NORVAType<KIVOSurfaceDataIO>&& dataIO) : m_dataIO(std::move(dataIO)) {
    m_status = m_dataIO ? m_dataIO->getStatus() : -1;
}

void KIVOExtendDataIO::print(std::ostream& os) const {
    if (m_dataIO)
        m_dataIO->print(os);
    else
        os << "KIVOExtendDataIO(empty)";
}

KIVOSurfaceAttributeTable* KIVOExtendDataIO::getAttributeInfo() {
    return m_dataIO ? m_dataIO->getAttributeInfo() : nullptr;
}

const KIVOSurfaceAttributeTable* KIVOExtendDataIO::getAttributeInfo() const {
    return m_dataIO ? static_cast<const KIVOSurfaceDataIO&>(*m_dataIO).getAttributeInfo() : nullptr;
}

const NORVACoordSystem* KIVOExtendDataIO::getCoordSystem() const {
    return m_dataIO ? m_dataIO->getCoordSystem() : nullptr;
}

NORVAArray<double> KIVOExtendDataIO::getMinimum() const {
    return m_dataIO ? m_dataIO->getMinimum() : NORVAArray<double>();
}

NORVAArray<double> KIVOExtendDataIO::getMaximum() const {
    return m_dataIO ? m_dataIO->getMaximum() : NORVAArray<double>();
}

NORVAUString KIVOExtendDataIO::getSourceName() const { return m_dataIO ? m_dataIO->getSourceName() : NORVAUString(); }

KIVOSurfaceMetaData* KIVOExtendDataIO::getMetaData() { return m_dataIO ? m_dataIO->getMetaData() : nullptr; }

const KIVOSurfaceMetaData* KIVOExtendDataIO::getMetaData() const {
    return m_dataIO ? static_cast<const KIVOSurfaceDataIO&>(*m_dataIO).getMetaData() : nullptr;
}

long KIVOExtendDataIO::getQueryType() const { return m_dataIO ? m_dataIO->getQueryType() : 0; }

long KIVOExtendDataIO::set(double x, double y, const KIVOAttributeSet& attributes, const KIVODescriptor& descriptor,
                           double resolution) {
    return m_dataIO ? m_dataIO->set(x, y, attributes, descriptor, resolution) : -1;
}

void KIVOExtendDataIO::setModified(bool modified) {
    if (m_dataIO) m_dataIO->setModified(modified);
}

void KIVOExtendDataIO::setQueryType(long type) {
    if (m_dataIO) m_dataIO->setQueryType(type);
}

long KIVOExtendDataIO::open() { return m_dataIO ? m_dataIO->open() : -1; }

long KIVOExtendDataIO::close() { return m_dataIO ? m_dataIO->close() : -1; }

long KIVOExtendDataIO::store(NORVAProgress* progress) { return m_dataIO ? m_dataIO->store(progress) : -1; }

long KIVOExtendDataIO::flush() { return m_dataIO ? m_dataIO->flush() : -1; }

bool KIVOExtendDataIO::isOutdated() const { return m_dataIO ? m_dataIO->isOutdated() : false; }

bool KIVOExtendDataIO::checkOutdated() { return m_dataIO ? m_dataIO->checkOutdated() : false; }

NORVAType<KIVOSurfaceIter> KIVOExtendDataIO::query(const NORVAPoint3D& point, bool create, long& status,
                                                   NORVAProgress* progress, double resolution) {
    if (!m_dataIO) {
        status = -1;
        return NORVAType<KIVOSurfaceIter>();
    }
    return m_dataIO->query(point, create, status, progress, resolution);
}

NORVAType<KIVOSurfaceIter> KIVOExtendDataIO::query(double x0, double y0, double x1, double y1, bool create,
                                                   long& status, NORVAProgress* progress, double resolution) {
    if (!m_dataIO) {
        status = -1;
        return NORVAType<KIVOSurfaceIter>();
    }
    return m_dataIO->query(x0, y0, x1, y1, create, status, progress, resolution);
}

NORVAType<KIVOSurfaceIter> KIVOExtendDataIO::query(const NORVAGeometry& geometry, bool create, long& status,
                                                   NORVAProgress* progress, double resolution) {
    if (!m_dataIO) {
        status = -1;
        return NORVAType<KIVOSurfaceIter>();
    }
    return m_dataIO->query(geometry, create, status, progress, resolution);
}

bool KIVOExtendDataIO::isModified() const { return m_dataIO ? m_dataIO->isModified() : false; }

long KIVOExtendDataIO::deleteAllFiles(bool keepOpen) { return m_dataIO ? m_dataIO->deleteAllFiles(keepOpen) : -1; }

long KIVOExtendDataIO::getAssociatedFiles(std::vector<NORVAUString>& files) const {
    if (!m_dataIO) {
        files.clear();
        return -1;
    }
    return m_dataIO->getAssociatedFiles(files);
}

long KIVOExtendDataIO::rasterize(rasterizeConfig& config) { return m_dataIO ? m_dataIO->rasterize(config) : -1; }

long KIVOExtendDataIO::rename(const NORVAUString& newName) { return m_dataIO ? m_dataIO->rename(newName) : -1; }

NORVAUString KIVOExtendDataIO::getISOMetaData() const {
    return m_dataIO ? m_dataIO->getISOMetaData() : NORVAUString();
}

long KIVOExtendDataIO::worldToIndex(double x, double y, int64_t& column, int64_t& row) const {
    return m_dataIO ? m_dataIO->worldToIndex(x, y, column, row) : -1;
}

long KIVOExtendDataIO::indexToWorld(int64_t column, int64_t row, double& x, double& y) const {
    return m_dataIO ? m_dataIO->indexToWorld(column, row, x, y) : -1;
}
