#pragma once
// The storage of one tile store: its layout (read from the header or given)
// and its points file. Made by the tile or cell data-IO for a file, or in
// memory for a new store. The status word tells whether it is usable.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAArray.h"
#include "platform/core/NORVAObject.h"
#include "platform/core/NORVAType.h"
#include "platform/core/NORVAUString.h"
#include "platform/kestrin/NORVAKestrinDataPointIterator.h"
#include "platform/kestrin/NORVAKestrinDatabase.h"
#include "platform/kestrin/NORVAKestrinPointDataConfig.h"
#include "platform/kestrin/NORVAKestrinQuery.h"

class NORVACoordSystem;

class KIVO_EXPORT NORVAKestrinDataIO : public NORVAObject {
public:
    enum OPEN_MODE { READ = 0, UPDATE = 1 };

    // A new, empty store in memory over the layout.
    explicit NORVAKestrinDataIO(const NORVAKestrinPointDataConfig& config);
    ~NORVAKestrinDataIO() override;

    const NORVAKestrinPointDataConfig& getPointDataConfig() const { return *m_config; }
    const NORVAKestrinGenericDataDescriptor& getGenericDataDescriptor() const;
    std::shared_ptr<const NORVAKestrinGenericDataDescriptor> getLayout() const { return m_layout; }
    bool isWritable() const { return m_db && m_db->isWritable(); }
    // The header file this store was opened from; empty for a new store.
    const NORVAUString& getHeaderPath() const { return m_headerPath; }

    // Over the values that are not the type's empty value; the empty value
    // when there is none (and for text, 0).
    double getMinAttValue(long index) const;
    double getMaxAttValue(long index) const;
    void getCover(NORVAArray<double>& minimum, NORVAArray<double>& maximum) const;
    int64_t getNumRecords() const;
    static NORVAType<NORVACoordSystem> getCoordSystem(const NORVAKestrinDataIO& io, long& status);

    // An iterator over the points the query selects; a point query reaches
    // half the horizontal resolution along each axis (or the query's own
    // reach) and serves the nearest point first. Empty handle when the store
    // is not usable; a query the points file could not answer gives an
    // iterator at its end with the failure as its status.
    NORVAType<NORVAKestrinDataPointIterator> createPointIterator(const NORVAKestrinQuery& query, long);

    long loadPoint(int64_t id, NORVAKestrinPoint& point);
    // Per id a status and the point, of ids a query found when
    // getUndoCount() was `foundAt` (see NORVAKestrinDatabase::loadPoints).
    void loadPoints(const int64_t* ids, size_t count, std::vector<std::pair<long, NORVAKestrinPoint>>& out,
                    uint64_t foundAt);
    uint64_t getChangeCount() const { return m_db ? m_db->getChangeCount() : 0; }
    uint64_t getUndoCount() const { return m_db ? m_db->getUndoCount() : 0; }
    // One transaction; ids in the order of the points.
    long addPoints(const std::vector<NORVAKestrinDatabase::NewPoint>& points, std::vector<int64_t>* ids);
    // The listed fields of the record (all when `fields` is null).
    long updatePoint(int64_t id, const NORVAKestrinGenericDataObject& record, const std::vector<long>* fields);
    // Writes the header at `headerPath` and the points beside it. A store
    // that fails drops the session (see dropSession). NORVASurfacePin::kBlocked,
    // with nothing written, when a side file SQLite would meet beside the
    // points file is not a regular file of this user with one name.
    long store(const NORVAUString& headerPath);
    // Ends the session of edits unstored, letting go of the points file
    // (NORVAKestrinDatabase::dropSession): for a store that failed or was
    // refused after this object's part of it; later edits and stores give `why`.
    void dropSession(long why = KestrinStatus::WRITE_FAILED);

    // The points file that belongs to a header path: stem + ".ktf", or
    // stem + ".kcf" for a cell store (a path ending in "kcs", any case).
    static NORVAUString pointsPathFor(const NORVAUString& headerPath);
    // The header path without its extension (the name of the surface's files).
    static NORVAUString stemOf(const NORVAUString& headerPath);
    static bool isCellStorePath(const NORVAUString& path);

protected:
    // Reads the header and opens the points file.
    NORVAKestrinDataIO(const NORVAUString& headerPath, bool writable);

private:
    long storeFiles(const NORVAUString& headerPath);
    void adoptConfig(const NORVAKestrinPointDataConfig& config);
    void rangeOf(long index, double& minimum, double& maximum) const;
    NORVAKestrinPoint makePoint(int64_t id, double x, double y, NORVAKestrinGenericDataObject record) const;

    std::unique_ptr<NORVAKestrinPointDataConfig> m_config;
    std::shared_ptr<const NORVAKestrinGenericDataDescriptor> m_layout;
    std::unique_ptr<NORVAKestrinDatabase> m_db;
    NORVAUString m_headerPath;
    // The grid of the Z-order keys: cover origin and horizontal resolution.
    double m_originX = 0.0, m_originY = 0.0, m_resolution = 0.0;
};
