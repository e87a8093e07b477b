#include "formats/wgrid/KIVOWGridAttributeSet.h"

#include <cmath>

#include "formats/wgrid/KIVOWGridDataIO.h"
#include "platform/frame/KIVODataType.h"

KIVOWGridAttributeSet::KIVOWGridAttributeSet(const KIVOWGridDataIO& dataIO)
    : m_dataIO(&dataIO), m_value(KIVOWGridDataIO::emptyValue(dataIO.isIntensity())) {}

float KIVOWGridAttributeSet::emptyValue() const { return KIVOWGridDataIO::emptyValue(m_dataIO->isIntensity()); }

long KIVOWGridAttributeSet::getValue(long index, float& v) const {
    if (index != 0) return -1;
    v = m_value;
    return 0;
}

long KIVOWGridAttributeSet::getValue(long index, double& v) const {
    if (index != 0) return -1;
    v = m_value;
    return 0;
}

long KIVOWGridAttributeSet::getValue(long index, unsigned char& v) const {
    if (index != 0) return -1;
    const double whole = std::trunc(static_cast<double>(m_value));
    if (!(whole >= 0.0 && whole <= 255.0)) return -1;
    v = static_cast<unsigned char>(whole);
    return 0;
}

long KIVOWGridAttributeSet::getStringValue(long index, NORVAUString& v, bool userFormat) const {
    if (index != 0) return -1;
    const KIVOSurfaceAttributeTable* table = m_dataIO->getAttributeInfo();
    const bool integer = table && table->getDescriptor().getNumberOfAttributes() > 0 &&
                         table->getDescriptor().getAttributeType(0) != KIVODataType::FLOAT;
    const double whole = std::trunc(static_cast<double>(m_value));
    if (integer && whole >= -2147483648.0 && whole <= 2147483647.0)
        v = NORVAUString::formatLong(static_cast<long>(whole));
    else
        v = NORVAUString::formatDouble(m_value);
    return 0;
}

long KIVOWGridAttributeSet::getDoubleValue(long index, double& v, bool convert) const { return getValue(index, v); }

std::unique_ptr<KIVOAttributeSet> KIVOWGridAttributeSet::newCopy() const {
    return std::make_unique<KIVOWGridAttributeSet>(*this);
}

bool KIVOWGridAttributeSet::isSet(long index) const { return index == 0 && m_value != emptyValue(); }

bool KIVOWGridAttributeSet::isEmpty() const { return m_value == emptyValue(); }

bool KIVOWGridAttributeSet::reset() {
    m_value = emptyValue();
    return true;
}
