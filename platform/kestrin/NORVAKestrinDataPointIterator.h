#pragma once
// Walks the points a query selected. The ids are taken when the iterator is
// made, so points added later neither appear nor disturb it; each point is
// read when the iterator reaches it, and a point that can no longer be read
// is passed over.
#include <cstdint>
#include <vector>

#include "platform/kestrin/NORVAKestrinDataPoint.h"

class NORVAKestrinDataIO;

class NORVAKestrinDataPointIterator {
public:
    // The data-IO must outlive the iterator.
    NORVAKestrinDataPointIterator(NORVAKestrinDataIO& io, std::vector<int64_t> ids);

    bool isAtEnd() const { return m_pos >= m_ids.size(); }
    // The point the iterator stands on; an empty point at the end.
    const NORVAKestrinDataPoint& current() const { return m_current; }
    void advance();
    void reset();
    size_t size() const { return m_ids.size(); }
    // The first failure met while reading points, 0 when none.
    long getStatus() const { return m_status; }

private:
    void settle();

    NORVAKestrinDataIO* m_io;
    std::vector<int64_t> m_ids;
    size_t m_pos = 0;
    NORVAKestrinDataPoint m_current;
    long m_status = 0;
};
