#pragma once
// The framework's generic gridded surface: a regular grid of nodes in one
// contiguous buffer of records laid out by the metadata's descriptor, kept in
// a ".vns" file beside its ".xml" metadata.
//
// ".vns" layout (little-endian, field by field):
//   "KVNS", u16 version (1), u16 0,
//   f64 origin x, f64 origin y, f64 spacing x, f64 spacing y,
//   u32 columns, u32 rows, u32 attribute count, u32 record size,
//   per attribute: i32 type, u32 text length,
//   u32 string count, per string: u32 byte count and UTF-8 bytes,
//   columns x rows records, row 0 at the origin, column fastest,
//   and nothing after them.
// A record starts with one bit per attribute telling whether it holds a
// value, then the values in descriptor order at their storage sizes. A
// descriptor without attributes is refused, as its records would hold no
// byte and no file size could bound the node count.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "platform/core/KIVOExport.h"
#include "platform/core/NORVASurfacePin.h"
#include "platform/frame/KIVODataType.h"
#include "platform/frame/KIVOSurfaceDataIO.h"
#include "platform/frame/KIVOSurfaceXMLMetaData.h"

class KIVO_EXPORT KIVOGriddedDataIO : public KIVOSurfaceDataIO {
public:
    enum Status : long {
        GRIDDED_NO_METADATA = 146004,   // metadata missing or unusable for a grid
        GRIDDED_CANNOT_OPEN = 146006,   // a file cannot be opened, removed or renamed
        GRIDDED_BAD_VERSION = 146007,
        GRIDDED_WRITE_FAILED = 146020,
        GRIDDED_BAD_FILE = 146021,      // bad magic, short file, inconsistent counts
        GRIDDED_NO_MEMORY = 146030,
        GRIDDED_OUTSIDE = -1,           // a position or index outside the grid
    };
    static constexpr uint16_t kVersion = 1;

    // Opens an existing surface; the extension may be ".vns" or absent.
    explicit KIVOGriddedDataIO(const NORVAUString& path);
    // Creates a new surface at the path: nodes at lower-left + i * resolution,
    // as many columns and rows as put every position of the cover within half
    // a spacing of a node (floor(width / resolution + 0.5) + 1 columns). Nothing
    // is written until `store`. A name whose ".xml" is another surface's is
    // refused (KIVOSurfaceUtils::kNameTaken), here and by the first store.
    KIVOGriddedDataIO(const NORVAUString& path, NORVAType<KIVOSurfaceXMLMetaData> metadata);
    ~KIVOGriddedDataIO() override;

    void print(std::ostream& os) const override;
    NORVAUString getSourceName() const override { return m_path; }
    KIVOSurfaceMetaData* getMetaData() override { return m_metadata.get(); }
    const KIVOSurfaceMetaData* getMetaData() const override { return m_metadata.get(); }
    // Writes the attributes whose names match into the nearest node.
    long set(double x, double y, const KIVOAttributeSet& attributes, const KIVODescriptor& descriptor,
             double resolution) override;
    // The ".vns" and ".xml" commit together (one file transaction): after a
    // failure or a crash the surface opens with both old or both new. A
    // surface another process stored since this object read it (or was
    // created over it) is not overwritten: NORVASurfacePin::kChanged; nor
    // one whose journal name holds a file recovery will not use: kBlocked.
    long store(NORVAProgress* progress) override;
    // Without `create` only nodes holding at least one value are served; with
    // it every node of the area.
    NORVAType<KIVOSurfaceIter> query(double x0, double y0, double x1, double y1, bool create, long& status,
                                     NORVAProgress* progress, double resolution) override;
    // Area: nodes inside the polygon. Point: the nearest node. Line: nodes
    // within half a cell diagonal of the line. Collection: its bounding box.
    NORVAType<KIVOSurfaceIter> query(const NORVAGeometry& geometry, bool create, long& status,
                                     NORVAProgress* progress, double resolution) override;
    // The query of a point geometry at (x, y), for a caller that asks once
    // per node and has no geometry at hand.
    NORVAType<KIVOSurfaceIter> queryPoint(double x, double y, bool create, long& status);
    // Removes the ".vns" and, with `withMetadata`, the ".xml", and what a
    // crash left beside them; non-zero when any of that remains.
    long deleteAllFiles(bool withMetadata) override;
    long getAssociatedFiles(std::vector<NORVAUString>& files) const override;
    // A new stem in the same folder, both files in one commit; refuses to
    // overwrite another surface and, like a store, to move files another
    // object committed or renamed since this one read them
    // (NORVASurfacePin::kChanged).
    long rename(const NORVAUString& newName) override;
    long worldToIndex(double x, double y, int64_t& column, int64_t& row) const override;
    long indexToWorld(int64_t column, int64_t row, double& x, double& y) const override;

    // Node access used by the iterators and attribute sets; a node is
    // row * columns + column.
    uint32_t getColumns() const { return m_columns; }
    uint32_t getRows() const { return m_rows; }
    uint64_t getNodeCount() const { return static_cast<uint64_t>(m_columns) * m_rows; }
    const KIVODescriptor& getDescriptor() const { return *m_descriptor; }
    void nodePosition(uint64_t node, double& x, double& y) const;
    void nodePosition(uint64_t column, uint64_t row, double& x, double& y) const {
        x = m_originX + static_cast<double>(column) * m_spacingX;
        y = m_originY + static_cast<double>(row) * m_spacingY;
    }
    // -1 when the position is farther than half a spacing outside the grid.
    int64_t nearestNode(double x, double y) const;
    bool isNodeSet(uint64_t node, long attribute) const {
        return validField(node, attribute) && (record(node)[flagByte(attribute)] & flagBit(attribute)) != 0;
    }
    bool nodeHasValue(uint64_t node) const {
        if (node >= m_heldNodes) return false;
        const uint8_t* r = record(node);
        if (m_flagBytes == 1) return r[0] != 0;  // up to eight attributes, the usual layout
        for (uint32_t i = 0; i < m_flagBytes; ++i)
            if (r[i] != 0) return true;
        return false;
    }
    long getNodeNumber(uint64_t node, long attribute, double& value) const {
        if (!isNodeSet(node, attribute)) return -1;
        // Floats, most of what a surface holds, are read here as they stand.
        if (kFloatsAsStored && m_types[attribute] == KIVODataType::FLOAT) {
            float f = 0.0f;
            std::memcpy(&f, record(node) + m_offsets[attribute], sizeof f);
            value = f;
            return 0;
        }
        if (isTextAttribute(attribute)) return getTextNumber(node, attribute, value);
        value = numberAt(record(node), attribute);
        return 0;
    }
    long setNodeNumber(uint64_t node, long attribute, double value) {
        // Floats, most of what a build writes, are stored here; the rest
        // goes through the general conversion.
        if (kFloatsAsStored && validField(node, attribute) && m_types[attribute] == KIVODataType::FLOAT &&
            !(std::isfinite(value) && std::fabs(value) > FLT_MAX)) {
            const float f = static_cast<float>(value);
            uint8_t* r = record(node);
            std::memcpy(r + m_offsets[attribute], &f, sizeof f);
            r[flagByte(attribute)] |= flagBit(attribute);
            m_modified = true;
            return 0;
        }
        return convertAndSet(node, attribute, value);
    }
    long getNodeText(uint64_t node, long attribute, NORVAUString& value) const;
    long setNodeText(uint64_t node, long attribute, const NORVAUString& value);
    // The string-table entry holding `value`, added when new; -1 when the
    // table is full. Entries never move: an entry once found stays valid.
    long stringEntry(const NORVAUString& value);
    // setNodeText of the text at a string-table entry, for a caller that
    // writes one text to many nodes; -1 (node unchanged) for an attribute
    // other than a STRING one or an entry the table does not hold.
    long setNodeStringEntry(uint64_t node, long attribute, long entry) {
        if (!validField(node, attribute) || m_types[attribute] != KIVODataType::STRING ||
            static_cast<unsigned long>(entry) >= m_strings.size())
            return -1;
        uint8_t* r = record(node);
        r[m_offsets[attribute]] = static_cast<uint8_t>(entry & 0xFF);  // little-endian u16
        r[m_offsets[attribute] + 1] = static_cast<uint8_t>(entry >> 8);
        r[flagByte(attribute)] |= flagBit(attribute);
        m_modified = true;
        return 0;
    }
    void unsetNode(uint64_t node, long attribute);
    // Every value of the node unset.
    void clearNode(uint64_t node);
    // Copies value `srcIndex` of `src`, when set, into the node's attribute.
    long copyIn(uint64_t node, long attribute, const KIVOAttributeSet& src, long srcIndex);
    bool isTextAttribute(long attribute) const {
        if (static_cast<unsigned long>(attribute) >= m_attributeCount) return false;
        return m_types[attribute] == KIVODataType::STRING || m_types[attribute] == KIVODataType::TEXT;
    }

private:
    // Metadata, layout and nodes from the files; may run more than once.
    long readFiles();
    bool buildLayout();
    // Room for every node; `zeroed`: every node empty, else to be read in.
    long allocateNodes(bool zeroed);
    long readGrid(const NORVAUString& vnsPath);
    long readHeader(FILE* f, uint64_t fileSize);
    long readStrings(FILE* f, uint64_t& remaining);
    long writeGrid(const NORVAUString& vnsPath) const;
    void updateRange();
    // Widens [lo, hi] by the values numeric attribute `a` holds in `count`
    // held records from `first`.
    void rangeOf(long a, uint64_t first, uint64_t count, double& lo, double& hi) const;
    NORVAUString stem() const;
    uint8_t* record(uint64_t node) { return m_nodes.get() + node * m_recordSize; }
    const uint8_t* record(uint64_t node) const { return m_nodes.get() + node * m_recordSize; }
    // Node access runs once per attribute per sounding while a surface is
    // built: the checks are kept inline.
    bool validField(uint64_t node, long attribute) const {
        return node < m_heldNodes && static_cast<unsigned long>(attribute) < m_attributeCount;
    }
    // Where a valid attribute's "holds a value" bit lies in a record.
    static size_t flagByte(long attribute) { return static_cast<unsigned long>(attribute) >> 3; }
    static uint8_t flagBit(long attribute) {
        return static_cast<uint8_t>(1u << (static_cast<unsigned long>(attribute) & 7));
    }
    double numberAt(const uint8_t* record, long attribute) const;
    long convertAndSet(uint64_t node, long attribute, double value);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    static constexpr bool kFloatsAsStored = true;  // the file's little-endian float is the host's
#else
    static constexpr bool kFloatsAsStored = false;
#endif
    long getTextNumber(uint64_t node, long attribute, double& value) const;
    NORVAType<KIVOSurfaceIter> makeIter(int64_t c0, int64_t r0, int64_t c1, int64_t r1, bool create,
                                        std::function<bool(double, double)> inside, long& status);
    NORVAType<KIVOSurfaceIter> boxIter(double x0, double y0, double x1, double y1, bool create,
                                       std::function<bool(double, double)> inside, long& status);

    NORVAUString m_path;  // the ".vns" path
    NORVASurfacePin m_pin;  // the ".vns" as read or last stored here
    NORVAType<KIVOSurfaceXMLMetaData> m_metadata;
    std::unique_ptr<KIVODescriptor> m_descriptor;
    std::vector<int32_t> m_types;
    std::vector<uint32_t> m_textLengths;
    std::vector<uint32_t> m_offsets;
    std::vector<uint32_t> m_sizes;
    uint32_t m_flagBytes = 0;
    uint32_t m_recordSize = 0;
    double m_originX = 0.0, m_originY = 0.0;
    double m_spacingX = 0.0, m_spacingY = 0.0;
    double m_inverseX = 0.0, m_inverseY = 0.0;  // 0: divide by the spacing
    uint32_t m_columns = 0, m_rows = 0;
    struct FreeBytes {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<uint8_t, FreeBytes> m_nodes;  // getNodeCount() records
    size_t m_nodeBytes = 0;
    // What every node access checks against, kept rather than worked out:
    // the records held (0 until they are) and the attributes laid out.
    uint64_t m_heldNodes = 0;
    unsigned long m_attributeCount = 0;
    std::vector<NORVAUString> m_strings;
    size_t m_lastString = 0;  // the string table entry written last
};
