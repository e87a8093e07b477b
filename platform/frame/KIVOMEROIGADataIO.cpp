#include "platform/frame/KIVOMEROIGADataIO.h"

#include <ostream>

KIVOMEROIGADataIO::KIVOMEROIGADataIO(const NORVAUString& path) : m_path(path) { m_status = kNotSupported; }

void KIVOMEROIGADataIO::print(std::ostream& os) const {
    os << "KIVOMEROIGADataIO(" << m_path << ", IGA files are not read, status=" << m_status << ")";
}

NORVAType<KIVOSurfaceIter> KIVOMEROIGADataIO::query(double x0, double y0, double x1, double y1, bool create,
                                                    long& status, NORVAProgress* progress, double resolution) {
    status = kNotSupported;
    return NORVAType<KIVOSurfaceIter>();
}
