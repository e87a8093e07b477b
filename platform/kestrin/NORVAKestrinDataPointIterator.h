#pragma once
// Walks the points a query selected. The ids are taken when the iterator is
// made (just after the query found them), so points added later neither
// appear nor disturb it; each point is read when the iterator reaches it,
// and a point that is no longer there because the store undid it since is
// passed over. When the points file cannot be read (locked elsewhere beyond
// the wait, damaged, or missing a point its index names) the iterator ends
// there with the failure as its status.
// Points are read a chunk at a time; a chunk read before the store last
// changed is read again, so every point served is current. Only points whose
// own position lies in the query's window are served: a damaged index may
// name rows that lie elsewhere.
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/core/KIVOExport.h"
#include "platform/kestrin/NORVAKestrinDataPoint.h"

class NORVAKestrinDataIO;

class KIVO_EXPORT NORVAKestrinDataPointIterator {
public:
    // Edges included.
    struct Window {
        double minX = -HUGE_VAL, minY = -HUGE_VAL, maxX = HUGE_VAL, maxY = HUGE_VAL;
        bool holds(double x, double y) const { return x >= minX && x <= maxX && y >= minY && y <= maxY; }
    };

    // The points of `ids` that lie in the window; the data-IO must outlive
    // the iterator.
    NORVAKestrinDataPointIterator(NORVAKestrinDataIO& io, std::vector<int64_t> ids, long status,
                                  const Window& window);

    bool isAtEnd() const { return m_pos >= m_ids.size(); }
    // The point the iterator stands on; an empty point at the end.
    const NORVAKestrinDataPoint& current() const { return m_current; }
    void advance();
    void reset();
    size_t size() const { return m_ids.size(); }
    // The failure that ended the iteration, 0 when none.
    long getStatus() const { return m_status; }

private:
    void settle();
    bool inChunk() const;
    static constexpr size_t kChunk = 256;

    NORVAKestrinDataIO* m_io;
    std::vector<int64_t> m_ids;
    Window m_window;
    size_t m_pos = 0;
    NORVAKestrinDataPoint m_current;
    long m_status = 0;
    std::vector<std::pair<long, NORVAKestrinPoint>> m_chunk;
    size_t m_chunkStart = 0;
    uint64_t m_chunkStamp = 0;
    // The store's undo count when the ids were found.
    uint64_t m_foundAt = 0;
};
