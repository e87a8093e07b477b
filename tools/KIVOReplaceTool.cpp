#include "tools/KIVOReplaceTool.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <vector>

#include "core/KIVOSurface.h"
#include "core/SurfaceAttributeNames.h"
#include "multires/KIVOCompoundIO.h"
#include "platform/frame/KIVOExtendDataIO.h"
#include "platform/frame/KIVOGriddedAttributeSet.h"
#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOSurfaceAttributeTable.h"
#include "platform/shapes/NORVAPointGeometry.h"

namespace {

// A double narrowed to float without leaving the float range.
float toFloat(double v) {
    if (v > FLT_MAX) return FLT_MAX;
    if (v < -FLT_MAX) return -FLT_MAX;
    return static_cast<float>(v);
}

long indexIn(const KIVODescriptor* descriptor, const NORVAUString& name) {
    return descriptor ? descriptor->getAttributeIndex(name) : -1;
}

// -1, 0 or 1 as d lies below, within 1e-10 of, or above the node depth.
int compareWithTolerance(double d, double nodeDepth) {
    if (std::fabs(d - nodeDepth) <= KIVOReplaceTool::kTolerance) return 0;
    return d < nodeDepth ? -1 : 1;
}

template <class Node>
bool readFloat(const Node& node, long index, float& value) {
    return index >= 0 && node.isSet(index) && node.getValue(index, value) == 0;
}

// Writes when the surface has the attribute; the first write the node
// refuses (a read-only node, a store that cannot be written) stays in
// `failed`.
template <class Node, class T>
void writeIf(Node& node, long index, const T& value, long& failed) {
    if (index < 0) return;
    const long rc = node.setValue(index, value);
    if (failed == 0) failed = rc;
}

// Reads an integer field, or `fallback` when the sounding has no value.
long integerField(const KIVOPointIter& soundings, long field, long fallback) {
    long v = 0;
    return soundings.get(field, v) == 0 ? v : fallback;
}

double doubleField(const KIVOPointIter& soundings, long field, double fallback) {
    double v = 0.0;
    return soundings.get(field, v) == 0 ? v : fallback;
}

}  // namespace

KIVOReplaceTool::KIVOReplaceTool(KIVOSurface& surface, const NORVAUString& depth, const NORVAUString& uncertainty,
                                 const NORVAUString& density, const NORVAUString& shoal, const NORVAUString& deep,
                                 const NORVAUString& mean, const NORVAUString& stdDev,
                                 const NORVAUString& depthTrueX, const NORVAUString& depthTrueY,
                                 const NORVAUString& shoalTrueX, const NORVAUString& shoalTrueY,
                                 const NORVAUString& deepTrueX, const NORVAUString& deepTrueY, bool designated)
    : m_surface(surface), m_designated(designated) {
    const KIVOSurfaceAttributeTable* table = surface.getAttributeInfo();
    const KIVODescriptor* d = table ? &table->getDescriptor() : nullptr;
    m_depth = indexIn(d, depth);
    m_uncertainty = indexIn(d, uncertainty);
    m_weight = d && m_depth >= 0 ? d->getModAttributeIndex(m_depth) : -1;
    m_density = indexIn(d, density);
    m_shoal = indexIn(d, shoal);
    m_stdDev = indexIn(d, stdDev);
    m_deep = indexIn(d, deep);
    m_mean = indexIn(d, mean);
    m_depthTrueX = indexIn(d, depthTrueX);
    m_depthTrueY = indexIn(d, depthTrueY);
    m_shoalTrueX = indexIn(d, shoalTrueX);
    m_shoalTrueY = indexIn(d, shoalTrueY);
    m_deepTrueX = indexIn(d, deepTrueX);
    m_deepTrueY = indexIn(d, deepTrueY);

    if (m_designated && surface.getMetaData() && surface.getDataIO()) {
        long status = 0;
        m_designatedIter = surface.getMetaData()->getDesignatedIter(*surface.getDataIO(), status);
        if (status != 0) m_designatedIter.reset();
    }
    m_queryPosition = surface.getMinimum();
    if (m_queryPosition.size() < 2) m_queryPosition.resize(2, 0.0);
    m_extentMinimum = surface.getMinimum();
    m_extentMaximum = surface.getMaximum();
    findGriddedTargets();
}

KIVOReplaceTool::~KIVOReplaceTool() = default;

long KIVOReplaceTool::setOperator(const ReplaceOperator& op) {
    m_operator = op;
    return 0;
}

long KIVOReplaceTool::createAttributeMap(const KIVOPointIter& soundings) {
    std::vector<NORVAUString> names;
    soundings.getAdditionalAttributes(names);
    const KIVOSurfaceAttributeTable* table = m_surface.getAttributeInfo();
    for (const NORVAUString& name : names) {
        long field = -1;
        KIVOPointIter::DATA_TYPE type = KIVODataType::DOUBLE;
        if (!soundings.indexOf(name, field, type) || field < 0) continue;
        m_attributeMap[field] = table ? table->getDescriptor().getAttributeIndex(name) : -1;
    }
    m_attributeMapBuilt = true;
    return 0;
}

// The depth field is looked up again while missing: a sounding source may
// offer it only on soundings that have a depth.
bool KIVOReplaceTool::readSounding(const KIVOPointIter& soundings, Sounding& s) {
    KIVOPointIter::DATA_TYPE type = KIVODataType::DOUBLE;
    if (m_verticalErrorField == -2 &&
        !soundings.indexOf(SurfaceAttributeNames::kVerticalError, m_verticalErrorField, type))
        m_verticalErrorField = -1;
    if (m_depthField < 0 && !soundings.indexOf(SurfaceAttributeNames::kDepth, m_depthField, type))
        m_depthField = -1;
    if (m_depthField < 0) return false;

    double verticalError = 0.0;
    if (m_verticalErrorField < 0 || soundings.get(m_verticalErrorField, verticalError) != 0) verticalError = 0.0;
    double depth = 0.0;
    // A missing depth is never stored as 0.0.
    if (soundings.get(m_depthField, depth) != 0 || !(std::fabs(depth) <= FLT_MAX)) return false;
    if (soundings.getPosition(s.x, s.y) != 0) return false;
    s.depth = static_cast<float>(depth);
    s.verticalError = toFloat(verticalError);
    return true;
}

long KIVOReplaceTool::generate(const KIVOPointIter& soundings) {
    if (!m_attributeMapBuilt) {
        const long status = createAttributeMap(soundings);
        if (status != 0) return status;
    }
    Sounding s;
    if (!readSounding(soundings, s)) {
        ++m_tally.noDepth;
        return 0;
    }
    m_queryPosition[0] = s.x;
    m_queryPosition[1] = s.y;

    if (!m_griddedTargets.empty()) {
        const KIVODescriptor* descriptor = nullptr;
        KIVOGriddedAttributeSet* node = griddedNode(s, descriptor);
        if (!node) {
            countUnplaced(s);
            return 0;
        }
        return place(soundings, s, *node, *descriptor);
    }
    long status = 0;
    NORVAType<KIVOSurfaceIter> iter = m_surface.query(NORVAPointGeometry(m_queryPosition[0], m_queryPosition[1]),
                                                      status, true, nullptr, nullptr, s.depth);
    KIVOAttributeSet* node = nullptr;
    if (iter && status == 0 && !iter->done(status)) node = iter->getAttributes();
    if (!node) {
        countUnplaced(s);
        return 0;
    }
    return place(soundings, s, *node, iter->getAttributeDescriptor());
}

template <class Node>
long KIVOReplaceTool::place(const KIVOPointIter& soundings, const Sounding& s, Node& node,
                            const KIVODescriptor& descriptor) {
    ++m_tally.placed;

    double nodeDepth = DBL_MAX;
    const bool empty = m_depth < 0 || !node.isSet(m_depth) || node.getDoubleValue(m_depth, nodeDepth, false) != 0;
    if (empty) nodeDepth = DBL_MAX;
    long failed = 0;
    if (empty || m_operator == ALL) {
        fill(node, s, failed);
    } else {
        const bool replacing = passes(s.depth, nodeDepth);
        if (replacing) replace(node, s, failed);
        updateStatistics(node, s, failed);
        if (!replacing || failed != 0) return failed;
    }
    // A sounding the node did not take is the caller's to hear of, not a
    // replaced node.
    if (failed == 0) failed = addAdditionalAttributes(soundings, node);
    if (failed != 0) return failed;
    markReplaced(s, node, descriptor, nodeDepth);
    return 0;
}

namespace {

KIVOSurfaceDataIO* unwrapped(KIVOSurfaceDataIO* io) {
    auto* extended = dynamic_cast<KIVOExtendDataIO*>(io);
    return extended ? extended->getDataIO() : io;
}

}  // namespace

// A query per sounding allocates iterators for one node; gridded surfaces,
// alone or as every member of a compound surface without member filters,
// are served the same node straight from the grid. Any other surface goes
// through its query.
void KIVOReplaceTool::findGriddedTargets() {
    KIVOSurfaceDataIO* io = unwrapped(m_surface.getDataIO());
    std::vector<GriddedTarget> targets;
    if (auto* grid = dynamic_cast<KIVOGriddedDataIO*>(io)) {
        targets.push_back(GriddedTarget{grid, -DBL_MAX, DBL_MAX, nullptr});
    } else if (auto* compound = dynamic_cast<KIVOCompoundIO*>(io)) {
        if (compound->getStatus() != 0) return;
        for (const KIVOCompoundIO::DataIORangeEntry& e : compound->getEntries()) {
            auto* member = dynamic_cast<KIVOGriddedDataIO*>(unwrapped(e.dataIO.get()));
            if (!member || e.filter) return;
            targets.push_back(GriddedTarget{member, e.low, e.high, nullptr});
        }
    }
    for (GriddedTarget& t : targets) t.node = std::make_unique<KIVOGriddedAttributeSet>(*t.grid, 0);
    m_griddedTargets = std::move(targets);
}

// The first member whose range holds the depth and whose grid has a node
// under the sounding, as the compound surface's point query would serve it.
KIVOGriddedAttributeSet* KIVOReplaceTool::griddedNode(const Sounding& s, const KIVODescriptor*& descriptor) {
    const double selector = s.depth;
    for (GriddedTarget& t : m_griddedTargets) {
        if (!(t.low <= selector && selector <= t.high) || t.grid->getStatus() != 0) continue;
        int64_t column = 0, row = 0;
        if (t.grid->worldToIndex(s.x, s.y, column, row) != 0) continue;
        t.node->setNode(static_cast<uint64_t>(row) * t.grid->getColumns() + static_cast<uint64_t>(column));
        descriptor = &t.grid->getDescriptor();
        return t.node.get();
    }
    return nullptr;
}

// A sounding within the surface's extent that finds no node is data lost,
// not a sounding that missed the surface: the two are told apart.
void KIVOReplaceTool::countUnplaced(const Sounding& s) {
    const bool within = m_extentMinimum.size() >= 2 && m_extentMaximum.size() >= 2 && s.x >= m_extentMinimum[0] &&
                        s.x <= m_extentMaximum[0] && s.y >= m_extentMinimum[1] && s.y <= m_extentMaximum[1];
    if (within) ++m_tally.noNode;
    else ++m_tally.outside;
}

bool KIVOReplaceTool::passes(float d, double nodeDepth) const {
    switch (m_operator) {
        case LT:
            return d < nodeDepth;
        case GT:
            return d > nodeDepth;
        case EQUAL:
            return compareWithTolerance(d, nodeDepth) == 0;
        case LT_EQ:
            return compareWithTolerance(d, nodeDepth) <= 0;
        case GT_EQ:
            return compareWithTolerance(d, nodeDepth) >= 0;
        default:
            return false;
    }
}

template <class Node>
void KIVOReplaceTool::setPosition(Node& node, long xIndex, long yIndex, const Sounding& s, long& failed) const {
    writeIf(node, xIndex, s.x, failed);
    writeIf(node, yIndex, s.y, failed);
}

template <class Node>
void KIVOReplaceTool::fill(Node& node, const Sounding& s, long& failed) const {
    writeIf(node, m_depth, s.depth, failed);
    setPosition(node, m_depthTrueX, m_depthTrueY, s, failed);
    writeIf(node, m_shoal, s.depth, failed);
    setPosition(node, m_shoalTrueX, m_shoalTrueY, s, failed);
    writeIf(node, m_deep, s.depth, failed);
    setPosition(node, m_deepTrueX, m_deepTrueY, s, failed);
    writeIf(node, m_weight, 1.0f, failed);
    writeIf(node, m_uncertainty, s.verticalError, failed);
    writeIf(node, m_density, 1L, failed);
    writeIf(node, m_stdDev, 0.0f, failed);
    writeIf(node, m_mean, s.depth, failed);
}

template <class Node>
void KIVOReplaceTool::replace(Node& node, const Sounding& s, long& failed) const {
    writeIf(node, m_depth, s.depth, failed);
    setPosition(node, m_depthTrueX, m_depthTrueY, s, failed);
    writeIf(node, m_uncertainty, s.verticalError, failed);
    writeIf(node, m_weight, 1.0f, failed);
}

template <class Node>
void KIVOReplaceTool::updateStatistics(Node& node, const Sounding& s, long& failed) const {
    float value = 0.0f;
    if (m_shoal >= 0 && (!readFloat(node, m_shoal, value) || s.depth < value)) {
        writeIf(node, m_shoal, s.depth, failed);
        setPosition(node, m_shoalTrueX, m_shoalTrueY, s, failed);
    }
    if (m_deep >= 0 && (!readFloat(node, m_deep, value) || s.depth > value)) {
        writeIf(node, m_deep, s.depth, failed);
        setPosition(node, m_deepTrueX, m_deepTrueY, s, failed);
    }
    if (m_density >= 0) updateCount(node, s.depth, failed);
}

// Running sample standard deviation: with n values, previous mean m and
// previous deviation s, s'^2 = s^2 (n-2)/(n-1) + (d-m)^2 / n. The mean
// attribute holds the running sum.
template <class Node>
void KIVOReplaceTool::updateCount(Node& node, float d, long& failed) const {
    long stored = 0;
    if (!node.isSet(m_density) || node.getValue(m_density, stored) != 0) stored = 0;
    const double n = static_cast<double>(stored) + 1.0;
    if (m_mean >= 0) {
        float sum = 0.0f;
        if (!readFloat(node, m_mean, sum)) sum = 0.0f;
        if (m_stdDev >= 0) {
            float sd = 0.0f;
            if (!readFloat(node, m_stdDev, sd)) sd = 0.0f;
            const double previousMean = n > 1.0 ? sum / (n - 1.0) : d;
            const double kept = n > 1.0 ? static_cast<double>(sd) * sd * (n - 2.0) / (n - 1.0) : 0.0;
            const double delta = d - previousMean;
            writeIf(node, m_stdDev, toFloat(std::sqrt(kept + delta * delta / n)), failed);
        }
        writeIf(node, m_mean, toFloat(static_cast<double>(sum) + d), failed);
    }
    const long count = n >= static_cast<double>(INT32_MAX) ? INT32_MAX : static_cast<long>(n);
    writeIf(node, m_density, count, failed);
}

void KIVOReplaceTool::markReplaced(const Sounding& s, KIVOAttributeSet& node, const KIVODescriptor& descriptor,
                                   double nodeDepth) {
    m_replaced = true;
    m_surface.setModified(true);
    if (m_designatedIter)
        m_designatedIter->addDesignated(s.x, s.y, node, descriptor, nodeDepth, KIVODesignatedIter::NOT_DESIGNATED);
}

long KIVOReplaceTool::addAdditionalAttributes(const KIVOPointIter& soundings, KIVOAttributeSet& node) {
    const KIVOSurfaceAttributeTable* table = m_surface.getAttributeInfo();
    if (!table) return 0;
    const KIVODescriptor& descriptor = table->getDescriptor();
    long failed = 0;
    for (const auto& entry : m_attributeMap) {
        const long field = entry.first, target = entry.second;
        if (target < 0) continue;
        switch (descriptor.getAttributeType(target)) {
            case KIVODataType::FLOAT: {
                const float v = toFloat(doubleField(soundings, field, FLT_MAX));
                writeIf(node, target, v, failed);
                break;
            }
            case KIVODataType::USHORT: {
                const unsigned short v = static_cast<unsigned short>(integerField(soundings, field, 65535));
                writeIf(node, target, v, failed);
                break;
            }
            case KIVODataType::SHORT: {
                const short v = static_cast<short>(integerField(soundings, field, 32767));
                writeIf(node, target, v, failed);
                break;
            }
            case KIVODataType::LONG: {
                const long v = integerField(soundings, field, 2147483647L);
                writeIf(node, target, v, failed);
                break;
            }
            case KIVODataType::ULONG: {
                const unsigned long v = static_cast<unsigned long>(integerField(soundings, field, 4294967295L));
                writeIf(node, target, v, failed);
                break;
            }
            case KIVODataType::STRING:
            case KIVODataType::TEXT: {
                NORVAUString v;
                if (soundings.get(field, v) != 0) v = NORVAUString();
                writeIf(node, target, v, failed);
                break;
            }
            case KIVODataType::UCHAR: {
                const unsigned char v = static_cast<unsigned char>(integerField(soundings, field, 255));
                writeIf(node, target, v, failed);
                break;
            }
            default: {
                const double v = doubleField(soundings, field, DBL_MAX);
                writeIf(node, target, v, failed);
                break;
            }
        }
    }
    return failed;
}
