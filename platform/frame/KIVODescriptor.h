#pragma once
// The attribute layout of a surface: names, types, storage offsets and
// lengths, unit key and direction, companions and a string table.
#include "platform/core/KIVOExport.h"
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/NORVAUString.h"
#include "platform/frame/KIVOCompressedStringTable.h"
#include "platform/frame/KIVODataType.h"

class KIVO_EXPORT KIVODescriptor {
public:
    using DATA_TYPE = KIVODataType::DATA_TYPE;

    struct AttribEntry {
        NORVAUString name;
        int32_t type = KIVODataType::DOUBLE;
        NORVAUString modName;
        int32_t modIndex = -1;
        uint32_t offset = 0;
        uint32_t length = 0;
        NORVAUString trueXName;
        int32_t trueXIndex = -1;
        NORVAUString trueYName;
        int32_t trueYIndex = -1;
        NORVAUString unitKey;
        NORVAUString unitDirection;
        int32_t kind = 0;  // 1 marks an extended attribute
        NORVAUString extra;

        AttribEntry() = default;
        AttribEntry(const NORVAUString& n, int32_t t) : name(n), type(t) {}
        void clear();
        bool operator==(const AttribEntry& o) const;
    };

    virtual ~KIVODescriptor() = default;

    virtual long getNumberOfAttributes() const = 0;
    virtual long getNumberOfPersistent() const { return getNumberOfAttributes(); }
    // -1 when absent; names match exactly, never by prefix or case.
    virtual long getAttributeIndex(const NORVAUString& name) const = 0;
    virtual const NORVAUString& getAttributeName(long index) const = 0;
    virtual DATA_TYPE getAttributeType(long index) const = 0;
    virtual long getStorageType() const { return 0; }
    virtual long getModAttributeIndex(long index) const { return -1; }
    virtual long getTrueXAttributeIndex(long index) const { return -1; }
    virtual long getTrueYAttributeIndex(long index) const { return -1; }
    virtual const NORVAUString& getModAttribute(long index) const { return emptyString(); }
    virtual const NORVAUString& getTrueXAttribute(long index) const { return emptyString(); }
    virtual const NORVAUString& getTrueYAttribute(long index) const { return emptyString(); }
    virtual uint32_t getDataSize() const { return 0; }
    virtual uint32_t getAllDataSize() const { return getDataSize(); }
    virtual uint32_t getOffset(long index) const { return 0; }
    virtual uint32_t getLength(long index) const { return 0; }
    virtual const NORVAUString& getUnitKey(long index) const { return emptyString(); }
    virtual const NORVAUString& getUnitDirection(long index) const { return emptyString(); }
    virtual const KIVOCompressedStringTable* getCompressedStringTable() const { return nullptr; }
    // A default entry for an index the descriptor does not describe.
    virtual AttribEntry getAttributeEntry(long index) const { return AttribEntry(); }
    virtual std::vector<AttribEntry> getAttributeEntries() const;
    virtual std::unique_ptr<KIVODescriptor> newCopy() const = 0;
    virtual void resetModAttribute(long index) {}
    virtual long addCompressedString(const NORVAUString& s) { return -1; }
    virtual long addTransient(const AttribEntry& entry) { return -1; }
    virtual long removeTransient(const NORVAUString& name) { return -1; }

protected:
    static const NORVAUString& emptyString();
};
