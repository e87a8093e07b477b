#include "multires/KestrinGeoCloudBand.h"

#include <cfloat>

#include "multires/KestrinGeoCloud.h"
#include "platform/kestrin/KestrinStoreType.h"

using namespace ORBO_3_12_0_::DataSet::Cloud;

namespace {

const NORVAUString kIndexName("Index");
const NORVAUString kDepthName("Depth");
const NORVAUString kMetres("m");

// The value that stands for none, by store type.
double emptyValueOf(int32_t storeType) {
    using namespace KestrinStoreType;
    switch (storeType) {
        case LONG: return 2147483647.0;
        case UCHAR: return 255.0;
        case FLOAT: return FLT_MAX;
        case USHORT: return 65535.0;
        case SHORT: return 32767.0;
        case ULONG: return 4294967295.0;
        default: return DBL_MAX;
    }
}

}  // namespace

BandType KestrinGeoCloudBand::typeOf(int32_t storeType, uint32_t size, bool depth) {
    using namespace KestrinStoreType;
    const NORVAUString unit = depth ? kMetres : NORVAUString();
    const int32_t direction = depth ? BandType::kDepthDirection : BandType::kNoLengthDirection;
    switch (storeType) {
        case DOUBLE: return BandType::scalar(VT_DOUBLE, unit, direction);
        case LONG: return BandType::scalar(VT_LONG, unit, direction);
        // This store keeps the texts of every text type in its records, not
        // in string tables, so all of them are served as texts.
        case FIXED_TEXT:
        case TEXT:
        case STRING: return BandType::string(size);
        case UCHAR: return BandType::scalar(VT_UCHAR, unit, direction);
        case FLOAT: return BandType::scalar(VT_FLOAT, unit, direction);
        case USHORT: return BandType::scalar(VT_USHORT, unit, direction);
        case SHORT: return BandType::scalar(VT_SHORT, unit, direction);
        case ULONG: return BandType::scalar(VT_ULONG, unit, direction);
        case DATETIME: return BandType::dateTime(BandType::DATE_TIME);
        case DATE: return BandType::dateTime(BandType::DATE);
        case TIME: return BandType::dateTime(BandType::TIME);
        default: return BandType();
    }
}

KestrinGeoCloudBand::KestrinGeoCloudBand(const KestrinGeoCloud& cloud, unsigned bandId, unsigned attributeIndex,
                                         const NORVAKestrinDataIO& dataIO, long& status)
    : m_cloud(&cloud), m_bandId(bandId), m_attributeIndex(attributeIndex) {
    status = init(bandId == cloud.getIndexBandID() ? indexConfig() : fieldConfig(dataIO));
}

const ORBO_3_12_0_::DataSet::GeoBandSet* KestrinGeoCloudBand::getParent() const { return m_cloud; }

GeoCloudBand::InitConfig KestrinGeoCloudBand::indexConfig() const {
    InitConfig config;
    config.name = kIndexName;
    config.type = BandType::scalar(VT_INT64);
    config.minimum = 0.0;
    config.maximum = kLargestIndex;
    config.defaultValue = CloudValue(VT_INT64);
    return config;
}

GeoCloudBand::InitConfig KestrinGeoCloudBand::fieldConfig(const NORVAKestrinDataIO& dataIO) const {
    const NORVAKestrinGenericDataDescriptor& layout = dataIO.getGenericDataDescriptor();
    const long i = static_cast<long>(m_attributeIndex);
    const int32_t storeType = layout.getType(i);
    const bool depth = m_bandId == m_cloud->getDepthBandID();
    InitConfig config;
    config.name = layout.getAttributeName(i);
    config.type = typeOf(storeType, layout.getAttributeSize(i), depth);
    config.defaultValue = CloudValue(config.type.getValueType());
    if (config.type.getKind() == BandType::STRING) return config;
    config.defaultValue.setNumber(emptyValueOf(storeType));
    CloudValue lo(config.type.getValueType()), hi(config.type.getValueType());
    // Heights: the deepest stored depth is the lowest height.
    lo.setNumber(depth ? -dataIO.getMaxAttValue(i) : dataIO.getMinAttValue(i));
    hi.setNumber(depth ? -dataIO.getMinAttValue(i) : dataIO.getMaxAttValue(i));
    config.minimum = lo.getAsDouble();
    config.maximum = hi.getAsDouble();
    return config;
}
