#pragma once
// The read cache of a CUBE surface: per grid, one slot per attribute, each
// holding that attribute's layer of node values as read from a layer-cache
// file. The query iterators fill and read it; the surface empties it on
// every cache flush and reports what it holds to the memory budget.
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "cube/CUBEGridIdx.h"
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAUString.h"

class CUBELayerFile;
class KIVOSurfaceDataIO;

class KIVO_EXPORT CUBELayerCache {
public:
    struct Slot {
        std::shared_ptr<std::vector<float>> layer;
        bool loaded = false;
    };
    using Layers = std::vector<Slot>;
    using Map = std::map<CUBEGridIdx, Layers>;

    bool empty() const { return m_grids.empty(); }
    size_t size() const { return m_grids.size(); }
    void clear() { m_grids.clear(); }
    Map& grids() { return m_grids; }
    const Map& grids() const { return m_grids; }

    using Layer = std::shared_ptr<std::vector<float>>;

    // The layer of one attribute of `grid` (a full key of the grid), read
    // from `file` (opened by the caller for that grid) on first use under the
    // memory budget, whose room is made on behalf of `owner`. Empty when the
    // layer cannot be allocated or read or holds no values; a refused file
    // is not remembered, so a mended one is read on the next request.
    // True when the attribute's layer of `grid` was read before; `layer` is
    // then what the read gave (empty for a layer without values).
    bool lookup(const CUBEGridIdx& grid, long attribute, Layer& layer) const;
    Layer fetch(const CUBEGridIdx& grid, long attribute, size_t attributeCount, CUBELayerFile& file,
                const KIVOSurfaceDataIO* owner);

    // Four bytes per value held, as the budget was charged for them.
    uint64_t heldBytes() const;
    // The read-cache part of the surface's cache dump.
    void print() const;

private:
    // Takes `need` bytes from the budget, flushing other surfaces' caches and
    // then every cache (this one included) when the room is not there; what
    // is still missing then is taken beyond the budget.
    static void reserve(uint64_t need, const KIVOSurfaceDataIO* owner);
    static Layer readLayer(CUBELayerFile& file);
    void store(const CUBEGridIdx& grid, long attribute, size_t attributeCount, const Layer& layer);

    Map m_grids;
};
