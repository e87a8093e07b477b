#include "platform/frame/KIVODataType.h"

namespace KIVODataType {

uint32_t storageSize(DATA_TYPE type, uint32_t textLength) {
    switch (fromInt(static_cast<int32_t>(type))) {
        case FLOAT: return 4;
        case DOUBLE: return 8;
        case USHORT: return 2;
        case SHORT: return 2;
        case LONG: return 4;
        case ULONG: return 4;
        case STRING: return 2;  // a 16-bit string-table index
        case UCHAR: return 1;
        case TEXT: return textLength == UINT32_MAX ? UINT32_MAX : textLength + 1;
        case DATETIME:
        case DATE:
        case TIME: return 8;
    }
    return 8;
}

DATA_TYPE fromInt(int32_t value) {
    if (value < FLOAT || value > TIME) return DOUBLE;
    return static_cast<DATA_TYPE>(value);
}

}  // namespace KIVODataType
