#pragma once
// Metadata of a PFM surface, read once from the bin header. The file is
// opened for the reading and closed again; nothing is ever written.
#include "platform/core/KIVOExport.h"
#include <memory>

#include "formats/pfm/pfm_types.h"
#include "platform/core/NORVAType.h"
#include "platform/frame/KIVOSurfaceMetaData.h"
#include "platform/proj/NORVACoordSystem.h"

class KIVO_EXPORT PFMMetaData : public KIVOSurfaceMetaData {
public:
    static const NORVAUString kClassTypeName;

    explicit PFMMetaData(const NORVAUString& path);

    long getResolution(double& x, double& y) const override;
    long getResolutionTable(NORVAUString& attribute, KIVOResolutionTable& table) const override { return 0; }
    const NORVACoordSystem* getCoordSystem(long& status) const override;
    long getCover(double& minX, double& minY, double& maxX, double& maxY) const override;
    long getDimensions(double& width, double& height) const override;
    KIVOSurfaceAttributeTable* getAttributeTable() override { return m_table.get(); }
    const KIVOSurfaceAttributeTable* getAttributeTable() const override { return m_table.get(); }
    NORVAUString getClassTypeName() const override { return kClassTypeName; }
    long store() override { return 0; }
    void print(std::ostream& os) const override;

    const NORVAUString& getPath() const { return m_path; }
    // The header's [DATE] text.
    const NORVAUString& getDate() const { return m_date; }

private:
    long build(const BIN_HEADER& head);
    long buildCoordSystem(const BIN_HEADER& head);
    void buildAttributeTable(const BIN_HEADER& head);

    NORVAUString m_path;
    double m_cover[4];
    std::unique_ptr<KIVOSurfaceAttributeTable> m_table;
    NORVAType<NORVACoordSystem> m_coordSystem;
    double m_resolution[2] = {0.0, 0.0};
    double m_dimensions[2] = {0.0, 0.0};
    NORVAUString m_date;
};
