#pragma once
// Maps strings to 16-bit indices so that string attributes are stored as
// indices. Defaults: a real in-memory table.
#include "platform/core/KIVOExport.h"
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/core/NORVAUString.h"

class KIVO_EXPORT KIVOCompressedStringTable {
public:
    static constexpr uint16_t kInvalidIndex = 0xFFFF;

    virtual ~KIVOCompressedStringTable() = default;
    // Index of the string, added when absent; kInvalidIndex when full.
    virtual uint16_t append(const NORVAUString& s);
    // kInvalidIndex when absent.
    virtual uint16_t getIndexOfString(const NORVAUString& s) const;
    // 0 and the string, or -1 when the index is out of range.
    virtual long getString(uint16_t index, NORVAUString& out) const;
    virtual long setString(uint16_t index, const NORVAUString& s);
    virtual uint16_t getNumberOfStrings() const;
    virtual void reset();
    virtual std::unique_ptr<KIVOCompressedStringTable> newCopy() const;

private:
    std::vector<NORVAUString> m_strings;
    // String -> first index holding it, so that lookups stay constant-time.
    std::unordered_map<NORVAUString, uint16_t> m_index;
};
