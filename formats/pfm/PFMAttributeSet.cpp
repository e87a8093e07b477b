#include "formats/pfm/PFMAttributeSet.h"

PFMAttributeSet::PFMAttributeSet(const KIVOPFMDataIO* dataIO) : m_dataIO(dataIO) {}

const float* PFMAttributeSet::field(long index) const {
    switch (index) {
    case 0:
        return &m_record.min_depth;
    case 1:
        return &m_record.max_depth;
    case 2:
        return &m_record.avg_depth;
    default:
        return nullptr;
    }
}

long PFMAttributeSet::getValue(long index, float& v) const {
    if (const float* f = field(index)) v = *f;
    return 0;
}

long PFMAttributeSet::getDoubleValue(long index, double& v, bool convert) const {
    if (const float* f = field(index)) v = *f;
    return 0;
}

long PFMAttributeSet::getStringValue(long index, NORVAUString& v, bool userFormat) const {
    const float* f = field(index);
    if (!f) return -1;
    v = NORVAUString::formatDouble(*f, true);
    return 0;
}

std::unique_ptr<KIVOAttributeSet> PFMAttributeSet::newCopy() const {
    return std::make_unique<PFMAttributeSet>(*this);
}

bool PFMAttributeSet::reset() {
    m_record = BIN_RECORD();
    return true;
}
