#include "platform/kestrin/NORVAKestrinDataPointIterator.h"

#include "platform/kestrin/NORVAKestrinDataIO.h"

NORVAKestrinDataPointIterator::NORVAKestrinDataPointIterator(NORVAKestrinDataIO& io, std::vector<int64_t> ids)
    : m_io(&io), m_ids(std::move(ids)) {
    settle();
}

void NORVAKestrinDataPointIterator::advance() {
    if (isAtEnd()) return;
    ++m_pos;
    settle();
}

void NORVAKestrinDataPointIterator::reset() {
    m_pos = 0;
    settle();
}

// Stands on the first readable point from the current position on.
void NORVAKestrinDataPointIterator::settle() {
    for (; m_pos < m_ids.size(); ++m_pos) {
        NORVAKestrinPoint point;
        const long status = m_io->loadPoint(m_ids[m_pos], point);
        if (status == 0) {
            m_current = NORVAKestrinDataPoint(point);
            return;
        }
        if (m_status == 0) m_status = status;
    }
    m_current = NORVAKestrinDataPoint();
}
