#pragma once
// The record layout of a tile store: per attribute a name, a store type
// (KestrinStoreType), a size in bytes, a unit, optional companions holding
// the attribute's own X and Y position, and whether its texts go through an
// indexed string table. It also carries the source metadata of the store as
// a key array and a value array.
#include "platform/core/KIVOExport.h"
#include <cstdint>
#include <vector>

#include "platform/core/NORVAUString.h"

class KIVO_EXPORT NORVAKestrinGenericDataDescriptor {
public:
    NORVAKestrinGenericDataDescriptor() = default;

    // Resizes the layout; new attributes are doubles without a name.
    void setNumAtts(long count);
    long getNumAtts() const { return static_cast<long>(m_atts.size()); }

    // Setters answer -1 for an index out of range (or a type not known), else 0.
    long setAttributeName(long index, const NORVAUString& name);
    // Sets the type and the type's own size (fixed text keeps a size already given).
    long setType(long index, int32_t type);
    long setAttributeSize(long index, uint32_t size);
    long setAttributeUnit(long index, const NORVAUString& unit);
    long setAttrCoordIndices(long index, long xIndex, long yIndex);
    // Marks the attribute's texts as held through an indexed string table;
    // the second argument names a table to load, none here.
    long loadIndexedStringTable(long index, const NORVAUString* table);
    bool hasIndexedStringTable(long index) const;

    // Getters answer a neutral value (-1, empty, 0) for an index out of range.
    int32_t getType(long index) const;
    const NORVAUString& getAttributeName(long index) const;
    uint32_t getAttributeSize(long index) const;
    const NORVAUString& getAttributeUnit(long index) const;
    // Negative when absent; exact match.
    long getAttributeIndex(const NORVAUString& name) const;
    long getAttrXCoordIndex(long index) const;
    long getAttrYCoordIndex(long index) const;
    // The sum of all attribute sizes.
    uint32_t getRecordSize() const;

    void setSourceMetaData(const std::vector<NORVAUString>& keys, const std::vector<NORVAUString>& values);
    const std::vector<NORVAUString>& getSourceKeys() const { return m_sourceKeys; }
    const std::vector<NORVAUString>& getSourceValues() const { return m_sourceValues; }

    bool operator==(const NORVAKestrinGenericDataDescriptor& o) const;

private:
    struct Attribute {
        NORVAUString name;
        int32_t type = 0;
        uint32_t size = 8;
        NORVAUString unit;
        long xIndex = -1;
        long yIndex = -1;
        bool indexedTable = false;
        bool operator==(const Attribute& o) const;
    };
    bool valid(long index) const { return index >= 0 && index < getNumAtts(); }

    std::vector<Attribute> m_atts;
    std::vector<NORVAUString> m_sourceKeys;
    std::vector<NORVAUString> m_sourceValues;
};
