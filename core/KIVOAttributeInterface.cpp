#include "core/KIVOAttributeInterface.h"

namespace NORVAExpression {

namespace {
const long kNoValue = -1;
}

KIVOAttributeInterface::KIVOAttributeInterface(const KIVODescriptor& descriptor)
    : m_descriptor(descriptor.newCopy()) {}

long KIVOAttributeInterface::getVariableIndex(const NORVAUString& name) const {
    return m_descriptor->getAttributeIndex(name);
}

long KIVOAttributeInterface::getVariableValue(long index, double& value) const {
    if (!m_attributes || index < 0 || !m_attributes->isSet(index)) return kNoValue;
    return m_attributes->getDoubleValue(index, value, false) == 0 ? 0 : kNoValue;
}

}  // namespace NORVAExpression
