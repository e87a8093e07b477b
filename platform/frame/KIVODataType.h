#pragma once
// Attribute value types of the framework. Types 4 and 5 are 32-bit on disk
// and in stored layouts; 9 to 11 are held as doubles.
#include <cstdint>

#include "platform/core/KIVOExport.h"

namespace KIVODataType {
enum DATA_TYPE : int32_t {
    FLOAT = 0,
    DOUBLE = 1,
    USHORT = 2,
    SHORT = 3,
    LONG = 4,
    ULONG = 5,
    STRING = 6,
    UCHAR = 7,
    TEXT = 8,
    DATETIME = 9,
    DATE = 10,
    TIME = 11
};

// Bytes a value of the type occupies in a record; text needs its length.
KIVO_EXPORT uint32_t storageSize(DATA_TYPE type, uint32_t textLength);
// Unknown values fall back to DOUBLE.
KIVO_EXPORT DATA_TYPE fromInt(int32_t value);
}  // namespace KIVODataType
