#pragma once
// The type of a point-cloud band: scalar (with its element type, unit and
// length direction), text of a fixed size, string-table indices, or date
// and time values held as doubles. A default-made type is empty.
#include "platform/core/KIVOExport.h"
#include <cstdint>
#include <memory>

#include "platform/cloudkit/ORBOCloudValue.h"
#include "platform/core/NORVAUString.h"
#include "platform/orbolink/ORBOStringTable.h"

namespace ORBO_3_12_0_ {
namespace DataSet {
namespace Cloud {

class KIVO_EXPORT BandType {
public:
    enum Kind : int32_t { EMPTY = -1, SCALAR = 0, STRING = 1, STRING_TABLE = 2, DATE_TIME = 3, DATE = 4, TIME = 5 };
    // Length directions of scalar bands: none, or a depth (positive down).
    static constexpr int32_t kNoLengthDirection = 0;
    static constexpr int32_t kDepthDirection = 3;

    BandType() = default;
    static BandType scalar(int32_t valueType, const NORVAUString& unit = NORVAUString(),
                           int32_t lengthDirection = kNoLengthDirection);
    static BandType string(uint32_t size);
    static BandType stringTable(std::shared_ptr<const StringTable> table);
    // DATE_TIME, DATE or TIME.
    static BandType dateTime(Kind kind);

    Kind getKind() const { return m_kind; }
    bool isEmpty() const { return m_kind == EMPTY; }
    // The element type of the band's values: VT_TEXT for text, VT_USHORT
    // for string-table indices, VT_DOUBLE for dates and times.
    int32_t getValueType() const { return m_valueType; }
    uint32_t getStringSize() const { return m_stringSize; }
    const NORVAUString& getUnit() const { return m_unit; }
    int32_t getLengthDirection() const { return m_lengthDirection; }
    std::shared_ptr<const StringTable> getStringTable() const { return m_table; }

private:
    Kind m_kind = EMPTY;
    int32_t m_valueType = VT_NONE;
    uint32_t m_stringSize = 0;
    NORVAUString m_unit;
    int32_t m_lengthDirection = kNoLengthDirection;
    std::shared_ptr<const StringTable> m_table;
};

}  // namespace Cloud
}  // namespace DataSet
}  // namespace ORBO_3_12_0_
