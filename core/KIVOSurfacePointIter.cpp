#include "core/KIVOSurfacePointIter.h"

#include <cfloat>

#include "core/KIVOSurface.h"
#include "core/SurfaceAttributeNames.h"

namespace {
const long kNotServed = -1;  // no iterator, no such field or no value read
const long kNoExtent = -1;   // the surface reports no minimum or maximum corner
const double kAnyResolution = DBL_MAX;

const KIVODescriptor* descriptorOf(const KIVOSurface& surface) {
    const KIVOSurfaceAttributeTable* table = surface.getAttributeInfo();
    return table ? &table->getMetaAttribute().getDescriptor() : nullptr;
}
}  // namespace

KIVOSurfacePointIter::KIVOSurfacePointIter(KIVOSurface& surface) : m_surface(&surface) {}

KIVOSurfacePointIter::KIVOSurfacePointIter(KIVOSurface& surface, const NORVAGeometry* geometry,
                                           const NORVAUString* depthName, const NORVAUString* uncertaintyName,
                                           NORVAProgress* progress)
    : m_surface(&surface) {
    lookUpAttributes(depthName, uncertaintyName);
    if (geometry) {
        long status = 0;
        NORVAType<KIVOSurfaceIter> iter = surface.query(*geometry, status, false, nullptr, progress, kAnyResolution);
        takeIterator(std::move(iter), status);
    } else {
        NORVAArray<double> mn = surface.getMinimum();
        NORVAArray<double> mx = surface.getMaximum();
        if (mn.size() < 2 || mx.size() < 2)
            m_status = kNoExtent;
        else
            queryBox(mn[0], mn[1], mx[0], mx[1], progress);
    }
    fillAvailable();
}

KIVOSurfacePointIter::KIVOSurfacePointIter(KIVOSurface& surface, double x1, double y1, double x2, double y2,
                                           const NORVAUString* depthName, const NORVAUString* uncertaintyName,
                                           NORVAProgress* progress)
    : m_surface(&surface) {
    lookUpAttributes(depthName, uncertaintyName);
    queryBox(x1, y1, x2, y2, progress);
    fillAvailable();
}

void KIVOSurfacePointIter::lookUpAttributes(const NORVAUString* depthName, const NORVAUString* uncertaintyName) {
    const KIVODescriptor* descriptor = descriptorOf(*m_surface);
    if (!descriptor) return;
    const NORVAUString& depth = depthName ? *depthName : SurfaceAttributeNames::kDepth;
    const NORVAUString& uncertainty = uncertaintyName ? *uncertaintyName : SurfaceAttributeNames::kUncertainty;
    m_depthIndex = static_cast<int32_t>(descriptor->getAttributeIndex(depth));
    m_uncertaintyIndex = static_cast<int32_t>(descriptor->getAttributeIndex(uncertainty));
}

void KIVOSurfacePointIter::queryBox(double x1, double y1, double x2, double y2, NORVAProgress* progress) {
    long status = 0;
    NORVAType<KIVOSurfaceIter> iter = m_surface->query(x1, y1, x2, y2, status, false, nullptr, progress, kAnyResolution);
    takeIterator(std::move(iter), status);
}

void KIVOSurfacePointIter::takeIterator(NORVAType<KIVOSurfaceIter> iter, long status) {
    m_status = status;
    if (status == 0) m_iter = std::move(iter);
}

// Read once from the first node: the list describes the surface, not each node.
void KIVOSurfacePointIter::fillAvailable() {
    long status = 0;
    if (!m_iter || m_iter->done(status)) return;
    m_available.push_back(SurfaceAttributeNames::kHorizontalError);
    m_available.push_back(SurfaceAttributeNames::kSourceName);
    if (hasValue(m_depthIndex)) m_available.push_back(SurfaceAttributeNames::kDepth);
    if (hasValue(m_uncertaintyIndex)) m_available.push_back(SurfaceAttributeNames::kVerticalError);
}

bool KIVOSurfacePointIter::hasValue(long attributeIndex) const {
    if (attributeIndex < 0 || !m_iter) return false;
    const KIVOAttributeSet* attributes = m_iter->getAttributes();
    return attributes && attributes->isSet(attributeIndex);
}

// A node iterator need not report its own failure once done: the one this
// walk met is kept.
bool KIVOSurfacePointIter::done(long& status) const {
    status = m_failure;
    if (m_failure != 0) return true;
    return !m_iter || m_iter->done(status);
}

bool KIVOSurfacePointIter::next(long& status) {
    if (done(status)) return false;
    const bool more = m_iter->next(status);
    if (status != 0) m_failure = status;
    return more && status == 0;
}

long KIVOSurfacePointIter::getPosition(double& x, double& y) const {
    return m_iter ? m_iter->getPosition(x, y, -1) : kNotServed;
}

const NORVACoordSystem* KIVOSurfacePointIter::getCoordSystem() const { return m_surface->getCoordSystem(); }

void KIVOSurfacePointIter::getAvailable(std::vector<NORVAUString>& names) const { names = m_available; }

KIVOPointIter::DATA_TYPE KIVOSurfacePointIter::getType(long index) const {
    return index == SOURCE_NAME ? KIVODataType::TEXT : KIVODataType::DOUBLE;
}

long KIVOSurfacePointIter::get(long index, NORVAUString& value) const {
    if (index != SOURCE_NAME) return kNotServed;
    value = m_surface->getSourceName();
    return 0;
}

long KIVOSurfacePointIter::get(long index, long& value) const { return kNotServed; }

long KIVOSurfacePointIter::get(long index, double& value) const {
    value = 0.0;
    long attributeIndex = index == DEPTH ? m_depthIndex : index == VERTICAL_ERROR ? m_uncertaintyIndex : -1;
    if (!hasValue(attributeIndex)) return kNotServed;
    long status = m_iter->getAttributes()->getDoubleValue(attributeIndex, value, false);
    if (status != 0) value = 0.0;
    return status;
}

long KIVOSurfacePointIter::count() const { return m_iter ? m_iter->count() : kNotServed; }

bool KIVOSurfacePointIter::indexOf(const NORVAUString& name, long& index, DATA_TYPE& type) const {
    index = -1;
    if (name == SurfaceAttributeNames::kDepth && hasValue(m_depthIndex)) {
        index = DEPTH;
        type = KIVODataType::DOUBLE;
    } else if (name == SurfaceAttributeNames::kVerticalError && hasValue(m_uncertaintyIndex)) {
        index = VERTICAL_ERROR;
        type = KIVODataType::DOUBLE;
    } else if (name == SurfaceAttributeNames::kSourceName) {
        index = SOURCE_NAME;
        type = KIVODataType::TEXT;
    }
    return index != -1;
}

KIVOAttributeSet* KIVOSurfacePointIter::getAttributes() const { return m_iter ? m_iter->getAttributes() : nullptr; }

const KIVODescriptor* KIVOSurfacePointIter::getDescriptor() const {
    return m_iter ? &m_iter->getAttributeDescriptor() : nullptr;
}

long KIVOSurfacePointIter::getAttributeNames(std::vector<NORVAUString>& names) const {
    const KIVODescriptor* descriptor = getDescriptor();
    if (!descriptor) return kNotServed;
    for (long i = 0; i < descriptor->getNumberOfAttributes(); ++i) names.push_back(descriptor->getAttributeName(i));
    return 0;
}
