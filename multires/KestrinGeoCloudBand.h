#pragma once
// One band of a tile-store point cloud: a store field, or the node index.
// Its type, range and empty value follow the field's store type; the
// "Depth" band is a height in metres (its range negated).
#include "platform/core/KIVOExport.h"
#include "platform/cloudkit/ORBOGeoCloudBand.h"
#include "platform/kestrin/NORVAKestrinDataIO.h"

class KestrinGeoCloud;

class KIVO_EXPORT KestrinGeoCloudBand : public ORBO_3_12_0_::DataSet::Cloud::GeoCloudBand {
public:
    static constexpr double kLargestIndex = 4294967294.0;

    KestrinGeoCloudBand(const KestrinGeoCloud& cloud, unsigned bandId, unsigned attributeIndex,
                        const NORVAKestrinDataIO& dataIO, long& status);

    const ORBO_3_12_0_::DataSet::GeoBandSet* getParent() const override;
    unsigned getBandID() const { return m_bandId; }
    unsigned getAttributeIndex() const { return m_attributeIndex; }

    // The band type and empty value of a store type; an empty type for one
    // the store does not have.
    static ORBO_3_12_0_::DataSet::Cloud::BandType typeOf(int32_t storeType, uint32_t size, bool depth);

private:
    InitConfig indexConfig() const;
    InitConfig fieldConfig(const NORVAKestrinDataIO& dataIO) const;

    const KestrinGeoCloud* m_cloud;
    unsigned m_bandId;
    unsigned m_attributeIndex;
};
