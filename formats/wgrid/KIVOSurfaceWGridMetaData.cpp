#include "formats/wgrid/KIVOSurfaceWGridMetaData.h"

#include <cfloat>
#include <cmath>
#include <ostream>

#include "formats/wgrid/KIVOWGridDataIO.h"
#include "platform/frame/KIVODataType.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOMemDescriptor.h"

KIVOSurfaceWGridMetaData::KIVOSurfaceWGridMetaData(const KIVOWGridDataIO& dataIO) : m_dataIO(dataIO) {
    const bool intensity = dataIO.isIntensity();
    KIVODescriptor::AttribEntry entry(dataIO.getDefinition().representation,
                                      intensity ? KIVODataType::UCHAR : KIVODataType::FLOAT);
    if (!intensity) {
        entry.unitKey = NORVAUString("m");
        entry.unitDirection = NORVAUString("DEPTH");
    }
    KIVOMemDescriptor descriptor;
    descriptor.addAttribute(entry);
    KIVOMetaAttribute meta(descriptor);
    fillRange(meta);
    m_table = std::make_unique<KIVOSurfaceAttributeTable>(meta);
    fillRecords();
}

// Depths outside what the attribute's type holds leave that end unset, as
// does an absent MIN DEPTH or MAX DEPTH.
void KIVOSurfaceWGridMetaData::fillRange(KIVOMetaAttribute& meta) const {
    const WGridDefinition& d = m_dataIO.getDefinition();
    KIVOMemAttributeSet minimum(meta.getDescriptor()), maximum(meta.getDescriptor());
    auto put = [&](KIVOMemAttributeSet& set, double value) {
        if (!std::isfinite(value) || std::fabs(value) >= FLT_MAX) return;
        if (m_dataIO.isIntensity()) {
            const double whole = std::trunc(value);
            if (whole >= 0.0 && whole <= 255.0) set.setValue(0, static_cast<unsigned char>(whole));
        } else {
            set.setValue(0, static_cast<float>(value));
        }
    };
    put(minimum, d.minDepth);
    put(maximum, d.maxDepth);
    meta.setMinimum(minimum);
    meta.setMaximum(maximum);
}

void KIVOSurfaceWGridMetaData::fillRecords() {
    const WGridDefinition& d = m_dataIO.getDefinition();
    for (const std::string& line : d.extraDataLines) {
        const NORVAUString text(line);
        const int32_t eq = text.indexOf(u'=');
        KIVOSourceItem item;
        item.key = (eq < 0 ? text : text.substring(0, eq)).trimmed();
        NORVAUString value = eq < 0 ? NORVAUString() : text.substring(eq + 1);
        const int32_t comma = value.indexOf(u',');
        if (comma >= 0) value = value.substring(0, comma);
        item.value = value.trimmed();
        m_source.items.push_back(item);
    }
    m_areaCoverage = d.area > 0.0 ? d.area : 0.0;
    m_process.name = NORVAUString(kProducer);
    m_process.pairs.emplace_back(NORVAUString("Version"), NORVAUString(kSoftwareVersion));
}

long KIVOSurfaceWGridMetaData::getResolution(double& x, double& y) const {
    x = y = m_dataIO.getResolution();
    return 0;
}

const NORVACoordSystem* KIVOSurfaceWGridMetaData::getCoordSystem(long& status) const {
    status = 0;
    return m_dataIO.getCoordSystem();
}

long KIVOSurfaceWGridMetaData::getCover(double& minX, double& minY, double& maxX, double& maxY) const {
    const WGridDefinition& d = m_dataIO.getDefinition();
    minX = d.swCorner[0];
    minY = d.swCorner[1];
    maxX = d.neCorner[0];
    maxY = d.neCorner[1];
    return 0;
}

long KIVOSurfaceWGridMetaData::getDimensions(double& width, double& height) const {
    width = m_dataIO.getDefinition().width;
    height = m_dataIO.getDefinition().height;
    return 0;
}

long KIVOSurfaceWGridMetaData::store() { return m_dataIO.getDefinition().writeMetaData(m_dataIO.getDefinitionPath()); }

void KIVOSurfaceWGridMetaData::print(std::ostream& os) const {
    os << "KIVOSurfaceWGridMetaData(" << m_dataIO.getDefinitionPath() << ")";
}
