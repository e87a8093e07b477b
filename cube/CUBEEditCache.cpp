#include "cube/CUBEEditCache.h"

#include <algorithm>
#include <cstdio>

#include "cube/CUBEUtils.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "cube_engine/cube_grid.h"
#include "cube_engine/cube_node.h"
#include "platform/core/NORVAAtomicFile.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/core/NORVASurfaceLock.h"
#include "platform/core/NORVASurfacePin.h"
#include "platform/frame/KIVOResourceManager.h"

namespace {

// Hypotheses per node the budget reckons with for a new grid.
const float kHypothesesPerNode = 1.5f;

std::string narrow(const NORVAUString& s) { return s.toUTF8(); }

// What a new square grid of `side` nodes is charged; saturates instead of
// wrapping, so a damaged tile size can never look cheap.
uint64_t newGridBytes(uint64_t side, const _cube_param* params) {
    const uint64_t perNode = cube_node_estimate_size(kHypothesesPerNode, params);
    const uint64_t nodes = side * side;  // below 2^64: side is a 32-bit count
    return perNode != 0 && nodes > UINT64_MAX / perNode ? UINT64_MAX : perNode * nodes;
}

}  // namespace

CUBEEditCache::Entry CUBEEditCache::getGrid(KIVOSurfaceCUBEIO& surface, const CUBEGridIdx& key, long& status,
                                            bool create, bool stamp) {
    const time_t now = stamp ? std::time(nullptr) : 0;
    const KIVOCUBEDataHeader* header = surface.getHeader();
    if (header == nullptr || key.row >= header->getGridsDown() || key.column >= header->getGridsAcross()) {
        printf("Invalid grid index (%d, %d) supplied.  Aborting.\n", key.row, key.column);
        return Entry();
    }
    auto hit = m_entries.find(key);
    if (hit != m_entries.end()) {
        if (stamp) hit->second->stamp = now;
        return hit->second;
    }
    NORVAUString fileName = CUBEUtils::gridFileName(surface.getGridPrefix(), key.row, key.column);
    printf("Retreiving grid %s from disk\n", narrow(fileName).c_str());
    uint64_t fileBytes = 0, need = 0;
    // An edited grid that left the cache comes back from its staged file.
    // One that is gone was moved in by a commit that had to be finished by
    // recovery: the grid file holds it.
    const NORVAUString stagedFile = m_staged.fileOf(key);
    const bool staged = !stagedFile.isEmpty() && NORVAFileUtils::fileSize(stagedFile, fileBytes);
    if (staged)
        fileName = stagedFile;
    else
        m_staged.drop(key);
    const bool exists = staged || NORVAFileUtils::fileSize(fileName, fileBytes);
    if (!exists && surface.hadFile(fileName)) {
        // Another object's commit removed it (or renamed the surface): the
        // grid this surface was opened with is not "missing".
        status = NORVASurfacePin::kChanged;
        return Entry();
    }
    if (exists) {
        printf("    Grid exists, attempting to load....\n");
        // The file is mapped while the grid is built beside it, and a grid
        // holds at least about what its file does.
        need = std::min(fileBytes, UINT64_MAX / 2) * 2;
    } else if (!create) {
        printf("    Grid does not exist, aborting.\n");
        return Entry();
    } else {
        printf("    Grid does not exist, attempting to allocate....\n");
        need = newGridBytes(header->getGridSize(), header->getCubeParams());
    }
    if (!makeRoom(surface, need, status)) return Entry();
    Entry entry = load(surface, key, fileName, exists, create, status);
    if (!entry) return entry;
    entry->bytes = need;
    if (exists) {
        // A loaded grid is charged what it holds, which only the grid tells;
        // room is made for it again, other grids going. It is kept even when
        // it alone outgrows what every cache can give back.
        entry->bytes = entry->residentBytes(header->getCubeParams());
        long ignored = 0;
        makeRoom(surface, entry->bytes, ignored);
    }
    entry->stamp = stamp ? now : std::time(nullptr);
    m_entries.emplace(*entry, entry);
    if (staged) {
        // Its edits are in the cache again, to be committed or staged anew.
        entry->state = CUBEGridEntry::kModified;
        m_staged.drop(key);
    }
    surface.printCache();
    return entry;
}

// Takes `need` bytes from the budget, letting other surfaces' caches and
// then this cache's oldest grids go until they fit and at most nine grids
// remain beside the new one.
bool CUBEEditCache::makeRoom(KIVOSurfaceCUBEIO& surface, uint64_t need, long& status) {
    KIVOResourceManager& manager = KIVOResourceManager::m_instance;
    KIVOResourceManager::Lock lock = manager.hold();
    for (;;) {
        manager.resetMemoryLimit();
        if (need > manager.m_available) manager.flush(&surface);
        if (need <= manager.m_available) {
            manager.m_available -= static_cast<uint32_t>(need);
            if (m_entries.size() < kMaxGrids) return true;
        }
        if (!m_entries.empty()) {
            if (!evictOne(surface, status)) return false;
            continue;
        }
        manager.resetMemoryLimit();
        if (need > manager.m_available) manager.flush(nullptr);
        if (need > manager.m_available) {
            status = kNoBudget;
            return false;
        }
        manager.m_available -= static_cast<uint32_t>(need);
    }
}

// The least recently used grid goes; among equal stamps the last in
// (row, column) order. A grid a caller still holds goes only when every
// grid is held: once out of the cache, its holder's edits would reach a copy
// that is never written again.
bool CUBEEditCache::evictOne(KIVOSurfaceCUBEIO& surface, long& status) {
    const time_t now = std::time(nullptr);
    Map::iterator chosen = m_entries.end();
    for (bool heldToo : {false, true}) {
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
            if (it->second->stamp <= now && (heldToo || !isHeld(*it)) &&
                (chosen == m_entries.end() || it->second->stamp <= chosen->second->stamp))
                chosen = it;
        if (chosen != m_entries.end()) break;
    }
    if (chosen == m_entries.end()) {
        printf("    INTERNAL ERROR: No grid found to unload.  Aborting\n");
        status = kNothingToEvict;
        return false;
    }
    Entry entry = chosen->second;
    printf("    Unloading grid %d x %d.\n", entry->row, entry->column);
    if (entry->state == CUBEGridEntry::kModified) {
        const long saved = stage(surface, *entry);
        if (saved != 0) {
            status = saved;
            return false;
        }
    }
    m_entries.erase(chosen);
    printf("Reference count for unloaded entry: %d\n", static_cast<int>(entry.use_count()));
    surface.printCache();
    return true;
}

long CUBEEditCache::writeGrid(const KIVOSurfaceCUBEIO& surface, const CUBEGridEntry& entry, NORVAAtomicFile& file) {
    printf("    Grid %d x %d is modified, saving to disk.\n", entry.row, entry.column);
    // The empty last column or row of grids holds no node to keep, and the
    // engine refuses a dump with an empty side.
    if (entry.grid == nullptr || entry.grid->nx == 0 || entry.grid->ny == 0) return 0;
    const NORVAUString fileName = CUBEUtils::gridFileName(surface.getGridPrefix(), entry.row, entry.column);
    // A grid folder that is gone may have gone with another object's rename:
    // it is not made again for edits whose commit would be refused.
    const NORVAUString folder = fileName.substring(0, fileName.lastIndexOf(u'/') + 1);
    if (!folder.isEmpty() && !NORVAFileUtils::isDirectory(folder)) {
        if (!surface.unchanged()) return NORVASurfacePin::kChanged;
        if (!CUBEUtils::makeGridFolder(surface.getGridPrefix())) {
            printf("    ERROR: Unable to serialize %s. Aborting.\n", narrow(fileName).c_str());
            return kFolderFailed;
        }
    }
    if (!file.open(fileName)) {
        printf("    ERROR: Unable to open/create %s. Aborting.\n", narrow(fileName).c_str());
        return kOpenForWriteFailed;
    }
    return entry.write(file.file(), surface.getHeader()->getCubeParams());
}

// The file is replaced only once the whole grid is on disk.
long CUBEEditCache::save(const KIVOSurfaceCUBEIO& surface, const CUBEGridEntry& entry) {
    NORVAAtomicFile file;
    const long written = writeGrid(surface, entry, file);
    if (written != 0 || !file.isOpen()) return written;
    return file.commit() ? 0 : CUBEGridEntry::kGridWriteFailed;
}

// The grid file is left as it is: only the surface's commit moves the
// staged file over it.
long CUBEEditCache::stage(const KIVOSurfaceCUBEIO& surface, const CUBEGridEntry& entry) {
    NORVAAtomicFile file;
    const long written = writeGrid(surface, entry, file);
    if (written != 0 || !file.isOpen()) return written;
    return m_staged.keep(entry, file) ? 0 : CUBEGridEntry::kGridWriteFailed;
}

CUBEEditCache::Entry CUBEEditCache::load(KIVOSurfaceCUBEIO& surface, const CUBEGridIdx& key,
                                         const NORVAUString& fileName, bool exists, bool create, long& status) {
    Entry entry = std::make_shared<CUBEGridEntry>(surface.makeKey(key.row, key.column));
    entry->state = CUBEGridEntry::kClean;
    if (exists) return readGrid(surface, entry, fileName, status);
    if (!create) return Entry();
    return createGrid(surface, entry, status);
}

CUBEEditCache::Entry CUBEEditCache::readGrid(const KIVOSurfaceCUBEIO& surface, Entry entry,
                                             const NORVAUString& fileName, long& status) {
    // A grid file is read as of the generation the surface was opened at, or
    // refused when a later commit replaced it; a staged file is this
    // surface's own edit.
    NORVASurfaceLock reading;
    if (fileName == CUBEUtils::gridFileName(surface.getGridPrefix(), entry->row, entry->column)) {
        const long held = surface.holdFile(reading, fileName);
        if (held != 0) {
            status = held;
            return Entry();
        }
    }
    FILE* file = NORVAFileUtils::openRegularFile(narrow(fileName).c_str());
    if (file == nullptr) {
        printf("    ERROR: Unable to open %s. Aborting.\n", narrow(fileName).c_str());
        status = kGridFailed;
        return Entry();
    }
    const KIVOCUBEDataHeader* header = surface.getHeader();
    const long read = entry->read(file, header->getCubeParams(), false, header->getGridSize());
    std::fclose(file);
    if (read != 0) {
        status = read;
        return Entry();
    }
    // The state word on file says only that the grid was once edited. Taken
    // over, it would make every close write back grids this surface merely
    // read: a reader would undo edits other processes stored since, and
    // fail on a medium it may only read.
    entry->state = CUBEGridEntry::kClean;
    cube_grid_get_dimensions(entry->grid, &entry->columns, &entry->rows);
    cube_grid_get_resolution(entry->grid, &entry->spacingX, &entry->spacingY);
    return entry;
}

CUBEEditCache::Entry CUBEEditCache::createGrid(const KIVOSurfaceCUBEIO& surface, Entry entry, long& status) {
    const float resolution = surface.getHeader()->getResolution();
    entry->grid = cube_grid_new(entry->columns, entry->rows, resolution, resolution, CUBE_GRID_NONE);
    if (entry->grid == nullptr) {
        printf("   ERROR: cube_grid_new() failed to return a valid pointer for grid %d x %d.  Aborting.\n",
               entry->row, entry->column);
        status = kGridFailed;
        return Entry();
    }
    return entry;
}

// A grid a caller holds is left alone; its state is read only after that.
void CUBEEditCache::dropClean() {
    for (auto it = m_entries.begin(); it != m_entries.end();)
        it = !isHeld(*it) && it->second->state != CUBEGridEntry::kModified ? m_entries.erase(it) : std::next(it);
}

long CUBEEditCache::releaseUnheld(const KIVOSurfaceCUBEIO& surface) {
    long status = 0;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (isHeld(*it)) {
            ++it;
            continue;
        }
        const long staged = it->second->state == CUBEGridEntry::kModified ? stage(surface, *it->second) : 0;
        if (staged == 0) {
            it = m_entries.erase(it);
            continue;
        }
        if (status == 0) status = staged;
        ++it;
    }
    return status;
}

bool CUBEEditCache::hasModified() const {
    if (!m_staged.empty()) return true;
    for (const auto& item : m_entries)
        if (item.second->state == CUBEGridEntry::kModified) return true;
    return false;
}

long CUBEEditCache::writeModified(const KIVOSurfaceCUBEIO& surface, NORVAFileTransaction& transaction,
                                  std::vector<Entry>& written) {
    if (surface.getHeader() == nullptr) return hasModified() ? KIVOSurfaceCUBEIO::kNoHeader : 0;
    for (const auto& item : m_entries) {
        if (item.second->state != CUBEGridEntry::kModified) continue;
        const long saved = save(surface, *item.second);
        if (saved != 0) return saved;
        written.push_back(item.second);
    }
    m_staged.commitInto(transaction, surface.getGridPrefix());
    return 0;
}

void CUBEEditCache::committed(const std::vector<Entry>& written) {
    for (const Entry& entry : written) entry->state = CUBEGridEntry::kClean;
    m_staged.committed();
}

void CUBEEditCache::markClean() {
    for (auto& item : m_entries)
        if (item.second->state == CUBEGridEntry::kModified) item.second->state = CUBEGridEntry::kClean;
    m_staged.clear();
}

uint64_t CUBEEditCache::heldBytes() const {
    uint64_t bytes = 0;
    for (const auto& item : m_entries) bytes += item.second->bytes;
    return bytes;
}

void CUBEEditCache::print() const {
    if (m_entries.empty()) return;
    printf("\tEdit cache contains %d elements\n", static_cast<int>(m_entries.size()));
    for (const auto& item : m_entries)
        printf("\t\tGrid %d x %d.  References = %d\n", item.first.row, item.first.column,
               static_cast<int>(item.second.use_count()));
}
