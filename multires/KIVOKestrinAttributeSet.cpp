#include "multires/KIVOKestrinAttributeSet.h"

#include <cmath>
#include <limits>

#include "multires/KIVOKestrinDataIO.h"
#include "platform/kestrin/KestrinStoreType.h"

namespace {

// Cut toward zero and held inside T: the empty values of wider fields
// (3.4e38, 1.8e308) must not turn into undefined conversions.
template <class T>
T saturated(double v) {
    if (std::isnan(v)) return 0;
    const double t = std::trunc(v);
    const double lo = static_cast<double>(std::numeric_limits<T>::lowest());
    const double hi = static_cast<double>(std::numeric_limits<T>::max());
    if (t <= lo) return std::numeric_limits<T>::lowest();
    if (t >= hi) return std::numeric_limits<T>::max();
    return static_cast<T>(t);
}

}  // namespace

KIVOKestrinAttributeSet::KIVOKestrinAttributeSet(const NORVAKestrinPoint& point, KIVOKestrinDataIO* dataIO)
    : m_point(point), m_record(point.getData()), m_dataIO(dataIO), m_text() {}

KIVOKestrinAttributeSet::KIVOKestrinAttributeSet(const KIVOKestrinAttributeSet& o)
    : KIVOAttributeSet(o),
      m_point(o.m_point),
      m_record(o.m_record),
      m_dataIO(o.m_dataIO),
      m_detached(o.m_detached),
      m_text() {}

void KIVOKestrinAttributeSet::moveTo(const NORVAKestrinPoint& point) {
    m_point = point;
    m_record = point.getData();
}

template <class T>
long KIVOKestrinAttributeSet::getInteger(long index, T& v) const {
    if (!valid(index)) return -1;
    v = saturated<T>(m_record.getAttributeAsDouble(index));
    return 0;
}

long KIVOKestrinAttributeSet::getValue(long index, unsigned char& v) const { return getInteger(index, v); }
long KIVOKestrinAttributeSet::getValue(long index, long& v) const { return getInteger(index, v); }
long KIVOKestrinAttributeSet::getValue(long index, unsigned long& v) const { return getInteger(index, v); }
long KIVOKestrinAttributeSet::getValue(long index, short& v) const { return getInteger(index, v); }
long KIVOKestrinAttributeSet::getValue(long index, unsigned short& v) const { return getInteger(index, v); }

long KIVOKestrinAttributeSet::getValue(long index, NORVAUString& v) const { return getStringValue(index, v, false); }

long KIVOKestrinAttributeSet::getValue(long index, double& v) const { return getDoubleValue(index, v, false); }

long KIVOKestrinAttributeSet::getValue(long index, float& v) const {
    if (!valid(index)) return -1;
    const double d = m_record.getAttributeAsDouble(index);
    v = std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()
            ? (d > 0 ? std::numeric_limits<float>::max() : std::numeric_limits<float>::lowest())
            : static_cast<float>(d);
    return 0;
}

long KIVOKestrinAttributeSet::getStringValue(long index, NORVAUString& v, bool) const {
    if (!valid(index) || m_record.getAttributeAsText(index, m_text, sizeof m_text, 3) != 0) return -1;
    v = NORVAUString(m_text);
    return 0;
}

long KIVOKestrinAttributeSet::getDoubleValue(long index, double& v, bool) const {
    if (!valid(index)) return -1;
    v = m_record.getAttributeAsDouble(index);
    return 0;
}

// The point's own record holds what the store holds: only the field edited
// can differ, and it goes back from there when the store refuses it.
long KIVOKestrinAttributeSet::commit(long index) {
    if (m_detached) return 0;
    NORVAKestrinTileStore* store = m_dataIO->getTileStore();
    const long status = store ? store->modifyPoint(m_point, m_record) : -1;
    if (status != 0) m_record.copyField(m_point.getData(), index);
    else m_point.getData().copyField(m_record, index);
    return status;
}

long KIVOKestrinAttributeSet::writeFrom(const KIVOKestrinAttributeSet& edited) {
    if (m_dataIO == nullptr || edited.m_record.getDescriptor() != m_record.getDescriptor()) return -1;
    if (!m_detached) {
        NORVAKestrinTileStore* store = m_dataIO->getTileStore();
        const long status = store ? store->modifyPoint(m_point, edited.m_record) : -1;
        if (status != 0) return status;
        m_point.getData() = edited.m_record;
    }
    m_record = edited.m_record;
    return 0;
}

long KIVOKestrinAttributeSet::write(long index, double value, int32_t storeType) {
    if (m_dataIO == nullptr || !valid(index) || m_record.getDescriptor()->getType(index) != storeType) return -1;
    if (m_record.setAttribute(index, value, true) != 0) return -1;
    return commit(index);
}

long KIVOKestrinAttributeSet::setValue(long index, const unsigned char& v) {
    return write(index, v, KestrinStoreType::UCHAR);
}
long KIVOKestrinAttributeSet::setValue(long index, const long& v) {
    return write(index, static_cast<double>(v), KestrinStoreType::LONG);
}
long KIVOKestrinAttributeSet::setValue(long index, const unsigned long& v) {
    return write(index, static_cast<double>(v), KestrinStoreType::ULONG);
}
long KIVOKestrinAttributeSet::setValue(long index, const short& v) { return write(index, v, KestrinStoreType::SHORT); }
long KIVOKestrinAttributeSet::setValue(long index, const unsigned short& v) {
    return write(index, v, KestrinStoreType::USHORT);
}
// Dates and times are doubles too; without this road they could not be edited.
long KIVOKestrinAttributeSet::setValue(long index, const double& v) {
    const int32_t type = valid(index) ? m_record.getDescriptor()->getType(index) : -1;
    const bool dateOrTime =
        type == KestrinStoreType::DATETIME || type == KestrinStoreType::DATE || type == KestrinStoreType::TIME;
    return write(index, v, dateOrTime ? type : KestrinStoreType::DOUBLE);
}
long KIVOKestrinAttributeSet::setValue(long index, const float& v) { return write(index, v, KestrinStoreType::FLOAT); }

long KIVOKestrinAttributeSet::setValue(long index, const NORVAUString& v) {
    if (m_dataIO == nullptr || !valid(index) || !KestrinStoreType::isText(m_record.getDescriptor()->getType(index)))
        return -1;
    if (m_record.setAttribute(index, v, true) != 0) return -1;
    return commit(index);
}

std::unique_ptr<KIVOAttributeSet> KIVOKestrinAttributeSet::newCopy() const {
    return std::make_unique<KIVOKestrinAttributeSet>(*this);
}

std::unique_ptr<KIVOAttributeSet> KIVOKestrinAttributeSet::detachedCopy() const {
    auto copy = std::make_unique<KIVOKestrinAttributeSet>(*this);
    copy->m_detached = true;
    return copy;
}
