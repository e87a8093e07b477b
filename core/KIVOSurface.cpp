#include "core/KIVOSurface.h"

#include <cfloat>
#include <cstdio>

#include "core/KIVOSurfacePointIter.h"
#include "platform/frame/KIVOExtendDataIO.h"
#include "platform/frame/KIVOSurfaceFilteredIter.h"
#include "platform/shapes/NORVAGeometry.h"

KIVOSurface::KIVOSurface(NORVAType<KIVOSurfaceDataIO> dataIO) {
    m_status = 0;
    m_dataIO = std::make_shared<KIVOExtendDataIO>(dataIO);
}

KIVOSurface::KIVOSurface(const std::shared_ptr<KIVOSurfaceDataIO>& dataIO) {
    m_status = 0;
    if (std::dynamic_pointer_cast<KIVOExtendDataIO>(dataIO)) m_dataIO = dataIO;
}

KIVOSurfaceAttributeTable* KIVOSurface::getAttributeInfo() {
    return m_dataIO ? m_dataIO->getAttributeInfo() : nullptr;
}

const KIVOSurfaceAttributeTable* KIVOSurface::getAttributeInfo() const {
    // Forwarded to the non-const form, as formats only override that one reliably.
    return m_dataIO ? m_dataIO->getAttributeInfo() : nullptr;
}

const NORVACoordSystem* KIVOSurface::getCoordSystem() const {
    return m_dataIO ? m_dataIO->getCoordSystem() : nullptr;
}

NORVAArray<double> KIVOSurface::getMinimum() const {
    return m_dataIO ? m_dataIO->getMinimum() : NORVAArray<double>();
}

NORVAArray<double> KIVOSurface::getMaximum() const {
    return m_dataIO ? m_dataIO->getMaximum() : NORVAArray<double>();
}

NORVAUString KIVOSurface::getSourceName() const {
    return m_dataIO ? m_dataIO->getSourceName() : NORVAUString();
}

KIVOSurfaceMetaData* KIVOSurface::getMetaData() { return m_dataIO ? m_dataIO->getMetaData() : nullptr; }

const KIVOSurfaceMetaData* KIVOSurface::getMetaData() const {
    return m_dataIO ? m_dataIO->getMetaData() : nullptr;
}

long KIVOSurface::rename(const NORVAUString& newName) { return m_dataIO ? m_dataIO->rename(newName) : -1; }

long KIVOSurface::set(double x, double y, const KIVOAttributeSet& attributes, const KIVODescriptor& descriptor,
                      double resolution) {
    if (!m_dataIO) return 0;
    return m_dataIO->set(x, y, attributes, descriptor, resolution);
}

long KIVOSurface::store(NORVAProgress* progress) {
    if (!m_dataIO) return 0;
    return m_dataIO->store(progress);
}

void KIVOSurface::setModified(bool modified) {
    if (!m_dataIO || m_dataIO->isModified() == modified) return;
    std::printf("Setting data source modified flag to %s\n", modified ? "true" : "false");
    m_dataIO->setModified(modified);
}

NORVAType<KIVOSurfaceIter> KIVOSurface::filtered(NORVAType<KIVOSurfaceIter> iter,
                                                 const KIVOAttributeFilter* filter) const {
    // An unusable filter is ignored and a failed iterator is handed back as
    // it is, for the caller to inspect together with the status.
    if (!filter || filter->getStatus() != 0 || !iter || iter->getStatus() != 0) return iter;
    return NORVAType<KIVOSurfaceIter>(new KIVOSurfaceFilteredIter(std::move(iter), *filter));
}

NORVAType<KIVOSurfaceIter> KIVOSurface::query(const NORVAGeometry& geometry, long& status, bool create,
                                              const KIVOAttributeFilter* filter, NORVAProgress* progress,
                                              double resolution) {
    if (!m_dataIO) {
        status = -1;
        return NORVAType<KIVOSurfaceIter>();
    }
    return filtered(m_dataIO->query(geometry, create, status, progress, resolution), filter);
}

NORVAType<KIVOSurfaceIter> KIVOSurface::query(double x1, double y1, double x2, double y2, long& status, bool create,
                                              const KIVOAttributeFilter* filter, NORVAProgress* progress,
                                              double resolution) {
    if (!m_dataIO) {
        status = -1;
        return NORVAType<KIVOSurfaceIter>();
    }
    return filtered(m_dataIO->query(x1, y1, x2, y2, create, status, progress, resolution), filter);
}

NORVAType<KIVOSurfaceIter> KIVOSurface::query(double x, double y, double z, long& status, bool create,
                                              const KIVOAttributeFilter* filter, NORVAProgress* progress,
                                              double resolution) {
    if (!m_dataIO) {
        status = -1;
        return NORVAType<KIVOSurfaceIter>();
    }
    // The framework's own point query, not a format override.
    NORVAType<KIVOSurfaceIter> iter =
        m_dataIO->KIVOSurfaceDataIO::query(NORVAPoint3D(x, y, z), create, status, progress, resolution);
    return filtered(std::move(iter), filter);
}

NORVAType<KIVOPointIter> KIVOSurface::getIterator(const NORVAGeometry* geometry, NORVAProgress* progress) {
    return NORVAType<KIVOPointIter>(new KIVOSurfacePointIter(*this, geometry, nullptr, nullptr, progress));
}

NORVAType<KIVOPointIter> KIVOSurface::getIterator(double x1, double y1, double x2, double y2,
                                                  NORVAProgress* progress) {
    return NORVAType<KIVOPointIter>(new KIVOSurfacePointIter(*this, x1, y1, x2, y2, nullptr, nullptr, progress));
}

bool KIVOSurface::isExtendedAttribute(const NORVAUString& name) const {
    const KIVOSurfaceAttributeTable* table = getAttributeInfo();
    if (!table) return false;
    const KIVODescriptor& descriptor = table->getDescriptor();
    long index = descriptor.getAttributeIndex(name);
    if (index < 0) return false;
    return descriptor.getAttributeEntry(index).kind == 1;
}

double KIVOSurface::getAreaCoverage(long& status) const {
    status = 0;
    const KIVOSurfaceMetaData* metadata = getMetaData();
    return metadata ? metadata->getAreaCoverage() : 0.0;
}
