#include "multires/KestrinDesignatedIter.h"

#include "multires/KestrinStatusWord.h"
#include "platform/kestrin/KestrinStoreType.h"
#include "platform/kestrin/NORVAKestrinGenericDataDescriptor.h"

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
    // An unwritten "Status" holds the store's empty value (0x7FFFFFFF for a
    // 32-bit field), whose bits mark nothing.
    const double status = record->getAttributeAsDouble(getStatusIndex());
    const NORVAKestrinGenericDataDescriptor* layout = record->getDescriptor();
    if (layout && status == KestrinStoreType::emptyValue(layout->getType(getStatusIndex()))) return true;
    return !KestrinStatusWord::isDesignated(status);
}
