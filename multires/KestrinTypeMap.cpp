#include "multires/KestrinTypeMap.h"

#include "platform/kestrin/KestrinStoreType.h"

namespace KestrinTypeMap {

KIVODataType::DATA_TYPE toDataType(int32_t storeType) {
    using namespace KestrinStoreType;
    switch (storeType) {
        case DOUBLE: return KIVODataType::DOUBLE;
        case LONG: return KIVODataType::LONG;
        case FIXED_TEXT: return KIVODataType::TEXT;
        case UCHAR: return KIVODataType::UCHAR;
        case TEXT:
        case STRING: return KIVODataType::STRING;
        case FLOAT: return KIVODataType::FLOAT;
        case USHORT: return KIVODataType::USHORT;
        case SHORT: return KIVODataType::SHORT;
        case ULONG: return KIVODataType::ULONG;
        case DATETIME: return KIVODataType::DATETIME;
        case DATE: return KIVODataType::DATE;
        case TIME: return KIVODataType::TIME;
        default: return KIVODataType::DOUBLE;
    }
}

int32_t toStoreType(KIVODataType::DATA_TYPE type) {
    using namespace KestrinStoreType;
    switch (type) {
        case KIVODataType::LONG: return LONG;
        case KIVODataType::TEXT: return FIXED_TEXT;
        case KIVODataType::UCHAR: return UCHAR;
        case KIVODataType::STRING: return STRING;
        case KIVODataType::FLOAT: return FLOAT;
        case KIVODataType::USHORT: return USHORT;
        case KIVODataType::SHORT: return SHORT;
        case KIVODataType::ULONG: return ULONG;
        case KIVODataType::DATETIME: return DATETIME;
        case KIVODataType::DATE: return DATE;
        case KIVODataType::TIME: return TIME;
        default: return DOUBLE;
    }
}

}  // namespace KestrinTypeMap
