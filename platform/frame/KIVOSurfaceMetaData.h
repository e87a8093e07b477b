#pragma once
// A surface's metadata. Geometry and attribute table are virtual, since
// formats read them from their own files; the records are plain data that
// the XML kind persists and the read-only kinds keep in memory only.
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAObject.h"
#include "platform/core/NORVAType.h"
#include "platform/frame/KIVODesignatedIter.h"
#include "platform/frame/KIVOSurfaceAttributeTable.h"
#include "platform/frame/KIVOSurfaceRecords.h"

class NORVACoordSystem;
class KIVOSurfaceDataIO;

class KIVO_EXPORT KIVOSurfaceMetaData : public NORVAObject {
public:
    virtual long getResolution(double& x, double& y) const = 0;
    // 0 and nothing filled when the surface has a single resolution.
    virtual long getResolutionTable(NORVAUString& attribute, KIVOResolutionTable& table) const {
        return 0;
    }
    virtual const NORVACoordSystem* getCoordSystem(long& status) const = 0;
    // (minimum x, minimum y, maximum x, maximum y).
    virtual long getCover(double& minX, double& minY, double& maxX, double& maxY) const = 0;
    virtual long getDimensions(double& width, double& height) const = 0;
    virtual KIVOSurfaceAttributeTable* getAttributeTable() = 0;
    virtual const KIVOSurfaceAttributeTable* getAttributeTable() const = 0;
    // An empty handle with status 0 when the surface keeps no designated soundings.
    virtual NORVAType<KIVODesignatedIter> getDesignatedIter(KIVOSurfaceDataIO& dataIO, long& status) {
        status = 0;
        return NORVAType<KIVODesignatedIter>();
    }
    virtual NORVAUString getClassTypeName() const { return NORVAUString("KIVOSurfaceMetaData"); }
    virtual long store() { return 0; }

    const KIVOSourceRecord& getSourceRecord() const { return m_source; }
    void setSourceRecord(const KIVOSourceRecord& r) { m_source = r; }
    const KIVOProcessRecord& getProcessRecord() const { return m_process; }
    void setProcessRecord(const KIVOProcessRecord& r) { m_process = r; }
    const KIVODescriptiveFields& getDescriptiveFields() const { return m_fields; }
    void setDescriptiveFields(const KIVODescriptiveFields& f) { m_fields = f; }
    double getAreaCoverage() const { return m_areaCoverage; }
    void setAreaCoverage(double a) { m_areaCoverage = a; }

protected:
    KIVOSourceRecord m_source;
    KIVOProcessRecord m_process;
    KIVODescriptiveFields m_fields;
    double m_areaCoverage = 0.0;
};
