#pragma once
// Data-IO of weighted-grid surfaces (format "Weighted Grid Format", ".def").
//
// Files of one surface, named by its path stem:
//   stem.def     the definition (WGridDefinition);
//   stem.weight  the grid index, then the fragments' weights;
//   stem.sum     the fragments' sums, at the same positions as in ".weight";
//   a "*.des" raster header in the same folder (stem.des when there is one,
//   else the first in sorted order) giving the coordinate system.
// The raster of nx × ny pixels is cut into square fragments of s × s pixels,
// fx = nx / s + 1 across and fy = ny / s + 1 down. The grid index is fx × fy
// signed 64-bit little-endian file positions, row-major; a position of 0 or
// less marks a fragment without data. A fragment is s × s little-endian
// 32-bit floats, row-major, at its position in both data files. A node's depth
// is sum / weight where the weight is positive.
//
// Every size and position read is checked against the bytes the files hold
// before anything is allocated: an index larger than ".weight" is refused with
// 146142, a fragment beyond the end of either file reads as no fragment.
// Node data are read-only; only the definition is ever written.
#include "platform/core/KIVOExport.h"
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "formats/wgrid/WGridDefinition.h"
#include "formats/wgrid/WGridKeywords.h"
#include "platform/core/NORVASurfacePin.h"
#include "platform/frame/KIVOResourceManager.h"
#include "platform/frame/KIVOSurfaceDataIO.h"
#include "platform/proj/NORVACoordSystem.h"

class KIVOSurfaceWGridMetaData;

class KIVO_EXPORT KIVOWGridDataIO : public KIVOSurfaceDataIO, public KIVOResourceMember {
public:
    using DepthFragment = std::shared_ptr<const std::vector<float>>;
    using IntensityFragment = std::shared_ptr<const std::vector<uint8_t>>;

    // Opens the surface; the status word tells whether that worked. The
    // representation names the attribute ("Depth" from the format registry);
    // a REPRESENTATION in the definition replaces it.
    KIVOWGridDataIO(const NORVAUString& path, const NORVAUString& representation = NORVAUString("Depth"));
    ~KIVOWGridDataIO() override;
    KIVOWGridDataIO(const KIVOWGridDataIO&) = delete;
    KIVOWGridDataIO& operator=(const KIVOWGridDataIO&) = delete;

    void print(std::ostream& os) const override;
    const NORVACoordSystem* getCoordSystem() const override { return m_coordSystem.get(); }
    // South-west and north-east corners (x, y).
    NORVAArray<double> getMinimum() const override;
    NORVAArray<double> getMaximum() const override;
    NORVAUString getSourceName() const override { return m_defPath; }
    KIVOSurfaceMetaData* getMetaData() override;
    const KIVOSurfaceMetaData* getMetaData() const override;
    // 146140: node data are read-only.
    long store(NORVAProgress* progress) override { return WGridStatus::kReadOnly; }
    // Empties both fragment caches.
    long flush() override;
    bool isOutdated() const override { return m_definition.outdated; }
    using KIVOSurfaceDataIO::query;
    // Nodes of every fragment the box touches, inside the raster. A failure
    // to read the grid index is returned in `status` (and by the iterator's
    // `done`); a box outside the raster gives an iterator that is done.
    NORVAType<KIVOSurfaceIter> query(double x0, double y0, double x1, double y1, bool create, long& status,
                                     NORVAProgress* progress, double resolution) override;
    // Area: nodes inside the polygon. Line: one step per vertex, point: one
    // step, each serving the node nearest it. Anything else yields nothing.
    NORVAType<KIVOSurfaceIter> query(const NORVAGeometry& geometry, bool create, long& status,
                                     NORVAProgress* progress, double resolution) override;
    // Removes ".weight", ".sum", ".def"; a missing file is no failure, any
    // other failure gives 146006 after trying all three.
    long deleteAllFiles(bool keepOpen) override;
    long getAssociatedFiles(std::vector<NORVAUString>& files) const override;
    // Moves ".weight", ".sum", ".def" to the new name in the same folder
    // (a trailing ".def" of the name is dropped). An existing target or a
    // failed move undoes what was moved and gives 146006; the surface then
    // keeps its old name. Files another object renamed since this one read
    // them are not moved: NORVASurfacePin::kChanged.
    long rename(const NORVAUString& newName) override;

    // Resource manager membership: the grid index and the cached fragments.
    uint64_t getHeldBytes() const override;
    void releaseCache() override;

    uint32_t getNumPixX() const { return m_definition.pixelsX; }
    uint32_t getNumPixY() const { return m_definition.pixelsY; }
    uint64_t getNumFragsX() const { return m_fragsX; }
    uint64_t getNumFragsY() const { return m_fragsY; }
    uint32_t getFragDim() const { return m_definition.fragmentSize; }
    double getResolution() const { return m_definition.resolution; }
    void getPixelDim(uint32_t& nx, uint32_t& ny) const;
    bool isIntensity() const { return m_intensity; }
    const WGridDefinition& getDefinition() const { return m_definition; }
    const NORVAUString& getStem() const { return m_stem; }
    const NORVAUString& getDefinitionPath() const { return m_defPath; }

    // Reads the grid index when not yet read: 0, 146145, 146142, 146033 or -1.
    long readGridIndex();
    // The index entry of a fragment; 0 when the index is not read or the
    // fragment does not exist.
    int64_t getIndexEntry(uint64_t fragment) const;
    // Null when the fragment has no data, could not be read, or the surface
    // is of the other mode.
    DepthFragment getDepthFragment(uint64_t fragment);
    IntensityFragment getIntensityFragment(uint64_t fragment);
    // The node value at a pixel in the current mode; 0 or -1.
    long getDepth(uint32_t column, uint32_t row, float& value);
    // Pixel (column, row) lies at (column × r + south-west x, row × r + south-west y).
    long diskToUserUnits(double column, double row, double& x, double& y) const;
    // The pixel holding (x, y), or the nearest one with `round`; -1 outside the raster.
    long userToDiskUnits(double x, double y, int64_t& column, int64_t& row, bool round) const;

    // The value of a node without data in each mode.
    static float emptyValue(bool intensity);

private:
    long open(const NORVAUString& path);
    long checkGeometry();
    long readRasterHeader();
    bool reserve(uint64_t bytes);
    template <class Fragment, class Make>
    Fragment fetch(std::map<uint64_t, Fragment>& cache, uint64_t fragment, uint64_t bytes, Make make);
    bool readFragmentData(int64_t position, std::vector<float>& weights, std::vector<float>& sums) const;
    NORVAType<KIVOSurfaceIter> failedQuery(long& status) const;

    NORVAUString m_stem;
    NORVAUString m_defPath;
    NORVASurfacePin m_pin;  // the ".def" as read, or as this object renamed it
    WGridDefinition m_definition;
    NORVAType<NORVACoordSystem> m_coordSystem;
    std::vector<int64_t> m_index;
    bool m_intensity = false;
    uint64_t m_fragsX = 0, m_fragsY = 0;
    std::map<uint64_t, DepthFragment> m_depthCache;
    std::map<uint64_t, IntensityFragment> m_intensityCache;
    std::unique_ptr<KIVOSurfaceWGridMetaData> m_metadata;
};
