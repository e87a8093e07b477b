#include "multires/KIVOKestrinIter.h"

#include "multires/KestrinStatusCodes.h"
#include "platform/frame/KIVOMemDescriptor.h"

namespace {

// An empty descriptor for a data-IO without an attribute table.
const KIVODescriptor& noDescriptor() {
    static const KIVOMemDescriptor d;
    return d;
}

}  // namespace

KIVOKestrinIter::KIVOKestrinIter(double x0, double y0, double x1, double y1, KIVOKestrinDataIO& dataIO, bool create,
                                 NORVAProgress* progress)
    : m_dataIO(dataIO), m_create(create), m_progress(progress) {
    const long status = initialise(x0, y0, x1, y1);
    setStatus(status);
    if (status != 0) markDone();
}

long KIVOKestrinIter::initialise(double x0, double y0, double x1, double y1) {
    if (long s = m_dataIO.flushNewNodes(true)) return s;
    m_firstNewNode = true;
    NORVAKestrinTileStore* store = m_dataIO.getTileStore();
    NORVAKestrinDataIO* io = store ? store->getDataIO(0) : nullptr;
    if (io == nullptr) return KestrinStatusCodes::FAILED;
    const bool pointBox = x0 == x1 && y0 == y1;
    if (m_progress) m_progress->setSteps(pointBox ? 1 : static_cast<unsigned long>(io->getNumRecords()));
    if (pointBox && m_create) return initialiseCreate(*io, x0, y0);
    const NORVAKestrinQuery query = pointBox ? NORVAKestrinQuery(NORVAArray<double>{x0, y0})
                                             : NORVAKestrinQuery(NORVAArray<double>{x0, y0}, NORVAArray<double>{x1, y1});
    m_points = io->createPointIterator(query, -1);
    if (!m_points) {
        markDone();
        return 0;
    }
    if (long s = m_points->getStatus()) return s;
    m_generation = m_dataIO.getNodeTreeGeneration();
    m_dataIO.queryNewNodes(x0, y0, x1, y1, m_leaves);
    return standOnFirst();
}

// The nearest within reach, whether stored or pending, so that where a node
// lies never depends on whether its neighbour was written yet.
long KIVOKestrinIter::initialiseCreate(NORVAKestrinDataIO& io, double x, double y) {
    m_single = true;
    double reach = 0.0;
    if (long s = m_dataIO.nodeReach(reach)) return s;
    m_points = io.createPointIterator(NORVAKestrinQuery(NORVAArray<double>{x, y}, reach), -1);
    if (!m_points) {
        markDone();
        return 0;
    }
    // Nearest first: the first one within reach on its own position is the
    // nearest stored node (the window's edges are the reach's).
    double sx = 0.0, sy = 0.0;
    for (; !m_points->isAtEnd(); m_points->advance()) {
        const NORVAKestrinPoint& p = m_points->current().getKestrinPoint();
        sx = p.getX() - x;
        sy = p.getY() - y;
        if (KestrinPendingGrid::closer(sx, sy, reach)) break;
    }
    if (long s = m_points->getStatus()) return s;
    KestrinRTreeEntry* pending = nullptr;
    if (m_points->isAtEnd()) {
        // No stored node: the pending one there, made when there is none.
        if (long s = m_dataIO.addNewNode(x, y, pending)) return s;
    } else if ((pending = m_dataIO.nearestNewNode(x, y, reach)) != nullptr) {
        double px = 0.0, py = 0.0;
        pending->getPosition(px, py, -1);
        const double dp = (px - x) * (px - x) + (py - y) * (py - y);
        if (sx * sx + sy * sy <= dp) pending = nullptr;
        else m_points.reset();
    }
    m_generation = m_dataIO.getNodeTreeGeneration();
    if (pending) m_leaves.push_back(pending);
    return standOnFirst();
}

long KIVOKestrinIter::standOnFirst() {
    m_cursor = 0;
    if (storeAtEnd() && m_leaves.empty()) {
        markDone();
        return 0;
    }
    if (!storeAtEnd()) {
        standOnStoredPoint();
    } else {
        // Standing on the first new node already: the next step moves past
        // it, so that it is served once.
        m_firstNewNode = false;
        standOnLeaf();
    }
    return 0;
}

void KIVOKestrinIter::standOnStoredPoint() {
    const NORVAKestrinPoint& point = m_points->current().getKestrinPoint();
    if (m_storedSet) m_storedSet->moveTo(point);
    else m_storedSet = std::make_unique<KIVOKestrinAttributeSet>(point, &m_dataIO);
    m_current = m_storedSet.get();
}

bool KIVOKestrinIter::standOnLeaf() {
    if (!leavesValid() || m_cursor >= m_leaves.size()) {
        m_current = nullptr;
        markDone();
        return false;
    }
    m_current = &static_cast<KestrinRTreeEntry*>(m_leaves[m_cursor])->getAttributes();
    return true;
}

const KestrinRTreeEntry* KIVOKestrinIter::currentLeaf() const {
    if (!storeAtEnd() || !leavesValid() || m_cursor >= m_leaves.size()) return nullptr;
    return static_cast<const KestrinRTreeEntry*>(m_leaves[m_cursor]);
}

bool KIVOKestrinIter::done(long& status) const {
    const bool d = KIVOIter::done(status);
    status = getStatus();
    return d;
}

bool KIVOKestrinIter::storeFailed() {
    if (!m_points || m_points->getStatus() == 0) return false;
    setStatus(m_points->getStatus());
    m_current = nullptr;
    markDone();
    return true;
}

bool KIVOKestrinIter::next(long& status) {
    status = 0;
    long s = 0;
    if (done(s)) {
        status = s;
        return false;
    }
    if ((m_progress && !m_progress->step()) || m_single) {
        m_current = nullptr;
        markDone();
        return false;
    }
    if (!storeAtEnd()) {
        m_points->advance();
        if (storeFailed()) {
            status = getStatus();
            return false;
        }
        if (!m_points->isAtEnd()) {
            standOnStoredPoint();
            return true;
        }
    }
    if (m_firstNewNode) m_firstNewNode = false;
    else ++m_cursor;
    return standOnLeaf();
}

KIVOAttributeSet* KIVOKestrinIter::getAttributes() {
    long s = 0;
    if (done(s)) return nullptr;
    if (storeAtEnd() && !leavesValid()) return nullptr;
    return m_current;
}

long KIVOKestrinIter::getPosition(double& x, double& y, const long& index) const {
    long s = 0;
    if (done(s)) return -1;
    if (!storeAtEnd()) {
        const NORVAKestrinPoint& point = m_points->current().getKestrinPoint();
        NORVAArray<double> coord;
        if (index >= 0 ? point.getAttributeAndCoord(index, coord) != 0 : (point.getCoord(coord), false)) return -1;
        x = coord[0];
        y = coord[1];
        return 0;
    }
    const KestrinRTreeEntry* leaf = currentLeaf();
    if (leaf == nullptr) return -1;
    return leaf->getPosition(x, y, index);
}

const KIVODescriptor& KIVOKestrinIter::getAttributeDescriptor() const {
    const KIVOSurfaceAttributeTable* table = m_dataIO.getAttributeInfo();
    return table ? table->getDescriptor() : noDescriptor();
}
