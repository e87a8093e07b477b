#pragma once
// The data-set layer's string table: texts by 16-bit index.
#include "platform/core/KIVOExport.h"
#include <cstdint>

#include "platform/core/NORVAUString.h"

namespace ORBO_3_12_0_ {
namespace DataSet {

class KIVO_EXPORT StringTable {
public:
    static constexpr uint16_t kInvalidIndex = 0xFFFF;

    // kInvalidIndex when absent.
    virtual uint16_t find(const NORVAUString& s) const = 0;
    // 0 and the text, else a non-zero status.
    virtual long get(uint16_t index, NORVAUString& out) const = 0;
    virtual uint16_t count() const = 0;
    virtual long remove(uint16_t index) = 0;
    virtual uint16_t add(const NORVAUString& s, long& status) = 0;
    // The index of the text, added when absent.
    virtual uint16_t findOrAdd(const NORVAUString& s, long& status) {
        const uint16_t i = find(s);
        if (i != kInvalidIndex) {
            status = 0;
            return i;
        }
        return add(s, status);
    }
    virtual long set(uint16_t index, const NORVAUString& s) = 0;
    virtual long clear() = 0;
    virtual ~StringTable() = default;
};

}  // namespace DataSet
}  // namespace ORBO_3_12_0_
