#pragma once
// The set of soundings that a sounding source fills for the 3D terrain tools:
// a scaler and records in the scaler's disk units.
#include "platform/core/KIVOExport.h"
#include <cstddef>
#include <vector>

#include "platform/proj/NORVAScaler.h"
#include "platform/terrain3d/NORVASoundingRecords.h"

namespace ORTIN_3_12_0 {
namespace NORVASuppressedSoundings {

class KIVO_EXPORT SoundingSet {
public:
    // Offsets 0 and scales 1.
    SoundingSet() = default;
    explicit SoundingSet(const NORVAScaler& scaler) : m_scaler(scaler) {}

    const NORVAScaler& getScaler() const { return m_scaler; }
    void setScaler(const NORVAScaler& scaler) { m_scaler = scaler; }

    // Writes record k, growing the set with zeroed records when k lies beyond
    // its end. A position or depth the scaler cannot convert leaves the set
    // unchanged and returns the scaler's status.
    long setSounding(size_t k, double x, double y, double z, uintptr_t reference, int32_t flag);

    size_t size() const { return m_records.size(); }
    const SoundingRecord& operator[](size_t k) const { return m_records[k]; }
    const std::vector<SoundingRecord>& getRecords() const { return m_records; }
    void clear() { m_records.clear(); }
    // Back into user units.
    void getPosition(size_t k, double& x, double& y, double& z) const;

private:
    NORVAScaler m_scaler;
    std::vector<SoundingRecord> m_records;
};

}  // namespace NORVASuppressedSoundings
}  // namespace ORTIN_3_12_0
