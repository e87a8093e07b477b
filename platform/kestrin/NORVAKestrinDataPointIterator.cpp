#include "platform/kestrin/NORVAKestrinDataPointIterator.h"

#include <algorithm>

#include "platform/kestrin/KestrinStatus.h"
#include "platform/kestrin/NORVAKestrinDataIO.h"

NORVAKestrinDataPointIterator::NORVAKestrinDataPointIterator(NORVAKestrinDataIO& io, std::vector<int64_t> ids,
                                                             long status, const Window& window)
    : m_io(&io), m_ids(std::move(ids)), m_window(window), m_status(status), m_foundAt(io.getUndoCount()) {
    if (m_status != 0) m_ids.clear();
    settle();
}

void NORVAKestrinDataPointIterator::advance() {
    if (isAtEnd()) return;
    ++m_pos;
    settle();
}

void NORVAKestrinDataPointIterator::reset() {
    if (m_status != 0) return;
    m_pos = 0;
    // The points passed were handed over: they are read again.
    m_chunk.clear();
    settle();
}

bool NORVAKestrinDataPointIterator::inChunk() const {
    return m_pos >= m_chunkStart && m_pos < m_chunkStart + m_chunk.size() &&
           m_chunkStamp == m_io->getChangeCount();
}

// Stands on the first readable point from the current position on.
void NORVAKestrinDataPointIterator::settle() {
    for (; m_pos < m_ids.size(); ++m_pos) {
        if (!inChunk()) {
            m_chunkStart = m_pos;
            m_chunkStamp = m_io->getChangeCount();
            m_io->loadPoints(m_ids.data() + m_pos, std::min(kChunk, m_ids.size() - m_pos), m_chunk, m_foundAt);
        }
        auto& loaded = m_chunk[m_pos - m_chunkStart];
        // Handed over, not copied: the walk never comes back to it. A row
        // lying outside the window, which only a damaged index names, is
        // passed over.
        if (loaded.first == 0) {
            if (!m_window.holds(loaded.second.getX(), loaded.second.getY())) continue;
            m_current.set(std::move(loaded.second));
            return;
        }
        // A point undone since the query is passed over; any other failure
        // (a point missing otherwise is damage) ends the walk, so that no
        // caller takes a part for the whole.
        if (loaded.first != KestrinStatus::BAD_ARGUMENT) {
            m_status = loaded.first;
            m_pos = m_ids.size();
            break;
        }
    }
    m_current = NORVAKestrinDataPoint();
}
