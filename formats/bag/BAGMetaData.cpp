#include "formats/bag/BAGMetaData.h"

#include <cstdio>
#include <memory>

#include "core/SurfaceAttributeNames.h"
#include "formats/bag/BAGAttributeSet.h"
#include "formats/bag/BAGXPath.h"
#include "formats/bag/BagHandle.h"
#include "formats/bag/BagMetadataTables.h"
#include "platform/core/NORVAXMLDocument.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/proj/NORVAEllipsoid.h"
#include "platform/proj/NORVAMapDefinitionFactory.h"
#include "platform/proj/NORVAScaler.h"

namespace {

const char kProcessStep[] =
    "dataQualityInfo/smXML:DQ_DataQuality/lineage/smXML:LI_Lineage/processStep/smXML:BAG_ProcessStep/";

struct HandleCloser {
    void operator()(bagHandle* h) const { bagClose(h); }
};
using OpenHandle = std::unique_ptr<bagHandle, HandleCloser>;

KIVODescriptor::AttribEntry floatEntry(const NORVAUString& name) {
    KIVODescriptor::AttribEntry e(name, KIVODataType::FLOAT);
    e.unitKey = "m";
    e.unitDirection = "DEPTH";
    return e;
}

const char* ellipsoidName(int32_t datum) {
    switch (datum) {
        case BagMetadataTables::WGS84: return "WG84";
        case BagMetadataTables::WGS72: return "WG72";
        case BagMetadataTables::NAD83: return "NA83";
        default: return nullptr;
    }
}

int projectionKind(int32_t coordSys) {
    using T = BagMetadataTables::CoordinateType;
    using F = NORVAMapDefinitionFactory;
    switch (coordSys) {
        case T::GEODETIC: return F::PROJ_GEOGRAPHIC;
        case T::UTM: return F::PROJ_UTM;
        case T::CASSINI: return F::PROJ_CASSINI;
        case T::GNOMONIC: return F::PROJ_GNOMONIC;
        case T::LAMBERT_CONFORMAL_CONIC: return F::PROJ_LAMBERT_CONFORMAL_CONIC;
        case T::MERCATOR: return F::PROJ_MERCATOR;
        case T::OBLIQUE_MERCATOR: return F::PROJ_OBLIQUE_MERCATOR;
        case T::POLAR_STEREO: return F::PROJ_POLAR_STEREOGRAPHIC;
        case T::POLYCONIC: return F::PROJ_POLYCONIC;
        case T::STEREOGRAPHIC: return F::PROJ_STEREOGRAPHIC;
        case T::TRANSVERSE_MERCATOR: return F::PROJ_TRANSVERSE_MERCATOR;
        default: return -1;
    }
}

// The text between `mark` and the next ';', when both are present.
NORVAUString between(const NORVAUString& text, const NORVAUString& mark) {
    const int32_t at = text.indexOf(mark);
    if (at < 0) return NORVAUString();
    const int32_t from = at + mark.length();
    const int32_t end = text.indexOf(u';', from);
    return end < 0 ? NORVAUString() : text.substring(from, end - from);
}

// "hh:mm:ss" without a trailing zone designator ("Z", "+hh:mm", "-hhmm").
NORVAUString withoutZone(const NORVAUString& time) {
    if (time.endsWith("Z") || time.endsWith("z")) return time.substring(0, time.length() - 1);
    for (int32_t i = time.length() - 1; i > 0; --i) {
        const char16_t c = time.at(i);
        if (c == u'+' || c == u'-') return time.substring(0, i);
    }
    return time;
}

void readDateTime(const NORVAUString& text, BAGMetaData::Lineage& out) {
    const int32_t t = text.indexOf(u'T');
    if (t < 0) return;
    out.time = withoutZone(text.substring(t + 1));
    NORVAUString date = text.substring(0, t);
    date.replaceAll("-", " ");
    int year = 0, month = 0, day = 0;
    if (std::sscanf(date.toUTF8().c_str(), "%d %d %d", &year, &month, &day) != 3) return;
    out.date = NORVAUString::formatPattern(day, "00") + "-" + NORVAUString::formatPattern(month, "00") + "-" +
               NORVAUString::formatPattern(year, "0000");
}

}  // namespace

BAGMetaData::BAGMetaData(const NORVAUString& path) {
    bagHandle* raw = nullptr;
    const bagError rc = bagOpen(&raw, BAG_OPEN_READONLY, path.toUTF8().c_str());
    OpenHandle handle(raw);
    if (rc != BAG_SUCCESS || !handle) {
        m_status = rc != BAG_SUCCESS ? kErrorBase + rc : kErrorBase + BAG_INVALID_BAG_HANDLE;
        return;
    }
    if (!handle->def.loaded) {
        m_status = kNoDefinition;
        return;
    }
    m_definition = handle->def;
    buildAttributeTable(*handle);
    long status = 0;
    m_coordSystem = bagSys2Norva(m_definition, status);
    if (!m_coordSystem) {
        m_status = status != 0 ? status : kUnsupported;
        return;
    }
    m_lineage = readLineage(handle->metadata);
}

void BAGMetaData::buildAttributeTable(const bagHandle& handle) {
    KIVOMemDescriptor descriptor({floatEntry(SurfaceAttributeNames::kDepth),
                                  floatEntry(SurfaceAttributeNames::kUncertainty)});
    KIVOMetaAttribute meta(descriptor);
    KIVOMemAttributeSet minimum(descriptor), maximum(descriptor);
    minimum.setValue(0, -handle.maxElevation);
    minimum.setValue(1, handle.minUncertainty);
    maximum.setValue(0, -handle.minElevation);
    maximum.setValue(1, handle.maxUncertainty);
    meta.setMinimum(minimum);
    meta.setMaximum(maximum);
    m_table = std::make_unique<KIVOSurfaceAttributeTable>(meta);
}

long BAGMetaData::getResolution(double& x, double& y) const {
    x = m_definition.nodeSpacingX;
    y = m_definition.nodeSpacingY;
    return 0;
}

const NORVACoordSystem* BAGMetaData::getCoordSystem(long& status) const {
    status = 0;
    return m_coordSystem.get();
}

long BAGMetaData::getCover(double& minX, double& minY, double& maxX, double& maxY) const {
    double width = 0.0, height = 0.0;
    getDimensions(width, height);
    minX = m_definition.swCornerX;
    minY = m_definition.swCornerY;
    maxX = minX + width;
    maxY = minY + height;
    return 0;
}

long BAGMetaData::getDimensions(double& width, double& height) const {
    width = double(m_definition.ncols) * m_definition.nodeSpacingX;
    height = double(m_definition.nrows) * m_definition.nodeSpacingY;
    return 0;
}

void BAGMetaData::print(std::ostream& os) const {
    os << "BAGMetaData(rows=" << m_definition.nrows << ", columns=" << m_definition.ncols
       << ", status=" << m_status << ")";
}

NORVAType<NORVACoordSystem> BAGMetaData::bagSys2Norva(const bagDefinition& def, long& status) {
    status = 0;
    const char* ellipsoidText = ellipsoidName(def.datum);
    if (!ellipsoidText) {
        std::printf("Unsupported ellipsoid %d\n", int(def.datum));
        status = kUnsupported;
        return NORVAType<NORVACoordSystem>();
    }
    NORVAEllipsoid ellipsoid(ellipsoidText);
    if ((status = ellipsoid.getStatus()) != 0) return NORVAType<NORVACoordSystem>();
    const int projection = projectionKind(def.coordSys);
    if (projection < 0) {
        std::printf("Unsupported projection %d\n", int(def.coordSys));
        status = kUnsupported;
        return NORVAType<NORVACoordSystem>();
    }
    const bool geographic = projection == NORVAMapDefinitionFactory::PROJ_GEOGRAPHIC;
    const NORVAScaler scaler = geographic ? NORVAScaler(0, 0, 0, 1e-7, 1e-7, 0.001)
                                          : NORVAScaler(0, 0, 0, 0.01, 0.01, 0.001);
    double centralMeridian = def.longitudeOfCentralMeridian;
    double falseEasting = def.falseEasting, falseNorthing = def.falseNorthing;
    // A UTM grid is named by its zone alone: meridian, easting and (south of
    // the equator, negative zones) northing follow from it.
    const int32_t zone = def.zone < 0 ? -def.zone : def.zone;
    if (def.coordSys == BagMetadataTables::UTM && zone >= 1 && zone <= 60) {
        centralMeridian = 6.0 * zone - 183.0;
        if (falseEasting == 0.0) falseEasting = 500000.0;
        if (falseNorthing == 0.0 && def.zone < 0) falseNorthing = 10000000.0;
    }
    const double parameters[NORVAMapDefinitionFactory::PARAMETER_COUNT] = {
        centralMeridian, def.latitudeOfProjectionOrigin, falseEasting, falseNorthing,
        def.scaleFactor, def.standardParallel, def.latitudeOfProjectionCentre, 0.0};
    NORVAMapDefinitionFactory factory;
    return factory.makeCoSys("BAG Coord System",
                             geographic ? NORVAMapDefinitionFactory::KIND_GEOGRAPHIC
                                        : NORVAMapDefinitionFactory::KIND_PROJECTED,
                             ellipsoid, projection, parameters, scaler, 0, status);
}

BAGMetaData::Lineage BAGMetaData::readLineage(const std::string& metadataText) {
    Lineage out;
    NORVAXMLDocument doc;
    if (doc.loadFromBuffer(metadataText.data(), metadataText.size()) != 0) return out;
    const xmlNodePtr root = doc.getRoot();
    const std::string step = kProcessStep;
    if (xmlNodePtr n = BAGXPath::getXPathNode(root, step + "dateTime"))
        readDateTime(NORVAXMLDocument::getText(n).trimmed(), out);
    if (xmlNodePtr n = BAGXPath::getXPathNode(root, step + "description")) {
        const NORVAUString text = NORVAXMLDocument::getText(n);
        out.software = between(text, "Software: ");
        out.version = between(text, "Version: ");
    }
    if (xmlNodePtr n = BAGXPath::getXPathNode(root, step + "processor/smXML:CI_ResponsibleParty/individualName"))
        out.processor = NORVAXMLDocument::getText(n);
    return out;
}
