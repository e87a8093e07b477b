#pragma once
// The framework string table of a tile-store descriptor. The store keeps
// texts in the records themselves, so this table holds none and takes none:
// it says so instead of pretending to store them.
#include "platform/core/KIVOExport.h"
#include "platform/frame/KIVOCompressedStringTable.h"
#include "platform/kestrin/NORVAKestrinGenericDataDescriptor.h"

class KIVO_EXPORT KIVOKestrinStringTable : public KIVOCompressedStringTable {
public:
    explicit KIVOKestrinStringTable(const NORVAKestrinGenericDataDescriptor& layout) : m_layout(&layout) {}

    // kInvalidIndex: nothing is stored.
    uint16_t append(const NORVAUString& s) override { return kInvalidIndex; }
    uint16_t getIndexOfString(const NORVAUString& s) const override { return kInvalidIndex; }
    // -1: the table is empty.
    long getString(uint16_t index, NORVAUString& out) const override { return -1; }
    long setString(uint16_t index, const NORVAUString& s) override;
    uint16_t getNumberOfStrings() const override { return 0; }
    void reset() override {}
    std::unique_ptr<KIVOCompressedStringTable> newCopy() const override;

    const NORVAKestrinGenericDataDescriptor& getLayout() const { return *m_layout; }

private:
    const NORVAKestrinGenericDataDescriptor* m_layout;
};
