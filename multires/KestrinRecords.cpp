#include "multires/KestrinRecords.h"

#include "multires/KestrinTypeMap.h"
#include "platform/kestrin/KestrinStoreType.h"

namespace KestrinRecords {

namespace {

template <class T>
bool readAs(const KIVOAttributeSet& values, long i, double& number) {
    T v{};
    if (values.getValue(i, v) != 0) return false;
    number = static_cast<double>(v);
    return true;
}

// The value of attribute i through the getter of the store type's kind.
bool readValue(const KIVOAttributeSet& values, long i, int32_t storeType, double& number, NORVAUString& text) {
    using namespace KestrinStoreType;
    switch (storeType) {
        case LONG: return readAs<long>(values, i, number);
        case UCHAR: return readAs<unsigned char>(values, i, number);
        case FLOAT: return readAs<float>(values, i, number);
        case USHORT: return readAs<unsigned short>(values, i, number);
        case SHORT: return readAs<short>(values, i, number);
        case ULONG: return readAs<unsigned long>(values, i, number);
        case FIXED_TEXT:
        case TEXT:
        case STRING: return values.getValue(i, text) == 0;
        default: return readAs<double>(values, i, number);
    }
}

}  // namespace

NORVAKestrinGenericDataDescriptor layoutFor(const KIVODescriptor& descriptor) {
    NORVAKestrinGenericDataDescriptor layout;
    const long n = descriptor.getNumberOfAttributes();
    layout.setNumAtts(n);
    for (long i = 0; i < n; ++i) {
        const KIVODataType::DATA_TYPE type = descriptor.getAttributeType(i);
        layout.setAttributeName(i, descriptor.getAttributeName(i));
        layout.setType(i, KestrinTypeMap::toStoreType(type));
        if (type == KIVODataType::STRING) layout.loadIndexedStringTable(i, nullptr);
        if (type == KIVODataType::TEXT) layout.setAttributeSize(i, descriptor.getLength(i) + 1);
    }
    return layout;
}

NORVAKestrinGenericDataObject newRecord(std::shared_ptr<const NORVAKestrinGenericDataDescriptor> layout) {
    NORVAKestrinGenericDataObject record(std::move(layout));
    record.setEmptyValues();
    return record;
}

FieldMap fieldMap(const KIVODescriptor& descriptor, const NORVAKestrinGenericDataDescriptor& layout) {
    FieldMap map;
    for (long i = 0; i < descriptor.getNumberOfAttributes(); ++i) {
        const long j = layout.getAttributeIndex(descriptor.getAttributeName(i));
        if (j < 0) continue;
        const int32_t storeType = layout.getType(j);
        if (storeType != KestrinTypeMap::toStoreType(descriptor.getAttributeType(i)) &&
            !(storeType == KestrinStoreType::TEXT && descriptor.getAttributeType(i) == KIVODataType::STRING))
            continue;
        map.push_back({i, j, storeType});
    }
    return map;
}

void copyInto(const KIVOAttributeSet& values, const FieldMap& map, NORVAKestrinGenericDataObject& record,
              TextMemo& memo) {
    NORVAUString text;
    for (const MappedField& f : map) {
        double number = 0.0;
        if (!values.isSet(f.node) || !readValue(values, f.node, f.storeType, number, text)) continue;
        if (!KestrinStoreType::isText(f.storeType)) {
            record.setAttribute(f.store, number, true);
            continue;
        }
        if (!memo.held || !(memo.text == text)) {
            memo.utf8 = text.toUTF8();
            memo.text = text;
            memo.held = true;
        }
        record.loadText(f.store, memo.utf8);
    }
}

void copyInto(const KIVOAttributeSet& values, const FieldMap& map, NORVAKestrinGenericDataObject& record) {
    TextMemo memo;
    copyInto(values, map, record, memo);
}

void copyInto(const KIVOAttributeSet& values, const KIVODescriptor& descriptor,
              NORVAKestrinGenericDataObject& record) {
    if (const NORVAKestrinGenericDataDescriptor* layout = record.getDescriptor())
        copyInto(values, fieldMap(descriptor, *layout), record);
}

}  // namespace KestrinRecords
