#pragma once
// The data-IO of the framework's own IGA format. The format is not specified
// and this library does not read IGA files: an object made from a path always
// reports status 146009 (no usable data-IO for the path), so opening an
// ".iga" surface by name fails cleanly.
#include "platform/core/KIVOExport.h"
#include "platform/frame/KIVOSurfaceDataIO.h"

class KIVO_EXPORT KIVOMEROIGADataIO : public KIVOSurfaceDataIO {
public:
    static constexpr long kNotSupported = 146009;

    explicit KIVOMEROIGADataIO(const NORVAUString& path);

    void print(std::ostream& os) const override;
    NORVAUString getSourceName() const override { return m_path; }
    KIVOSurfaceMetaData* getMetaData() override { return nullptr; }
    const KIVOSurfaceMetaData* getMetaData() const override { return nullptr; }
    // No nodes: an empty handle and status 146009.
    NORVAType<KIVOSurfaceIter> query(double x0, double y0, double x1, double y1, bool create, long& status,
                                     NORVAProgress* progress, double resolution) override;
    using KIVOSurfaceDataIO::query;

private:
    NORVAUString m_path;
};
