#include "core/KIVODesignatedRTreeEntry.h"

#include <cfloat>
#include <limits>

#include "platform/frame/KIVOSurfaceDataIO.h"
#include "platform/shapes/NORVAPointGeometry.h"

namespace {
const double kNoDepth = DBL_MAX;
const double kAnyResolution = DBL_MAX;
}  // namespace

KIVODesignatedRTreeEntry::KIVODesignatedRTreeEntry(const KIVODesignatedIter& iter)
    : m_dataIO(iter.getDataIO()), m_originalDepth(kNoDepth), m_type(KIVODesignatedIter::NOT_DESIGNATED) {
    long status = 0;
    m_type = iter.getType(status);
    const double original = iter.getOriginalDepth(status);
    if (status == 0) m_originalDepth = original;
    const double depth = iter.getDepth(status);
    if (status != 0) m_status = status;
    double x = 0.0, y = 0.0;
    status = iter.getPosition(x, y);
    if (status != 0 && m_status == 0) m_status = status;
    m_position = NORVAPoint3D(x, y, depth);
}

KIVODesignatedRTreeEntry::KIVODesignatedRTreeEntry(const KIVOSurfaceDataIO& dataIO, double originalDepth,
                                                   const NORVAPoint3D& position, DESIGNATED_TYPE type)
    : m_dataIO(&dataIO), m_originalDepth(originalDepth), m_position(position), m_type(type) {}

KIVODesignatedRTreeEntry::KIVODesignatedRTreeEntry(const KIVODesignatedRTreeEntry& o)
    : NORVARTreeLeaf<double, 2>(o),
      m_dataIO(o.m_dataIO),
      m_originalDepth(o.m_originalDepth),
      m_position(o.m_position),
      m_type(o.m_type),
      m_status(o.m_status) {
    if (o.m_geometry) m_geometry = std::make_unique<NORVAPointGeometry>(*o.m_geometry);
}

KIVODesignatedRTreeEntry::~KIVODesignatedRTreeEntry() = default;

NORVAType<KIVODesignatedRTreeEntry::Node> KIVODesignatedRTreeEntry::newCopy() const {
    return NORVAType<Node>(new KIVODesignatedRTreeEntry(*this));
}

KIVODesignatedRTreeEntry::Box KIVODesignatedRTreeEntry::getBoundingBox() const {
    const NORVAPoint2D corner(m_position.x(), m_position.y());
    return Box(corner, corner);
}

double KIVODesignatedRTreeEntry::getLow(size_t d) const {
    return d < 3 ? m_position[d] : std::numeric_limits<double>::quiet_NaN();
}

double KIVODesignatedRTreeEntry::getHigh(size_t d) const { return getLow(d); }

bool KIVODesignatedRTreeEntry::hasOriginalDepth() const { return m_originalDepth != kNoDepth; }

bool KIVODesignatedRTreeEntry::equals(const NORVARTreeLeaf<double, 2>& other) const {
    const auto* o = dynamic_cast<const KIVODesignatedRTreeEntry*>(&other);
    return o && o->m_originalDepth == m_originalDepth && o->m_position == m_position && o->m_type == m_type;
}

std::unique_ptr<KIVOAttributeSet> KIVODesignatedRTreeEntry::getAttributes() {
    if (!m_dataIO) return nullptr;
    m_geometry = std::make_unique<NORVAPointGeometry>(m_position.x(), m_position.y());
    long status = 0;
    // A look-up that creates nothing leaves the surface as it is; the
    // framework's query is not const only because formats cache as they read.
    auto* dataIO = const_cast<KIVOSurfaceDataIO*>(m_dataIO);
    NORVAType<KIVOSurfaceIter> iter = dataIO->query(*m_geometry, false, status, nullptr, kAnyResolution);
    if (status != 0 || !iter || iter->done(status)) return nullptr;
    const KIVOAttributeSet* attributes = iter->getAttributes();
    return attributes ? attributes->newCopy() : nullptr;
}
