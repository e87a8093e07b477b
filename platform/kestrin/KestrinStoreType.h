#pragma once
// The store's attribute types: their sizes in a record, their empty values
// and the checks that keep a value inside its field. Types 1 and 9 are 32-bit.
#include <cstdint>
#include <string>

namespace KestrinStoreType {

enum Type : int32_t {
    DOUBLE = 0,
    LONG = 1,          // signed 32-bit
    FIXED_TEXT = 2,    // text of a fixed size, terminator included
    UCHAR = 3,
    TEXT = 4,          // text handed over as characters
    STRING = 5,        // text handed over as a string object
    FLOAT = 6,
    USHORT = 7,
    SHORT = 8,
    ULONG = 9,         // unsigned 32-bit
    DATETIME = 10,
    DATE = 11,
    TIME = 12,
    TYPE_COUNT = 13
};

bool isValid(int32_t type);
bool isText(int32_t type);
// Bytes of one value in a record; fixed text has the size its attribute gives.
uint32_t fixedSize(int32_t type);
// The value a new record's field starts with; NaN-free. Text types have none
// (hasEmptyValue false).
bool hasEmptyValue(int32_t type);
double emptyValue(int32_t type);
// The value as the type holds it: integers cut toward zero; false when NaN or
// outside the type's range (a float outside the float range, too).
bool fitsType(int32_t type, double value, double& held);
// The value pulled inside the type's range (NaN gives 0): for values read
// from a file, which must never leave a field holding what its type cannot.
double saturate(int32_t type, double value);
// Fixed text cut to its size less the terminator, on a character boundary.
std::string fitText(const std::string& text, uint32_t size);
// The length of that cut text.
size_t fittedLength(const std::string& text, uint32_t size);

}  // namespace KestrinStoreType
