#include "tools/KIVOTransformedPointIter.h"

KIVOTransformedPointIter::KIVOTransformedPointIter(KIVOPointIter& soundings, const NORVACoordSystem& from,
                                                   const NORVACoordSystem& to)
    : m_soundings(soundings), m_from(from), m_to(to) {
    settle(m_iterStatus);
}

// A position the wrapped iterator cannot give is served as its failure, for
// the consumer to judge like any unreadable field.
bool KIVOTransformedPointIter::settle(long& status) {
    status = 0;
    while (!m_soundings.done(status)) {
        if (status != 0) return false;
        m_positionStatus = m_soundings.getPosition(m_x, m_y);
        if (m_positionStatus != 0 || m_from.transform(m_to, m_x, m_y) == 0) {
            ++m_served;
            return true;
        }
        ++m_notTransformed;
        m_soundings.next(status);
        if (status != 0) return false;
    }
    return false;
}

bool KIVOTransformedPointIter::done(long& status) const {
    if (m_iterStatus != 0) {
        status = m_iterStatus;
        return true;
    }
    return m_soundings.done(status);
}

bool KIVOTransformedPointIter::next(long& status) {
    m_soundings.next(status);
    if (status != 0) {
        m_iterStatus = status;
        return false;
    }
    const bool more = settle(status);
    m_iterStatus = status;
    return more;
}

long KIVOTransformedPointIter::getPosition(double& x, double& y) const {
    if (m_positionStatus != 0) return m_positionStatus;
    x = m_x;
    y = m_y;
    return 0;
}

void KIVOTransformedPointIter::getAdditionalAttributes(std::vector<NORVAUString>& names) const {
    m_soundings.getAdditionalAttributes(names);
}

void KIVOTransformedPointIter::getAvailable(std::vector<NORVAUString>& names) const {
    m_soundings.getAvailable(names);
}

long KIVOTransformedPointIter::getAsDouble(long index, double& value) const {
    return m_soundings.getAsDouble(index, value);
}

KIVOPointIter::DATA_TYPE KIVOTransformedPointIter::getType(long index) const { return m_soundings.getType(index); }

long KIVOTransformedPointIter::get(long index, NORVAUString& value) const { return m_soundings.get(index, value); }

long KIVOTransformedPointIter::get(long index, long& value) const { return m_soundings.get(index, value); }

long KIVOTransformedPointIter::get(long index, double& value) const { return m_soundings.get(index, value); }

long KIVOTransformedPointIter::count() const { return m_soundings.count(); }

bool KIVOTransformedPointIter::indexOf(const NORVAUString& name, long& index, DATA_TYPE& type) const {
    return m_soundings.indexOf(name, index, type);
}
