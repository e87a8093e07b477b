#pragma once
// Metadata kept as an ".xml" file beside a surface. Everything the library
// stores in a surface's metadata round-trips through the file: attribute
// table with per-attribute minimum and maximum, coordinate-system strings,
// geometry, resolution table, records, processing block, named sections and
// the display blocks that other code edits through getXMLDocument().
#include "platform/core/KIVOExport.h"
#include <memory>
#include <vector>

#include "platform/core/NORVAType.h"
#include "platform/core/NORVAUString.h"
#include "platform/core/NORVAXMLDocument.h"
#include "platform/frame/KIVOMetaBlock.h"
#include "platform/frame/KIVOProcessMetaData.h"
#include "platform/frame/KIVOSurfaceMetaData.h"

class KIVO_EXPORT KIVOSurfaceXMLMetaData : public KIVOSurfaceMetaData {
public:
    enum Status : long {
        XML_META_CANNOT_OPEN = 146006,   // the file cannot be opened
        XML_META_WRITE_FAILED = 146020,  // the file cannot be written
        XML_META_BAD_LAYOUT = 146021,    // malformed, or not our layout
        XML_META_BAD_VALUE = -1,         // a setter refused its argument (not finite, negative size)
    };

    // Reads the ".xml" beside a surface: the path with its extension replaced
    // by ".xml" (or the path itself when it already ends in ".xml").
    explicit KIVOSurfaceXMLMetaData(const NORVAUString& path);
    // A new metadata over the table; nothing is read.
    KIVOSurfaceXMLMetaData(NORVAType<KIVOSurfaceAttributeTable> table, const NORVAUString& path);
    KIVOSurfaceXMLMetaData(const KIVOSurfaceXMLMetaData& o);
    KIVOSurfaceXMLMetaData& operator=(const KIVOSurfaceXMLMetaData&) = delete;
    ~KIVOSurfaceXMLMetaData() override;

    NORVAType<KIVOSurfaceXMLMetaData> newCopy() const;

    // The three strings of NORVACoordSystem::toStrings; non-zero (and nothing
    // changed) when they do not build a coordinate system.
    long setCoordSystemString(const NORVAUString& s1, const NORVAUString& s2, const NORVAUString& s3);
    void getCoordSystemString(NORVAUString& s1, NORVAUString& s2, NORVAUString& s3) const;
    long setDimensions(double width, double height);
    long setLowerLeft(double x, double y);
    void getLowerLeft(double& x, double& y) const;
    long setResolution(double resolution);
    long setResolutionTable(const NORVAUString& attribute, const KIVOResolutionTable& table);
    long setFileName(const NORVAUString& path);
    const NORVAUString& getFileName() const { return m_fileName; }

    long getResolution(double& x, double& y) const override;
    long getResolutionTable(NORVAUString& attribute, KIVOResolutionTable& table) const override;
    // Null (and a non-zero status) when no coordinate system is set or the
    // strings do not build one.
    const NORVACoordSystem* getCoordSystem(long& status) const override;
    long getCover(double& minX, double& minY, double& maxX, double& maxY) const override;
    long getDimensions(double& width, double& height) const override;
    KIVOSurfaceAttributeTable* getAttributeTable() override { return m_table.get(); }
    const KIVOSurfaceAttributeTable* getAttributeTable() const override { return m_table.get(); }
    NORVAUString getClassTypeName() const override { return NORVAUString("KIVOSurfaceXMLMetaData"); }
    // Writes the file atomically; the old file survives a failure.
    long store() override;
    void print(std::ostream& os) const override;

    // The document that holds the display blocks ("DisplayParameters" under
    // the root); they are stored and read back unchanged.
    NORVAXMLDocument& getXMLDocument() { return *m_document; }
    const NORVAXMLDocument& getXMLDocument() const { return *m_document; }

    KIVOProcessMetaData& getProcessMetaData() { return m_processing; }
    const KIVOProcessMetaData& getProcessMetaData() const { return m_processing; }
    const std::vector<KIVOMetaBlock>& getMetaBlocks() const { return m_blocks; }
    void setMetaBlocks(const std::vector<KIVOMetaBlock>& blocks) { m_blocks = blocks; }

private:
    void startDocument();
    long read();
    long parse(xmlNodePtr root);
    long buildCoordSystem();

    NORVAUString m_fileName;
    std::unique_ptr<KIVOSurfaceAttributeTable> m_table;
    std::unique_ptr<NORVAXMLDocument> m_document;
    NORVAUString m_coordStrings[3];
    std::unique_ptr<NORVACoordSystem> m_coordSystem;
    long m_coordStatus = 0;
    double m_lowerLeftX = 0.0, m_lowerLeftY = 0.0;
    double m_width = 0.0, m_height = 0.0;
    double m_resolution = 0.0;
    NORVAUString m_tableAttribute;
    KIVOResolutionTable m_resolutionTable;
    KIVOProcessMetaData m_processing;
    std::vector<KIVOMetaBlock> m_blocks;
};
