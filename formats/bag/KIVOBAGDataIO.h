#pragma once
// The read-only data-IO of a BAG file (".bag"). Nodes hold depth (the
// negated stored elevation) and uncertainty. The file is opened on demand
// and stays open until `close` or destruction.
#include <memory>

#include "formats/bag/BAGMetaData.h"
#include "formats/bag/BagRecords.h"
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAArray.h"
#include "platform/frame/KIVOSurfaceDataIO.h"

class KIVO_EXPORT KIVOBAGDataIO : public KIVOSurfaceDataIO {
public:
    static constexpr long kErrorBase = BAGMetaData::kErrorBase;
    static constexpr long kNotOpen = -1;
    static constexpr long kCannotDelete = 146006;

    explicit KIVOBAGDataIO(const NORVAUString& path);
    // Copies share the (immutable) metadata and start closed.
    KIVOBAGDataIO(const KIVOBAGDataIO& o);
    KIVOBAGDataIO& operator=(const KIVOBAGDataIO& o);
    ~KIVOBAGDataIO() override;

    void print(std::ostream& os) const override;
    NORVAUString getSourceName() const override { return m_path; }
    KIVOSurfaceMetaData* getMetaData() override { return m_metadata.get(); }
    const KIVOSurfaceMetaData* getMetaData() const override { return m_metadata.get(); }
    NORVAArray<double> getMinimum() const override { return m_minimum; }
    NORVAArray<double> getMaximum() const override { return m_maximum; }

    // Opens the file read-only; an access-library code c comes back as
    // c + 125200.
    long open() override;
    long close() override;
    bool isOpen() const { return m_handle != nullptr; }

    // Nodes are never written to a BAG file: -1, so that no edit counts as
    // kept. Storing and flushing have nothing to write and succeed.
    long set(double x, double y, const KIVOAttributeSet& attributes, const KIVODescriptor& descriptor,
             double resolution) override {
        return -1;
    }
    long store(NORVAProgress* progress) override { return 0; }
    long flush() override { return 0; }
    bool isOutdated() const override { return false; }

    // Stored elevation and uncertainty of one node (not negated); -1 when not
    // open, c + 125200 when a read fails (e.g. 125808 outside the grid).
    long getPair(uint32_t row, uint32_t column, float& elevation, float& uncertainty);

    // Box: every node in the box whose elevation is not the null.
    NORVAType<KIVOSurfaceIter> query(double x0, double y0, double x1, double y1, bool create, long& status,
                                     NORVAProgress* progress, double resolution) override;
    // Area: the nodes inside it; line or point: the node nearest each vertex.
    NORVAType<KIVOSurfaceIter> query(const NORVAGeometry& geometry, bool create, long& status,
                                     NORVAProgress* progress, double resolution) override;
    using KIVOSurfaceDataIO::query;

    long deleteAllFiles(bool keepOpen) override;
    long getAssociatedFiles(std::vector<NORVAUString>& files) const override;
    // "Depth" or "Uncertainty" into a float raster; -1 for another attribute.
    long rasterize(rasterizeConfig& config) override;
    // The file's metadata XML; empty when it cannot be read.
    NORVAUString getISOMetaData() const override;

    // For the iterators.
    bagHandle* getHandle() { return m_handle; }
    const BAGMetaData* getBAGMetaData() const { return m_metadata.get(); }

private:
    long readRaster(rasterizeConfig& config, int32_t surface, float* out);

    NORVAArray<double> m_minimum;
    NORVAArray<double> m_maximum;
    NORVAUString m_path;
    std::shared_ptr<BAGMetaData> m_metadata;
    bagHandle* m_handle = nullptr;
};
