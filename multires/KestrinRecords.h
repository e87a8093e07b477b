#pragma once
// The record routines of a tile-store surface: the store layout that a
// framework descriptor asks for, the template of a new record, and the copy
// of a node's values into a record.
#include <string>
#include <vector>

#include "platform/frame/KIVOAttributeSet.h"
#include "platform/frame/KIVODescriptor.h"
#include "platform/kestrin/NORVAKestrinGenericDataDescriptor.h"
#include "platform/kestrin/NORVAKestrinGenericDataObject.h"

namespace KestrinRecords {

// One store attribute per framework attribute, of the mapped type; fixed text
// gets the attribute's length plus its terminator.
NORVAKestrinGenericDataDescriptor layoutFor(const KIVODescriptor& descriptor);
// A record of the layout with every numeric field at its type's empty value.
NORVAKestrinGenericDataObject newRecord(std::shared_ptr<const NORVAKestrinGenericDataDescriptor> layout);
// Each value the node holds goes to the record field of the same name and
// type; fields of other names or types, and values not set, are passed over.
void copyInto(const KIVOAttributeSet& values, const KIVODescriptor& descriptor,
              NORVAKestrinGenericDataObject& record);

// The same pairing of node attributes with record fields worked out once,
// for copying many nodes of one layout.
struct MappedField {
    long node;
    long store;
    int32_t storeType;
};
using FieldMap = std::vector<MappedField>;
FieldMap fieldMap(const KIVODescriptor& descriptor, const NORVAKestrinGenericDataDescriptor& layout);
void copyInto(const KIVOAttributeSet& values, const FieldMap& map, NORVAKestrinGenericDataObject& record);
// The same, for nodes that mostly hold the same text (a contributor's
// name): the last text and its UTF-8 form are kept between nodes.
struct TextMemo {
    NORVAUString text;
    std::string utf8;
    bool held = false;
};
void copyInto(const KIVOAttributeSet& values, const FieldMap& map, NORVAKestrinGenericDataObject& record,
              TextMemo& memo);

}  // namespace KestrinRecords
