#pragma once
// The metadata of a BAG surface, read from the file itself: attribute table
// (depth and uncertainty with their ranges), grid geometry, coordinate system
// and the lineage of the recorded process step. Immutable once built.
#include <memory>

#include "formats/bag/BagRecords.h"
#include "platform/core/KIVOExport.h"
#include "platform/frame/KIVOSurfaceMetaData.h"
#include "platform/proj/NORVACoordSystem.h"

class KIVO_EXPORT BAGMetaData : public KIVOSurfaceMetaData {
public:
    static constexpr long kErrorBase = 125200;
    static constexpr long kNoDefinition = 125203;
    static constexpr long kUnsupported = -1;

    // The lineage of the process step the metadata records.
    struct Lineage {
        NORVAUString date;       // "dd-MM-yyyy"
        NORVAUString time;       // as written, without its zone designator
        NORVAUString software;
        NORVAUString version;
        NORVAUString processor;
    };

    // Reads the file; a non-zero status tells why it cannot be used.
    explicit BAGMetaData(const NORVAUString& path);

    long getResolution(double& x, double& y) const override;
    const NORVACoordSystem* getCoordSystem(long& status) const override;
    // South-west x, south-west y, north-east x, north-east y.
    long getCover(double& minX, double& minY, double& maxX, double& maxY) const override;
    long getDimensions(double& width, double& height) const override;
    KIVOSurfaceAttributeTable* getAttributeTable() override { return m_table.get(); }
    const KIVOSurfaceAttributeTable* getAttributeTable() const override { return m_table.get(); }
    NORVAUString getClassTypeName() const override { return NORVAUString("DazavazEdora::RWMetaData"); }
    void print(std::ostream& os) const override;

    const bagDefinition& getDefinition() const { return m_definition; }
    const Lineage& getLineage() const { return m_lineage; }

    // The coordinate system a BAG grid definition names; null with a non-zero
    // status for a datum or projection the suite cannot express.
    static NORVAType<NORVACoordSystem> bagSys2Norva(const bagDefinition& definition, long& status);
    // Lineage fields from a metadata text (fields stay empty when absent).
    static Lineage readLineage(const std::string& metadataText);

private:
    void buildAttributeTable(const bagHandle& handle);

    bagDefinition m_definition;
    std::unique_ptr<KIVOSurfaceAttributeTable> m_table;
    NORVAType<NORVACoordSystem> m_coordSystem;
    Lineage m_lineage;
};
