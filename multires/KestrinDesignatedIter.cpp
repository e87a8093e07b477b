#include "multires/KestrinDesignatedIter.h"

#include "multires/KestrinStatusWord.h"

// The point iterator's part stood on its first point under its own rule;
// the second run stands on the first designated one, over the same store.
KestrinDesignatedIter::KestrinDesignatedIter(const NORVAUString& path) : KestrinPointIter(path) {
    setStatus(initialize());
}

KestrinDesignatedIter::KestrinDesignatedIter(NORVAKestrinTileStore& store) : KestrinPointIter(store) {
    setStatus(initialize());
}

KestrinDesignatedIter::KestrinDesignatedIter(const NORVAUString& path, const NORVAArray<double>& minimum,
                                             const NORVAArray<double>& maximum)
    : KestrinPointIter(path, minimum, maximum) {
    setStatus(initialize());
}

KestrinDesignatedIter::KestrinDesignatedIter(NORVAKestrinTileStore& store, const NORVAArray<double>& minimum,
                                             const NORVAArray<double>& maximum)
    : KestrinPointIter(store, minimum, maximum) {
    setStatus(initialize());
}

bool KestrinDesignatedIter::skipCurrentRecord() const {
    if (KestrinPointIter::skipCurrentRecord()) return true;
    const NORVAKestrinGenericDataObject* record = currentRecord();
    if (record == nullptr) return false;
    if (getStatusIndex() < 0) return true;
    return !KestrinStatusWord::isDesignated(record->getAttributeAsDouble(getStatusIndex()));
}
