#include "platform/frame/KIVOGriddedAttributeSet.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOMemAttributeSet.h"

template <class T>
long KIVOGriddedAttributeSet::getInteger(long index, T& v) const {
    double d = 0.0;
    if (m_grid->getNodeNumber(m_node, index, d) != 0 || std::isnan(d)) return -1;
    const double t = std::trunc(d);
    // The upper bound as a double may round up: compare with < on 2^bits.
    const double above = static_cast<double>(std::numeric_limits<T>::max()) + 1.0;
    if (t < static_cast<double>(std::numeric_limits<T>::lowest()) || t >= above) return -1;
    v = static_cast<T>(t);
    return 0;
}

long KIVOGriddedAttributeSet::getValue(long index, NORVAUString& v) const {
    return m_grid->getNodeText(m_node, index, v);
}

long KIVOGriddedAttributeSet::getValue(long index, double& v) const {
    return m_grid->getNodeNumber(m_node, index, v);
}

long KIVOGriddedAttributeSet::getValue(long index, float& v) const {
    double d = 0.0;
    if (m_grid->getNodeNumber(m_node, index, d) != 0) return -1;
    if (std::isfinite(d) && std::fabs(d) > FLT_MAX) return -1;
    v = static_cast<float>(d);
    return 0;
}

long KIVOGriddedAttributeSet::setValue(long index, const NORVAUString& v) {
    return m_grid->setNodeText(m_node, index, v);
}

long KIVOGriddedAttributeSet::setNumber(long index, double v) { return m_grid->setNodeNumber(m_node, index, v); }

long KIVOGriddedAttributeSet::getStringValue(long index, NORVAUString& v, bool userFormat) const {
    return m_grid->getNodeText(m_node, index, v);
}

long KIVOGriddedAttributeSet::getDoubleValue(long index, double& v, bool convert) const {
    return m_grid->getNodeNumber(m_node, index, v);
}

std::unique_ptr<KIVOAttributeSet> KIVOGriddedAttributeSet::newCopy() const {
    auto copy = std::make_unique<KIVOMemAttributeSet>(m_grid->getDescriptor());
    const long n = m_grid->getDescriptor().getNumberOfPersistent();
    for (long i = 0; i < n; ++i) {
        NORVAUString text;
        double number = 0.0;
        if (m_grid->isTextAttribute(i)) {
            if (m_grid->getNodeText(m_node, i, text) == 0) copy->setValue(i, text);
        } else if (m_grid->getNodeNumber(m_node, i, number) == 0) {
            copy->setValue(i, number);
        }
    }
    return copy;
}

bool KIVOGriddedAttributeSet::isSet(long index) const { return m_grid->isNodeSet(m_node, index); }

bool KIVOGriddedAttributeSet::isEmpty() const { return !m_grid->nodeHasValue(m_node); }

bool KIVOGriddedAttributeSet::reset() {
    m_grid->clearNode(m_node);
    return true;
}
