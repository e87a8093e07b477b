#pragma once
// Hands each sounding of a point iterator to a field generator, widens the
// time range of the surface's source record to the soundings' times and
// stores the surface. The three references must outlive the generator.
#include "platform/core/KIVOExport.h"
#include "core/KIVOFieldGenerator.h"
#include "platform/core/NORVAObject.h"
#include "platform/frame/KIVOPointIter.h"

class KIVOSurface;
class NORVAProgress;

class KIVO_EXPORT KIVOSurfaceGenerator : public NORVAObject {
public:
    KIVOSurfaceGenerator(KIVOPointIter& soundings, KIVOSurface& surface, KIVOFieldGenerator& fieldGenerator);

    // Any failure is returned unchanged; after a failure of the field
    // generator or the iterator the metadata is untouched and nothing is stored.
    long generate(NORVAProgress* progress);

    KIVOSurface& getSurface() const { return m_surface; }

private:
    struct TimeRange {
        double first;
        double last;
    };
    long runSoundings(long timeIndex, TimeRange& range);
    void widen(long timeIndex, TimeRange& range) const;
    void writeTimeRange(const TimeRange& range);

    KIVOPointIter& m_soundings;
    KIVOSurface& m_surface;
    KIVOFieldGenerator& m_fieldGenerator;
};
