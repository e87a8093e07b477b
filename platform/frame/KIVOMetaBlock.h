#pragma once
// A named section of a surface's metadata: items, each a name with a map of
// key/value strings. The host keeps its own sections here; the library only
// carries them.
#include <map>
#include <vector>

#include "platform/core/NORVAUString.h"

struct KIVOMetaItem {
    NORVAUString name;
    std::map<NORVAUString, NORVAUString> values;
    bool operator==(const KIVOMetaItem& o) const { return name == o.name && values == o.values; }
};

struct KIVOMetaBlock {
    NORVAUString name;
    std::vector<KIVOMetaItem> items;
    bool operator==(const KIVOMetaBlock& o) const { return name == o.name && items == o.items; }
};
