#pragma once
// The definition of a weighted-grid surface presented as surface metadata:
// one attribute named by the representation (float depth in metres, or an
// unsigned byte intensity), its range from MIN DEPTH and MAX DEPTH, the
// geometry of the data-IO, and the DATA section's other keys as source items.
#include "platform/core/KIVOExport.h"
#include <memory>

#include "platform/frame/KIVOSurfaceAttributeTable.h"
#include "platform/frame/KIVOSurfaceMetaData.h"

class KIVOWGridDataIO;

class KIVO_EXPORT KIVOSurfaceWGridMetaData : public KIVOSurfaceMetaData {
public:
    static constexpr const char* kSoftwareVersion = "5.3";
    static constexpr const char* kProducer = "KIVO Surfaces";

    explicit KIVOSurfaceWGridMetaData(const KIVOWGridDataIO& dataIO);

    long getResolution(double& x, double& y) const override;
    const NORVACoordSystem* getCoordSystem(long& status) const override;
    long getCover(double& minX, double& minY, double& maxX, double& maxY) const override;
    long getDimensions(double& width, double& height) const override;
    KIVOSurfaceAttributeTable* getAttributeTable() override { return m_table.get(); }
    const KIVOSurfaceAttributeTable* getAttributeTable() const override { return m_table.get(); }
    NORVAUString getClassTypeName() const override { return NORVAUString("DazavazEdora::RWMetaData"); }
    // Rewrites the definition file; 146141 when it cannot be written.
    long store() override;
    void print(std::ostream& os) const override;

private:
    void fillRange(KIVOMetaAttribute& meta) const;
    void fillRecords();

    const KIVOWGridDataIO& m_dataIO;
    std::unique_ptr<KIVOSurfaceAttributeTable> m_table;
};
