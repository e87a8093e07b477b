#pragma once
// Serves the soundings of another point iterator with their positions
// transformed into a target coordinate system; every other field is the
// wrapped iterator's. A sounding whose position cannot be transformed is
// passed over and counted. The transformation is set up once, on the
// iterator's own copy of the source system, and reused for every sounding.
// Like every point iterator it stands on its first sounding (the first that
// transforms) once constructed. The wrapped iterator and the target system
// must outlive it.
#include "platform/core/KIVOExport.h"
#include "platform/frame/KIVOPointIter.h"
#include "platform/proj/NORVACoordSystem.h"

class KIVO_EXPORT KIVOTransformedPointIter : public KIVOPointIter {
public:
    KIVOTransformedPointIter(KIVOPointIter& soundings, const NORVACoordSystem& from, const NORVACoordSystem& to);

    bool done(long& status) const override;
    bool next(long& status) override;
    long getPosition(double& x, double& y) const override;
    const NORVACoordSystem* getCoordSystem() const override { return &m_to; }
    void getAdditionalAttributes(std::vector<NORVAUString>& names) const override;
    void getAvailable(std::vector<NORVAUString>& names) const override;
    long getAsDouble(long index, double& value) const override;
    DATA_TYPE getType(long index) const override;
    long get(long index, NORVAUString& value) const override;
    long get(long index, long& value) const override;
    long get(long index, double& value) const override;
    long count() const override;
    bool indexOf(const NORVAUString& name, long& index, DATA_TYPE& type) const override;

    // Soundings passed over so far because their position did not transform.
    long getNotTransformed() const { return m_notTransformed; }
    // Soundings served so far, each with its transformed position.
    long getServed() const { return m_served; }

private:
    // Moves past the soundings that do not transform, from the current one on.
    bool settle(long& status);

    KIVOPointIter& m_soundings;
    NORVACoordSystem m_from;
    const NORVACoordSystem& m_to;
    double m_x = 0.0, m_y = 0.0;
    long m_positionStatus = 0;
    long m_iterStatus = 0;
    long m_notTransformed = 0;
    long m_served = 0;
};
