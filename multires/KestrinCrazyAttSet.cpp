#include "multires/KestrinCrazyAttSet.h"

KestrinCrazyAttSet::KestrinCrazyAttSet(std::unique_ptr<KIVOAttributeSet> inner, std::vector<long> kept,
                                       long interpolatedIndex)
    : m_inner(std::move(inner)), m_kept(std::move(kept)), m_interpolatedIndex(interpolatedIndex) {}

KestrinCrazyAttSet::KestrinCrazyAttSet(const KestrinCrazyAttSet& o)
    : KIVOAttributeSet(o), m_inner(o.m_inner->newCopy()), m_kept(o.m_kept), m_interpolatedIndex(o.m_interpolatedIndex) {}

long KestrinCrazyAttSet::map(long index) const {
    if (index >= 0 && index == m_interpolatedIndex) return kInterpolated;
    if (index < 0 || static_cast<size_t>(index) >= m_kept.size()) return kNoSuchIndex;
    return m_kept[static_cast<size_t>(index)];
}

long KestrinCrazyAttSet::getNumberOfAttributes() const {
    return static_cast<long>(m_kept.size()) + (m_interpolatedIndex >= 0 ? 1 : 0);
}

template <class T>
long KestrinCrazyAttSet::get(long index, T& v) const {
    const long inner = map(index);
    if (inner == kInterpolated) {
        v = T(0);
        return 0;
    }
    if (inner == kNoSuchIndex) return kNoSuchIndex;
    return m_inner->getValue(inner, v);
}

long KestrinCrazyAttSet::getValue(long index, unsigned char& v) const { return get(index, v); }
long KestrinCrazyAttSet::getValue(long index, long& v) const { return get(index, v); }
long KestrinCrazyAttSet::getValue(long index, unsigned long& v) const { return get(index, v); }
long KestrinCrazyAttSet::getValue(long index, short& v) const { return get(index, v); }
long KestrinCrazyAttSet::getValue(long index, unsigned short& v) const { return get(index, v); }
long KestrinCrazyAttSet::getValue(long index, double& v) const { return get(index, v); }
long KestrinCrazyAttSet::getValue(long index, float& v) const { return get(index, v); }
long KestrinCrazyAttSet::getValue(long index, NORVAUString& v) const { return getStringValue(index, v, false); }

long KestrinCrazyAttSet::getStringValue(long index, NORVAUString& v, bool userFormat) const {
    const long inner = map(index);
    if (inner == kInterpolated) {
        v = NORVAUString("0");
        return 0;
    }
    if (inner == kNoSuchIndex) return kNoSuchIndex;
    return m_inner->getStringValue(inner, v, userFormat);
}

long KestrinCrazyAttSet::getDoubleValue(long index, double& v, bool convert) const {
    const long inner = map(index);
    if (inner == kInterpolated) {
        v = 0.0;
        return 0;
    }
    if (inner == kNoSuchIndex) return kNoSuchIndex;
    return m_inner->getDoubleValue(inner, v, convert);
}

std::unique_ptr<KIVOAttributeSet> KestrinCrazyAttSet::newCopy() const {
    return std::make_unique<KestrinCrazyAttSet>(*this);
}

bool KestrinCrazyAttSet::isSet(long index) const {
    const long inner = map(index);
    if (inner == kInterpolated) return true;
    return inner != kNoSuchIndex && m_inner->isSet(inner);
}
