#pragma once
// Node iterator over the bins of a PFM surface: a box, an area or one point.
// In a box or area a bin is a node exactly when it holds soundings; a point
// query yields its bin whatever it holds. The data-IO must outlive it.
#include "platform/core/KIVOExport.h"
#include <memory>

#include "formats/pfm/PFMAttributeSet.h"
#include "formats/pfm/pfm_types.h"
#include "platform/frame/KIVOSurfaceIter.h"
#include "platform/polyops/NORVAPolygonPrimitive.h"

class KIVOPFMDataIO;
class NORVAGeometry;

class KIVO_EXPORT PFMIter : public KIVOSurfaceIter {
public:
    PFMIter(double minX, double minY, double maxX, double maxY, KIVOPFMDataIO& dataIO);
    PFMIter(const NORVAGeometry& geometry, KIVOPFMDataIO& dataIO);

    bool next(long& status) override;
    KIVOAttributeSet* getAttributes() override { return &m_attributes; }
    const KIVOAttributeSet* getAttributes() const override { return &m_attributes; }
    long getPosition(double& x, double& y, const long& attribute) const override;
    // (last row - first row) x (last column - first column).
    long count() const override;
    const KIVODescriptor& getAttributeDescriptor() const override;
    long setAttributes(const KIVOAttributeSet& attributes) override { return -1; }
    void print(std::ostream& os) const override;

private:
    void init(double minX, double minY, double maxX, double maxY);
    void initPoint(double x, double y);
    // Moves to the next bin that is a node; false (and done) past the last.
    bool scan();
    void finish();

    KIVOPFMDataIO& m_dataIO;
    PFMAttributeSet m_attributes;
    int32_t m_firstColumn = 0, m_lastColumn = 0, m_firstRow = 0, m_lastRow = 0;
    BIN_RECORD m_record;
    int32_t m_column = -1, m_row = -1;
    std::unique_ptr<NORVACompGeom::NORVAPolygonPrimitive> m_polygon;
    bool m_single = false;  // a point query: one node at most
    int64_t m_binsHeld = 0;  // bins the file holds: the scan ends at the first one past them
};
