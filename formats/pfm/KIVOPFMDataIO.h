#pragma once
// A PFM structure offered as a read-only surface: every bin holding at least
// one sounding is a node with its minimum, maximum and average depth. The
// host constructs it directly with the name of the handle or list file.
#include "platform/core/KIVOExport.h"
#include <memory>

#include "formats/pfm/PFMMetaData.h"
#include "formats/pfm/pfm_types.h"
#include "platform/core/NORVAArray.h"
#include "platform/frame/KIVOSurfaceDataIO.h"

class KIVO_EXPORT KIVOPFMDataIO : public KIVOSurfaceDataIO {
public:
    static constexpr long kCannotDelete = 146006;

    explicit KIVOPFMDataIO(const NORVAUString& path);
    // A copy shares the (immutable) metadata and starts closed, so each copy
    // opens and closes its own library handle.
    KIVOPFMDataIO(const KIVOPFMDataIO& other);
    KIVOPFMDataIO& operator=(const KIVOPFMDataIO& other);
    ~KIVOPFMDataIO() override;

    void print(std::ostream& os) const override;
    KIVOSurfaceAttributeTable* getAttributeInfo() override;
    const KIVOSurfaceAttributeTable* getAttributeInfo() const override;
    const NORVACoordSystem* getCoordSystem() const override;
    NORVAArray<double> getMinimum() const override { return m_minimum; }
    NORVAArray<double> getMaximum() const override { return m_maximum; }
    NORVAUString getSourceName() const override { return m_path; }
    KIVOSurfaceMetaData* getMetaData() override { return m_metadata.get(); }
    const KIVOSurfaceMetaData* getMetaData() const override { return m_metadata.get(); }
    // Nodes are never written to a PFM file: -1, so that no edit counts as kept.
    long set(double x, double y, const KIVOAttributeSet& attributes, const KIVODescriptor& descriptor,
             double resolution) override {
        return -1;
    }
    void setModified(bool modified) override { m_modified = modified; }
    bool isModified() const override { return m_modified; }
    long open() override;
    long close() override;
    long store(NORVAProgress* progress) override { return 0; }
    long flush() override { return 0; }
    bool isOutdated() const override { return false; }
    bool checkOutdated() override { return false; }
    using KIVOSurfaceDataIO::query;
    NORVAType<KIVOSurfaceIter> query(double x0, double y0, double x1, double y1, bool create, long& status,
                                     NORVAProgress* progress, double resolution) override;
    NORVAType<KIVOSurfaceIter> query(const NORVAGeometry& geometry, bool create, long& status,
                                     NORVAProgress* progress, double resolution) override;
    // Removes the named file only; 146006 when it cannot be removed.
    long deleteAllFiles(bool keepOpen) override;
    long getAssociatedFiles(std::vector<NORVAUString>& files) const override;
    long rasterize(rasterizeConfig& config) override;

    int32_t getPFMHandle() const { return m_handle; }
    BIN_HEADER getPFMHeader() const { return m_header; }

private:
    friend class PFMIter;
    friend class PFMAttributeSet;

    std::shared_ptr<PFMMetaData> m_metadata;  // shared by copies
    NORVAArray<double> m_minimum;
    NORVAArray<double> m_maximum;
    NORVAUString m_path;
    int32_t m_handle = -1;
    BIN_HEADER m_header;
};
