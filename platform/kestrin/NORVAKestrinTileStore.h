#pragma once
// A tile store: points with records over one layout. Edits of single points
// and batches of new points reach its data-IO at once; `store` writes its
// files (header and points).
#include "platform/core/KIVOExport.h"
#include <vector>

#include "platform/core/NORVAObject.h"
#include "platform/core/NORVAType.h"
#include "platform/kestrin/NORVAKestrinDataIO.h"
#include "platform/kestrin/NORVAKestrinPointCollection.h"

class KIVO_EXPORT NORVAKestrinTileStore : public NORVAObject {
public:
    // Takes the data-IO over (the handle is left empty); the store's status is
    // the data-IO's (-1 without one).
    explicit NORVAKestrinTileStore(NORVAType<NORVAKestrinDataIO>& dataIO);
    // An empty store in memory over the layout.
    NORVAKestrinTileStore(const NORVAKestrinPointDataConfig& config, bool, bool);
    ~NORVAKestrinTileStore() override;

    // The data-IO of the only level, 0; null for any other.
    NORVAKestrinDataIO* getDataIO(int level) const;
    // Null when the store has no data-IO.
    const NORVAKestrinPointDataConfig* getPointDataConfig() const;

    // Writes the record of a stored point; -1 when the point is not one of
    // this store's or the record is of another layout.
    long modifyPoint(const NORVAKestrinPoint& point, const NORVAKestrinGenericDataObject& record);
    // Adds the batch as one transaction; on success each point of the batch
    // gets its new id. On failure nothing of the batch is added.
    long addPoints(NORVAKestrinPointCollection& points, bool, int, int);
    long store(const NORVAUString& path);

private:
    bool sameLayout(const NORVAKestrinGenericDataObject& record) const;

    NORVAType<NORVAKestrinDataIO> m_dataIO;
    // The fields an edit changes, kept from edit to edit.
    std::vector<long> m_changed;
};
