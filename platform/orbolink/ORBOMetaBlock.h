#pragma once
// A named block of metadata as the data-set layer hands it around: items,
// each a name with key/value strings.
#include <map>
#include <vector>

#include "platform/core/NORVAUString.h"

namespace ORBO_3_12_0_ {
namespace DataSet {

struct MetaBlock {
    struct Item {
        NORVAUString name;
        std::map<NORVAUString, NORVAUString> values;
        bool operator==(const Item& o) const { return name == o.name && values == o.values; }
    };
    NORVAUString name;
    std::vector<Item> items;
    bool operator==(const MetaBlock& o) const { return name == o.name && items == o.items; }
};

}  // namespace DataSet
}  // namespace ORBO_3_12_0_
