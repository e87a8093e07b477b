#pragma once
// Serves only the designated soundings of a tile store: the points whose
// "Status" word has bit 30 set and is not rejected. A store without "Status"
// has none.
#include "platform/core/KIVOExport.h"
#include "multires/KestrinPointIter.h"

class KIVO_EXPORT KestrinDesignatedIter : public KestrinPointIter {
public:
    explicit KestrinDesignatedIter(const NORVAUString& path);
    explicit KestrinDesignatedIter(NORVAKestrinTileStore& store);
    KestrinDesignatedIter(const NORVAUString& path, const NORVAArray<double>& minimum,
                          const NORVAArray<double>& maximum);
    KestrinDesignatedIter(NORVAKestrinTileStore& store, const NORVAArray<double>& minimum,
                          const NORVAArray<double>& maximum);

protected:
    bool skipCurrentRecord() const override;
};
