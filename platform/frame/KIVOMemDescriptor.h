#pragma once
// In-memory descriptor over a list of entries. Offsets are assigned in
// entry order from the types' storage sizes; transient attributes follow the
// persistent ones and take no storage.
#include "platform/core/KIVOExport.h"
#include <vector>

#include "platform/frame/KIVODescriptor.h"

class KIVO_EXPORT KIVOMemDescriptor : public KIVODescriptor {
public:
    KIVOMemDescriptor() = default;
    explicit KIVOMemDescriptor(const std::vector<AttribEntry>& entries);
    KIVOMemDescriptor(const KIVOMemDescriptor& o);
    KIVOMemDescriptor& operator=(const KIVOMemDescriptor& o);

    long getNumberOfAttributes() const override;
    long getNumberOfPersistent() const override { return m_persistent; }
    long getAttributeIndex(const NORVAUString& name) const override;
    const NORVAUString& getAttributeName(long index) const override;
    DATA_TYPE getAttributeType(long index) const override;
    long getModAttributeIndex(long index) const override;
    long getTrueXAttributeIndex(long index) const override;
    long getTrueYAttributeIndex(long index) const override;
    const NORVAUString& getModAttribute(long index) const override;
    const NORVAUString& getTrueXAttribute(long index) const override;
    const NORVAUString& getTrueYAttribute(long index) const override;
    uint32_t getDataSize() const override { return m_dataSize; }
    uint32_t getOffset(long index) const override;
    uint32_t getLength(long index) const override;
    const NORVAUString& getUnitKey(long index) const override;
    const NORVAUString& getUnitDirection(long index) const override;
    const KIVOCompressedStringTable* getCompressedStringTable() const override { return m_strings.get(); }
    AttribEntry getAttributeEntry(long index) const override;
    std::vector<AttribEntry> getAttributeEntries() const override { return m_entries; }
    std::unique_ptr<KIVODescriptor> newCopy() const override;
    void resetModAttribute(long index) override;
    long addCompressedString(const NORVAUString& s) override;
    long addTransient(const AttribEntry& entry) override;
    long removeTransient(const NORVAUString& name) override;

    // Appends a persistent attribute; returns its index.
    long addAttribute(const AttribEntry& entry);

private:
    bool valid(long index) const { return index >= 0 && index < static_cast<long>(m_entries.size()); }
    void layout();
    void linkCompanion(NORVAUString& name, int32_t& index) const;

    std::vector<AttribEntry> m_entries;
    long m_persistent = 0;
    uint32_t m_dataSize = 0;
    std::unique_ptr<KIVOCompressedStringTable> m_strings = std::make_unique<KIVOCompressedStringTable>();
};
