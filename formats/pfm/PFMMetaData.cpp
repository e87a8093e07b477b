#include "formats/pfm/PFMMetaData.h"

#include <cfloat>
#include <cstdio>
#include <vector>

#include "formats/pfm/PFMLibrary.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOMetaAttribute.h"
#include "platform/proj/NORVAEllipsoid.h"
#include "platform/proj/NORVAMapDefinitionFactory.h"
#include "platform/proj/NORVAScaler.h"

const NORVAUString PFMMetaData::kClassTypeName("DazavazEdora::RWMetaData");

PFMMetaData::PFMMetaData(const NORVAUString& path)
    : m_path(path), m_cover{DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX} {
    // An attribute table always exists, so callers never meet a null one.
    buildAttributeTable(BIN_HEADER());
    BIN_HEADER head;
    int32_t handle = -1;
    if (PFMLibrary::openReadOnly(path, handle, head) != 0) {
        m_status = -1;
        return;
    }
    m_status = build(head);
    pfm_close(handle);
}

long PFMMetaData::build(const BIN_HEADER& head) {
    const long status = buildCoordSystem(head);
    if (status != 0) return status;
    buildAttributeTable(head);
    const bool geographic = head.projection == 0;
    const double sizeX = geographic ? head.x_bin_size_degrees : head.bin_size_xy;
    const double sizeY = geographic ? head.y_bin_size_degrees : head.bin_size_xy;
    m_resolution[0] = sizeX;
    m_resolution[1] = sizeY;
    m_dimensions[0] = head.bin_width * sizeX;
    m_dimensions[1] = head.bin_height * sizeY;
    m_cover[0] = head.mbr_min_x;
    m_cover[1] = head.mbr_min_y;
    m_cover[2] = head.mbr_max_x;
    m_cover[3] = head.mbr_max_y;
    m_date = NORVAUString(std::string(head.date));
    KIVODescriptiveFields fields = getDescriptiveFields();
    fields.creationDate = m_date;
    setDescriptiveFields(fields);
    return 0;
}

long PFMMetaData::buildCoordSystem(const BIN_HEADER& head) {
    const NORVAEllipsoid ellipsoid("WG84");
    const double parameters[NORVAMapDefinitionFactory::PARAMETER_COUNT] = {0, 0, 0, 0, 0, 0, 0, 0};
    const bool geographic = head.projection == 0;
    const NORVAScaler scaler = geographic ? NORVAScaler(1e-9) : NORVAScaler(0, 0, 0, 0.02, 0.02, 0.001);
    const int kind =
        geographic ? NORVAMapDefinitionFactory::KIND_GEOGRAPHIC : NORVAMapDefinitionFactory::KIND_PROJECTED;
    long status = 0;
    const NORVAMapDefinitionFactory factory;
    m_coordSystem = factory.makeCoSys(NORVAUString(geographic ? "Geographic" : ""), kind, ellipsoid,
                                      NORVAMapDefinitionFactory::PROJ_GEOGRAPHIC, parameters, scaler, 0, status);
    if (status == 0 && !m_coordSystem) status = -1;
    return status;
}

void PFMMetaData::buildAttributeTable(const BIN_HEADER& head) {
    std::vector<KIVODescriptor::AttribEntry> entries;
    for (const char* name : {"DEPTH", "Max_Depth", "Average_Depth"}) {
        KIVODescriptor::AttribEntry entry(NORVAUString(name), KIVODataType::FLOAT);
        entry.unitKey = NORVAUString("m");
        entry.unitDirection = NORVAUString("DEPTH");
        entries.push_back(entry);
    }
    int attributes = 0;
    for (; attributes < PFM_ATTRIBUTES && head.ndx_attr_name[attributes][0] != '\0'; ++attributes)
        entries.emplace_back(NORVAUString(std::string(head.ndx_attr_name[attributes])), KIVODataType::FLOAT);

    const KIVOMemDescriptor descriptor(entries);
    KIVOMetaAttribute meta(descriptor);
    KIVOMemAttributeSet minimum(descriptor), maximum(descriptor);
    for (long i = 0; i < 3; ++i) {
        minimum.setValue(i, head.min_depth);
        maximum.setValue(i, head.max_depth);
    }
    for (int i = 0; i < attributes; ++i) {
        minimum.setValue(3 + i, head.min_ndx_attr[i]);
        maximum.setValue(3 + i, head.max_ndx_attr[i]);
    }
    meta.setMinimum(minimum);
    meta.setMaximum(maximum);
    m_table = std::make_unique<KIVOSurfaceAttributeTable>(meta);
}

long PFMMetaData::getResolution(double& x, double& y) const {
    x = m_resolution[0];
    y = m_resolution[1];
    return 0;
}

const NORVACoordSystem* PFMMetaData::getCoordSystem(long& status) const {
    status = 0;
    return m_coordSystem.get();
}

long PFMMetaData::getCover(double& minX, double& minY, double& maxX, double& maxY) const {
    minX = m_cover[0];
    minY = m_cover[1];
    maxX = m_cover[2];
    maxY = m_cover[3];
    return 0;
}

long PFMMetaData::getDimensions(double& width, double& height) const {
    width = m_dimensions[0];
    height = m_dimensions[1];
    return 0;
}

void PFMMetaData::print(std::ostream& os) const {
    os << "PFMMetaData(" << m_path.toUTF8() << ", status=" << m_status << ")";
}
