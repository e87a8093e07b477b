#include "multires/KestrinRTreeEntry.h"

KestrinRTreeEntry::KestrinRTreeEntry(const KIVODescriptor& descriptor, double size, double x, double y)
    : KestrinRTreeEntry(std::make_unique<KIVOMemAttributeSet>(descriptor), size, x, y) {}

KestrinRTreeEntry::KestrinRTreeEntry(const KIVOMemAttributeSet& blank, double size, double x, double y)
    : KestrinRTreeEntry(std::make_unique<KIVOMemAttributeSet>(blank), size, x, y) {}

KestrinRTreeEntry::KestrinRTreeEntry(std::unique_ptr<KIVOMemAttributeSet> attributes, double size, double x,
                                     double y)
    : m_attributes(std::move(attributes)),
      m_minX(x - size / 2.0),
      m_minY(y - size / 2.0),
      m_maxX(x + size / 2.0),
      m_maxY(y + size / 2.0),
      m_x(x),
      m_y(y) {}

NORVAType<KestrinRTreeEntry::Node> KestrinRTreeEntry::newCopy() const {
    // The values travel with the copy; a copy without them would lose the node.
    auto copy = new KestrinRTreeEntry(std::make_unique<KIVOMemAttributeSet>(*m_attributes), 0.0, m_x, m_y);
    copy->m_minX = m_minX;
    copy->m_minY = m_minY;
    copy->m_maxX = m_maxX;
    copy->m_maxY = m_maxY;
    return NORVAType<Node>(copy);
}

KestrinRTreeEntry::Box KestrinRTreeEntry::getBoundingBox() const {
    return Box(NORVAPoint2D(m_minX, m_minY), NORVAPoint2D(m_maxX, m_maxY));
}

double KestrinRTreeEntry::getLow(size_t d) const { return d == 0 ? m_minX : m_minY; }

double KestrinRTreeEntry::getHigh(size_t d) const { return d == 0 ? m_maxX : m_maxY; }

bool KestrinRTreeEntry::equals(const NORVARTreeLeaf<double, 2>& other) const {
    return other.getLow(0) == m_minX && other.getLow(1) == m_minY && other.getHigh(0) == m_maxX &&
           other.getHigh(1) == m_maxY;
}

long KestrinRTreeEntry::getPosition(double& x, double& y, long index) const {
    x = m_x;
    y = m_y;
    if (index < 0) return 0;
    const long xi = getDescriptor().getTrueXAttributeIndex(index);
    const long yi = getDescriptor().getTrueYAttributeIndex(index);
    if (xi < 0 || yi < 0 || !m_attributes->isSet(xi) || !m_attributes->isSet(yi)) return 0;
    double tx = 0.0, ty = 0.0;
    if (m_attributes->getDoubleValue(xi, tx, false) == 0 && m_attributes->getDoubleValue(yi, ty, false) == 0) {
        x = tx;
        y = ty;
    }
    return 0;
}
