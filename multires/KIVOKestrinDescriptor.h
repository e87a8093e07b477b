#pragma once
// A tile store's record layout seen as a framework descriptor. It refers to
// the store's layout, which must outlive it.
#include "platform/core/KIVOExport.h"
#include "multires/KIVOKestrinStringTable.h"
#include "platform/frame/KIVODescriptor.h"
#include "platform/kestrin/NORVAKestrinGenericDataDescriptor.h"

class KIVO_EXPORT KIVOKestrinDescriptor : public KIVODescriptor {
public:
    explicit KIVOKestrinDescriptor(const NORVAKestrinGenericDataDescriptor& layout);
    KIVOKestrinDescriptor(const KIVOKestrinDescriptor& o);
    KIVOKestrinDescriptor& operator=(const KIVOKestrinDescriptor& o);

    long getNumberOfAttributes() const override { return m_layout->getNumAtts(); }
    long getNumberOfPersistent() const override { return m_layout->getNumAtts(); }
    long getAttributeIndex(const NORVAUString& name) const override;
    const NORVAUString& getAttributeName(long index) const override { return m_layout->getAttributeName(index); }
    DATA_TYPE getAttributeType(long index) const override;
    long getStorageType() const override { return 0; }
    long getModAttributeIndex(long) const override { return -1; }
    long getTrueXAttributeIndex(long index) const override { return m_layout->getAttrXCoordIndex(index); }
    long getTrueYAttributeIndex(long index) const override { return m_layout->getAttrYCoordIndex(index); }
    const NORVAUString& getModAttribute(long) const override { return emptyString(); }
    // The companion's name; empty when there is none.
    const NORVAUString& getTrueXAttribute(long index) const override;
    const NORVAUString& getTrueYAttribute(long index) const override;
    uint32_t getDataSize() const override { return m_recordSize; }
    uint32_t getAllDataSize() const override { return m_recordSize; }
    uint32_t getOffset(long) const override { return 0; }
    // The store's size; for fixed text without its terminator, as framework lengths count.
    uint32_t getLength(long index) const override;
    const NORVAUString& getUnitKey(long index) const override { return m_layout->getAttributeUnit(index); }
    const NORVAUString& getUnitDirection(long) const override { return emptyString(); }
    const KIVOCompressedStringTable* getCompressedStringTable() const override { return m_strings.get(); }
    AttribEntry getAttributeEntry(long) const override { return AttribEntry(); }
    std::vector<AttribEntry> getAttributeEntries() const override { return {}; }
    std::unique_ptr<KIVODescriptor> newCopy() const override;
    void resetModAttribute(long) override {}
    // The table takes no strings: 700028.
    long addCompressedString(const NORVAUString& s) override;
    long addTransient(const AttribEntry&) override { return 0; }
    long removeTransient(const NORVAUString&) override { return 0; }

private:
    const NORVAKestrinGenericDataDescriptor* m_layout;
    uint32_t m_recordSize;
    std::unique_ptr<KIVOKestrinStringTable> m_strings;
};
