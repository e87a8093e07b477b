#pragma once
// The framework's abstract storage of one surface. A format overrides what it
// supports; every operation not pure has a documented default here.
#include "platform/core/KIVOExport.h"
#include <cfloat>
#include <vector>

#include "platform/core/NORVAArray.h"
#include "platform/core/NORVAObject.h"
#include "platform/core/NORVAProgress.h"
#include "platform/core/NORVAType.h"
#include "platform/core/NORVAnPoint.h"
#include "platform/frame/KIVOAttributeFilter.h"
#include "platform/frame/KIVOSurfaceIter.h"
#include "platform/frame/KIVOSurfaceMetaData.h"

class NORVACoordSystem;
class NORVAGeometry;

class KIVO_EXPORT KIVOSurfaceDataIO : public NORVAObject {
public:
    // What `rasterize` fills: one attribute over a box, in cells.
    struct rasterizeConfig {
        NORVAUString attribute;
        double minX = 0.0, minY = 0.0, maxX = 0.0, maxY = 0.0;
        double cellX = 0.0, cellY = 0.0;
        long columns = 0, rows = 0;
        std::vector<float> output;       // used when no caller buffer is given
        float* buffer = nullptr;         // caller's buffer of columns x rows floats
        float noData = -FLT_MAX;
        bool columnMajor = false;        // otherwise row-major, row 0 at minY
        bool negate = false;             // store the negated value
        const KIVOAttributeFilter* filter = nullptr;
    };

    ~KIVOSurfaceDataIO() override = default;

    // Default: the metadata's attribute table (null without metadata).
    virtual KIVOSurfaceAttributeTable* getAttributeInfo();
    virtual const KIVOSurfaceAttributeTable* getAttributeInfo() const;
    // Default: the metadata's coordinate system.
    virtual const NORVACoordSystem* getCoordSystem() const;
    // Default: the metadata's cover corners (x, y).
    virtual NORVAArray<double> getMinimum() const;
    virtual NORVAArray<double> getMaximum() const;
    virtual NORVAUString getSourceName() const = 0;
    virtual KIVOSurfaceMetaData* getMetaData() = 0;
    virtual const KIVOSurfaceMetaData* getMetaData() const = 0;
    virtual long getQueryType() const { return m_queryType; }
    // Default: -1, the surface's nodes are not changed through this road.
    virtual long set(double x, double y, const KIVOAttributeSet& attributes, const KIVODescriptor& descriptor,
                     double resolution);
    virtual void setModified(bool modified) { m_modified = modified; }
    virtual void setQueryType(long type) { m_queryType = type; }
    virtual long open() { return 0; }
    virtual long close() { return 0; }
    virtual long store(NORVAProgress* progress) { return 0; }
    virtual long flush() { return 0; }
    virtual bool isOutdated() const { return false; }
    virtual bool checkOutdated() { return false; }
    // Default: the geometry query with a point geometry at (x, y).
    virtual NORVAType<KIVOSurfaceIter> query(const NORVAPoint3D& point, bool create, long& status,
                                             NORVAProgress* progress, double resolution);
    virtual NORVAType<KIVOSurfaceIter> query(double x0, double y0, double x1, double y1, bool create, long& status,
                                             NORVAProgress* progress, double resolution) = 0;
    // Default: the box query over the geometry's bounding box.
    virtual NORVAType<KIVOSurfaceIter> query(const NORVAGeometry& geometry, bool create, long& status,
                                             NORVAProgress* progress, double resolution);
    virtual bool isModified() const { return m_modified; }
    // Default: removes every associated file; the first failure is returned
    // (146006) after trying them all.
    virtual long deleteAllFiles(bool keepOpen);
    // Default: the source name alone.
    virtual long getAssociatedFiles(std::vector<NORVAUString>& files) const;
    // Default: a box query over the configured extent, each node written to
    // the cell it falls in.
    virtual long rasterize(rasterizeConfig& config);
    // Default: -1, renaming is format-specific.
    virtual long rename(const NORVAUString& newName) { return -1; }
    virtual NORVAUString getISOMetaData() const { return NORVAUString(); }
    // Defaults: from the metadata's cover and resolution, nearest node.
    virtual long worldToIndex(double x, double y, int64_t& column, int64_t& row) const;
    virtual long indexToWorld(int64_t column, int64_t row, double& x, double& y) const;

protected:
    bool m_modified = false;
    long m_queryType = 0;
};
