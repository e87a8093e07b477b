#pragma once
// Walks the points of a tile store for the data-set layer, over a cover or
// an area: per node the values of the requested bands, its position with
// the depth band's height as z, and state bits from its "Status" word (bit 0
// from bit 31, rejected; bit 10 from bit 30, designated). Nodes must pass
// the iterator's state checks; each candidate's own bits decide. The cloud
// and its store must outlive the iterator.
#include "platform/core/KIVOExport.h"
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/cloudkit/ORBONodeIterator.h"
#include "platform/kestrin/NORVAKestrinDataIO.h"
#include "platform/polyops/NORVAPolygonPrimitive.h"
#include "platform/shapes/NORVAAreaGeometry.h"
#include "platform/shapes/NORVACover.h"

class KestrinGeoCloud;

class KIVO_EXPORT KestrinNodeIterator : public ORBO_3_12_0_::DataSet::StateCheckNodeIterator {
public:
    static constexpr unsigned kRejectedState = 0;
    static constexpr unsigned kDesignatedState = 10;

    KestrinNodeIterator(const KestrinGeoCloud& cloud, const NORVACover& cover, const std::vector<unsigned>& bandIds,
                        NORVAKestrinDataIO& dataIO, unsigned depthBand, bool nodeIndex, long& status);
    KestrinNodeIterator(const KestrinGeoCloud& cloud, const NORVAGeometry& area, const std::vector<unsigned>& bandIds,
                        NORVAKestrinDataIO& dataIO, unsigned depthBand, bool nodeIndex, long& status);
    ~KestrinNodeIterator() override;

    bool next() override;
    long init() override;
    bool getState(unsigned i) const override { return i < kNumStates && m_states.test(i); }
    States getStates() const override { return m_states; }
    void setState(bool, unsigned) override {}
    void setState(bool, const States&) override {}
    // 146162 without a current point, 136153 when the depth band was not
    // requested.
    long getPosition(NORVAPoint3D& position, unsigned dimensions) const override;
    long getPosition(NORVAPoint2D& position, unsigned dimensions) const override;
    long setPosition(const NORVAPoint3D&, unsigned) override;
    ORBO_3_12_0_::DataSet::Cloud::BandType getBandType(unsigned bandId) const override;
    const std::vector<unsigned>& getBandIDs() const override { return m_bandIds; }
    const ORBO_3_12_0_::DataSet::GeoBandSet* getBandSet() const override;

private:
    long start(const NORVAKestrinQuery& query);
    const NORVAKestrinPoint* currentPoint() const;
    // Moves on from the current point to the first one to serve.
    void settle();
    bool insideArea(const NORVAKestrinPoint& point) const;
    void takeStates(const NORVAKestrinPoint& point);
    long updateData();
    long readBand(size_t i, const NORVAKestrinPoint& point);

    const KestrinGeoCloud* m_cloud;
    std::vector<unsigned> m_bandIds;
    NORVAKestrinDataIO* m_dataIO;
    NORVAType<NORVAKestrinDataPointIterator> m_points;
    NORVAType<NORVAGeometry> m_area;
    std::unique_ptr<NORVACompGeom::NORVAPolygonPrimitive> m_polygon;
    int64_t m_counter = 0;
    unsigned m_depthBand;
    bool m_nodeIndex;
    long m_statusIndex = -1;
    States m_states;
    mutable NORVAArray<double> m_coordinates;
};
