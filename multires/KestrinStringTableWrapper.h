#pragma once
// A read-only data-set string table over texts of one fixed width, as a
// store keeps them laid end to end.
#include "platform/core/KIVOExport.h"
#include <cstddef>
#include <vector>

#include "platform/orbolink/ORBOStringTable.h"

class KIVO_EXPORT KestrinStringTableWrapper : public ORBO_3_12_0_::DataSet::StringTable {
public:
    KestrinStringTableWrapper() = default;
    // `count` texts of exactly `width` bytes each from `chars`, of which
    // `available` bytes exist: only the texts that lie wholly inside them are
    // taken. No characters give an empty table.
    KestrinStringTableWrapper(uint16_t count, uint16_t width, const char* chars, size_t available);
    KestrinStringTableWrapper(const KestrinStringTableWrapper&) = default;

    uint16_t find(const NORVAUString& s) const override;
    // 146166 for an index not below the count.
    long get(uint16_t index, NORVAUString& out) const override;
    uint16_t count() const override { return static_cast<uint16_t>(m_strings.size()); }
    long remove(uint16_t) override;
    // Status 700028, kInvalidIndex: the table is read-only.
    uint16_t add(const NORVAUString& s, long& status) override;
    long set(uint16_t, const NORVAUString&) override;
    long clear() override;

private:
    std::vector<NORVAUString> m_strings;
};
