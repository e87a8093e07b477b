#include "platform/frame/KIVOGriddedAttributeSet.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOMemAttributeSet.h"

long KIVOGriddedAttributeSet::getValue(long index, NORVAUString& v) const {
    return m_grid->getNodeText(m_node, index, v);
}

long KIVOGriddedAttributeSet::setValue(long index, const NORVAUString& v) {
    return m_grid->setNodeText(m_node, index, v);
}

long KIVOGriddedAttributeSet::getStringValue(long index, NORVAUString& v, bool userFormat) const {
    return m_grid->getNodeText(m_node, index, v);
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

bool KIVOGriddedAttributeSet::isEmpty() const { return !m_grid->nodeHasValue(m_node); }

bool KIVOGriddedAttributeSet::reset() {
    m_grid->clearNode(m_node);
    return true;
}
