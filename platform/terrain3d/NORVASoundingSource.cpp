#include "platform/terrain3d/NORVASoundingSource.h"

namespace ORTIN_3_12_0 {

NORVASoundingSource::NORVASoundingSource(const NORVACoordSystem* coordSystem) {
    if (coordSystem) m_coordSystem = coordSystem->newCopy();
}

NORVASoundingSource::NORVASoundingSource(const NORVASoundingSource& o) : NORVAObject(o) {
    if (o.m_coordSystem) m_coordSystem = o.m_coordSystem->newCopy();
}

NORVASoundingSource::~NORVASoundingSource() = default;

}  // namespace ORTIN_3_12_0
