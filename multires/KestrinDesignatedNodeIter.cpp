#include "multires/KestrinDesignatedNodeIter.h"

#include <cfloat>

#include "multires/KIVOKestrinDataIO.h"
#include "multires/KestrinStatusCodes.h"
#include "platform/frame/KIVOExtendDataIO.h"

namespace {

const NORVAUString kDepth("Depth");

KIVOSurfaceDataIO* unwrapped(KIVOSurfaceDataIO& dataIO) {
    auto* extend = dynamic_cast<KIVOExtendDataIO*>(&dataIO);
    return extend ? extend->getDataIO() : &dataIO;
}

}  // namespace

KestrinDesignatedNodeIter::KestrinDesignatedNodeIter(KIVOSurfaceDataIO& dataIO) : m_dataIO(&dataIO) {
    auto* kestrin = dynamic_cast<KIVOKestrinDataIO*>(unwrapped(dataIO));
    if (kestrin != nullptr && kestrin->getTileStore() != nullptr)
        m_inner = std::make_unique<KestrinDesignatedIter>(*kestrin->getTileStore());
    if (m_inner) setStatus(m_inner->getStatus());
}

KestrinDesignatedNodeIter::~KestrinDesignatedNodeIter() = default;

bool KestrinDesignatedNodeIter::done(long& status) const {
    status = 0;
    return !m_inner || m_inner->done(status);
}

bool KestrinDesignatedNodeIter::next(long& status) {
    status = 0;
    return m_inner && m_inner->next(status);
}

long KestrinDesignatedNodeIter::getPosition(double& x, double& y) const {
    return m_inner ? m_inner->getPosition(x, y) : KestrinStatusCodes::FAILED;
}

// The index is looked up once; a store without "Depth" stays without it.
double KestrinDesignatedNodeIter::getOriginalDepth(long& status) const {
    if (m_depthIndex == kNotLookedUp) {
        long index = -1;
        KIVODataType::DATA_TYPE type = KIVODataType::DOUBLE;
        m_depthIndex = m_inner && m_inner->indexOf(kDepth, index, type) ? index : -1;
    }
    double value = DBL_MAX;
    if (m_depthIndex < 0) {
        status = KestrinStatusCodes::FAILED;
        return value;
    }
    status = m_inner->get(m_depthIndex, value);
    return value;
}

KIVODesignatedIter::DESIGNATED_TYPE KestrinDesignatedNodeIter::getType(long& status) const {
    status = 0;
    return NOT_DESIGNATED;
}
