#include "platform/terrain3d/NORVASuppressedSoundings.h"

namespace ORTIN_3_12_0 {
namespace NORVASuppressedSoundings {

long SoundingSet::setSounding(size_t k, double x, double y, double z, uintptr_t reference, int32_t flag) {
    SoundingRecord record;
    const long status = m_scaler.userToDisk(x, y, z, record.x, record.y, record.z);
    if (status != 0) return status;
    record.reference = reference;
    record.flag = flag;
    if (k >= m_records.size()) m_records.resize(k + 1);
    m_records[k] = record;
    return 0;
}

void SoundingSet::getPosition(size_t k, double& x, double& y, double& z) const {
    const SoundingRecord& r = m_records.at(k);
    m_scaler.diskToUser(r.x, r.y, r.z, x, y, z);
}

}  // namespace NORVASuppressedSoundings
}  // namespace ORTIN_3_12_0
