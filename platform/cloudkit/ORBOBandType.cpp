#include "platform/cloudkit/ORBOBandType.h"

namespace ORBO_3_12_0_ {
namespace DataSet {
namespace Cloud {

BandType BandType::scalar(int32_t valueType, const NORVAUString& unit, int32_t lengthDirection) {
    BandType t;
    t.m_kind = SCALAR;
    t.m_valueType = valueType;
    t.m_unit = unit;
    t.m_lengthDirection = lengthDirection;
    return t;
}

BandType BandType::string(uint32_t size) {
    BandType t;
    t.m_kind = STRING;
    t.m_valueType = VT_TEXT;
    t.m_stringSize = size;
    return t;
}

BandType BandType::stringTable(std::shared_ptr<const StringTable> table) {
    BandType t;
    t.m_kind = STRING_TABLE;
    t.m_valueType = VT_USHORT;
    t.m_table = std::move(table);
    return t;
}

BandType BandType::dateTime(Kind kind) {
    BandType t;
    t.m_kind = kind;
    t.m_valueType = VT_DOUBLE;
    return t;
}

}  // namespace Cloud
}  // namespace DataSet
}  // namespace ORBO_3_12_0_
