#pragma once
// A source of soundings for the 3D terrain tools, which build triangulations
// from one or more of them. Soundings come in numbered groups; a source
// reports how many soundings a box holds (or an estimate), fills a
// suppressed-sounding set with those of one group inside a box, and tells
// its cover and coordinate system.
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAObject.h"
#include "platform/core/NORVAType.h"
#include "platform/core/NORVAnBox.h"
#include "platform/proj/NORVACoordSystem.h"
#include "platform/terrain3d/NORVASoundingRecords.h"
#include "platform/terrain3d/NORVASuppressedSoundings.h"

namespace ORTIN_3_12_0 {

class KIVO_EXPORT NORVASoundingSource : public NORVAObject {
public:
    using Box = NORVAnBox<double, 2>;
    using SoundingStruct = ORTIN_3_12_0::SoundingStruct;
    using SoundingWithAttsStruct = ORTIN_3_12_0::SoundingWithAttsStruct;

    // The source keeps its own copy of the coordinate system (none when null).
    explicit NORVASoundingSource(const NORVACoordSystem* coordSystem);
    NORVASoundingSource(const NORVASoundingSource& o);
    NORVASoundingSource& operator=(const NORVASoundingSource&) = delete;
    ~NORVASoundingSource() override;

    virtual unsigned long getSoundingCount(const Box& box, long& status) const = 0;
    // Fills the set with the soundings of one group inside the box; 0 or a status.
    virtual long getSoundings(const unsigned long& group, const Box& box,
                              NORVASuppressedSoundings::SoundingSet& set) = 0;
    virtual Box getCover() const = 0;
    // One group unless a source says otherwise.
    virtual unsigned long getNumSoundingGroups() const { return 1; }
    // Null when the source has no coordinate system.
    virtual const NORVACoordSystem* getCoordSystem() const { return m_coordSystem.get(); }
    virtual NORVAType<NORVASoundingSource> newCopy() const = 0;

private:
    NORVAType<NORVACoordSystem> m_coordSystem;
};

}  // namespace ORTIN_3_12_0
