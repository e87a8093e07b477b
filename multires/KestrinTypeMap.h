#pragma once
// The mapping between the store's attribute types and the framework's
// DATA_TYPE, both ways. Text handed over as characters (4) and as a string
// object (5) both read as DATA_TYPE 6, which writes back as 5; unknown
// store types read as DOUBLE, unknown DATA_TYPEs write as store double.
#include <cstdint>

#include "platform/frame/KIVODataType.h"

namespace KestrinTypeMap {
KIVODataType::DATA_TYPE toDataType(int32_t storeType);
int32_t toStoreType(KIVODataType::DATA_TYPE type);
}  // namespace KestrinTypeMap
