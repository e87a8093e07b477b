#pragma once
// Node iterator of a BAG surface. A box (optionally with a polygon) is read
// in blocks of at most 1,000 x 1,000 nodes; a point list serves the node
// nearest each point. Nodes whose elevation is the BAG null are skipped.
// The data-IO must outlive the iterator and stay open.
#include <memory>
#include <vector>

#include "formats/bag/BAGAttributeSet.h"
#include "formats/bag/BagRecords.h"
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAnPoint.h"
#include "platform/frame/KIVOSurfaceIter.h"
#include "platform/polyops/NORVAPolygonPrimitive.h"

class KIVOBAGDataIO;

class KIVO_EXPORT BAGIter : public KIVOSurfaceIter {
public:
    static constexpr uint32_t kBlockSize = 1000;

    // The nodes of a box, clipped to the surface's cover.
    BAGIter(KIVOBAGDataIO& io, double x0, double y0, double x1, double y1,
            std::unique_ptr<NORVACompGeom::NORVAPolygonPrimitive> polygon = nullptr);
    // The nodes nearest the points.
    BAGIter(KIVOBAGDataIO& io, std::vector<NORVAPoint2D> points);
    // No nodes.
    explicit BAGIter(KIVOBAGDataIO& io);

    bool next(long& status) override;
    KIVOAttributeSet* getAttributes() override;
    using KIVOSurfaceIter::getAttributes;
    long getPosition(double& x, double& y, const long& attribute) const override;
    long count() const override;
    const KIVODescriptor& getAttributeDescriptor() const override;
    void print(std::ostream& os) const override;

    // Status of the last block read (0, or an access-library code + 125200).
    long getReadStatus() const { return m_readStatus; }
    size_t getBlockCount() const { return m_blocks.size(); }

private:
    struct Block {
        uint32_t firstColumn, endColumn;  // ends exclusive
        uint32_t firstRow, endRow;
    };

    void planBlocks(double x0, double y0, double x1, double y1);
    bool loadBlock(size_t index);
    bool step();
    bool currentIsServed();
    bool seekBox(bool advanceFirst);
    bool seekPoint(bool advanceFirst);
    void finish() {
        m_finished = true;
        markDone(true);
    }
    void enterRow();

    KIVOBAGDataIO& m_io;
    BAGAttributeSet m_set;
    uint32_t m_firstColumn = 0, m_endColumn = 0, m_firstRow = 0, m_endRow = 0;
    std::vector<Block> m_blocks;
    size_t m_block = 0;
    uint32_t m_column = 0, m_row = 0;
    bagRegion m_elevation, m_uncertainty;
    const float* m_elevationRow = nullptr;  // the current row's first column of the block
    const float* m_uncertaintyRow = nullptr;
    bool m_finished = false;
    std::unique_ptr<NORVACompGeom::NORVAPolygonPrimitive> m_polygon;
    bool m_pointMode = false;
    std::vector<NORVAPoint2D> m_points;
    size_t m_point = 0;
    long m_readStatus = 0;
};
