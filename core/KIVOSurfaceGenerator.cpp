#include "core/KIVOSurfaceGenerator.h"

#include <cfloat>

#include "core/KIVOSurface.h"
#include "core/SurfaceAttributeNames.h"

KIVOSurfaceGenerator::KIVOSurfaceGenerator(KIVOPointIter& soundings, KIVOSurface& surface,
                                           KIVOFieldGenerator& fieldGenerator)
    : m_soundings(soundings), m_surface(surface), m_fieldGenerator(fieldGenerator) {}

long KIVOSurfaceGenerator::generate(NORVAProgress* progress) {
    long timeIndex = -1;
    KIVOPointIter::DATA_TYPE timeType = KIVODataType::DOUBLE;
    if (!m_soundings.indexOf(SurfaceAttributeNames::kTime, timeIndex, timeType)) timeIndex = -1;

    const KIVOSurfaceMetaData* metaData = m_surface.getMetaData();
    KIVOSourceRecord empty;
    const KIVOSourceRecord& record = metaData ? metaData->getSourceRecord() : empty;
    TimeRange range{record.firstTime, record.lastTime};

    long status = m_fieldGenerator.init();
    if (status != 0) return status;
    status = runSoundings(timeIndex, range);
    if (status != 0) return status;
    status = m_fieldGenerator.finish();
    if (status != 0) return status;

    writeTimeRange(range);
    return m_surface.store(progress);
}

long KIVOSurfaceGenerator::runSoundings(long timeIndex, TimeRange& range) {
    long status = 0;
    while (!m_soundings.done(status)) {
        if (status != 0) return status;
        status = m_fieldGenerator.generate(m_soundings);
        if (status != 0) return status;
        if (timeIndex >= 0) widen(timeIndex, range);
        m_soundings.next(status);
        if (status != 0) return status;
    }
    return status;
}

// A time that cannot be read says nothing about the range, so it is skipped
// like a NaN would be.
void KIVOSurfaceGenerator::widen(long timeIndex, TimeRange& range) const {
    double t = 0.0;
    if (m_soundings.get(timeIndex, t) != 0) return;
    if (t < range.first) range.first = t;
    if (t > range.last) range.last = t;
}

// Re-read so that source items the field generator added meanwhile are kept.
void KIVOSurfaceGenerator::writeTimeRange(const TimeRange& range) {
    KIVOSurfaceMetaData* metaData = m_surface.getMetaData();
    if (!metaData) return;
    KIVOSourceRecord record = metaData->getSourceRecord();
    record.firstTime = range.first;
    record.lastTime = range.last;
    metaData->setSourceRecord(record);
}
