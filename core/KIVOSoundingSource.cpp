#include "core/KIVOSoundingSource.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/KIVOSurface.h"
#include "core/SurfaceAttributeNames.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/frame/KIVOResourceManager.h"

namespace {
const double kAnyResolution = DBL_MAX;
const double kNoDepth = DBL_MAX;
const int32_t kNoFlag = 0;
const long kNoPositionAttribute = -1;
// What one served sounding costs the caller's set.
const uint64_t kBytesPerSounding = sizeof(ORTIN_3_12_0::SoundingRecord);

// A surface without an attribute table still gets an attribute source, one
// that knows no attribute, so that any expression naming one fails to compile.
const KIVOMemDescriptor kNoAttributes;

// A rejected node or sounding has a status that reads as a negative 32-bit
// word. Formats that keep the status as a signed or floating value refuse to
// give a negative one as unsigned, so those are read as doubles and cut
// toward zero, the way the accepted-status filter reads them.
bool isRejected(const KIVOAttributeSet* attributes, long statusIndex) {
    if (!attributes || statusIndex < 0 || !attributes->isSet(statusIndex)) return false;
    unsigned long word = 0;
    if (attributes->getValue(statusIndex, word) == 0) return static_cast<int32_t>(static_cast<uint32_t>(word)) < 0;
    double value = 0.0;
    if (attributes->getDoubleValue(statusIndex, value, false) != 0) return false;
    return !(std::trunc(value) >= 0.0);
}

double extent(double low, double high) {
    const double w = high - low;
    return w > 0.0 ? w : 0.0;
}

unsigned long saturatingCount(double n) {
    const double limit = static_cast<double>(std::numeric_limits<unsigned long>::max());
    if (!(n >= 0.0)) return 0;
    return n >= limit ? std::numeric_limits<unsigned long>::max() : static_cast<unsigned long>(n);
}

uint64_t saturatingBytes(unsigned long count) {
    const uint64_t n = count;
    return n > std::numeric_limits<uint64_t>::max() / kBytesPerSounding ? std::numeric_limits<uint64_t>::max()
                                                                         : n * kBytesPerSounding;
}
}  // namespace

// Where served soundings go: the suppressed-sounding set or the vector of
// soundings with attributes.
class KIVOSoundingSource::SoundingSink {
public:
    virtual ~SoundingSink() = default;
    // The attribute whose position a node is served at (-1: the node's own).
    virtual long positionIndex() const = 0;
    virtual void add(double x, double y, double z, double originalDepth, const KIVOAttributeSet* attributes) = 0;
};

class KIVOSoundingSource::SetSink : public SoundingSink {
public:
    SetSink(SoundingSet& set, unsigned long group, long activeIndex)
        : m_set(set), m_group(group), m_activeIndex(activeIndex) {}
    long positionIndex() const override { return m_activeIndex; }
    // A sounding the set's scaler cannot hold is left out rather than
    // written as a wrong position.
    void add(double x, double y, double z, double, const KIVOAttributeSet*) override {
        if (m_set.setSounding(m_next, x, y, z, static_cast<uintptr_t>(m_group), kNoFlag) == 0) ++m_next;
    }

private:
    SoundingSet& m_set;
    unsigned long m_group;
    long m_activeIndex;
    size_t m_next = 0;
};

class KIVOSoundingSource::VectorSink : public SoundingSink {
public:
    VectorSink(std::vector<SoundingWithAttsStruct>& out, const std::vector<long>& extraIndices)
        : m_out(out), m_extraIndices(extraIndices) {
        m_out.clear();
    }
    long positionIndex() const override { return kNoPositionAttribute; }
    // An extra value that does not read stays 0.0.
    void add(double x, double y, double z, double originalDepth, const KIVOAttributeSet* attributes) override {
        SoundingWithAttsStruct s;
        s.position = NORVACompGeom::NORVAVector3D(x, y, z);
        s.originalDepth = originalDepth;
        s.extra.assign(m_extraIndices.size(), 0.0);
        for (size_t i = 0; attributes && i < m_extraIndices.size(); ++i) {
            double value = 0.0;
            if (attributes->getDoubleValue(m_extraIndices[i], value, false) == 0) s.extra[i] = value;
        }
        m_out.push_back(std::move(s));
    }

private:
    std::vector<SoundingWithAttsStruct>& m_out;
    const std::vector<long>& m_extraIndices;
};

KIVOSoundingSource::KIVOSoundingSource(KIVOSurface& surface, const NORVAUString& activeAttribute,
                                       bool includeDesignated, const NORVACover* cover)
    : NORVASoundingSource(surface.getCoordSystem()),
      m_surface(&surface),
      m_activeName(activeAttribute),
      m_includeDesignated(includeDesignated) {
    const long index = indexOf(activeAttribute);
    m_activeIndex = index < 0 ? 0 : index;
    if (!cover) return;
    const NORVACoordSystem* cs = getCoordSystem();
    if (!cs) {
        m_cover = cover->newCopy();
        return;
    }
    long status = 0;
    m_cover = cover->transformTo(*cs, status);
    if (status != 0 || !m_cover) {
        m_cover.reset();
        m_status = status != 0 ? status : -1;
    }
}

KIVOSoundingSource::KIVOSoundingSource(const KIVOSoundingSource& o)
    : NORVASoundingSource(o),
      m_surface(o.m_surface),
      m_activeName(o.m_activeName),
      m_activeIndex(o.m_activeIndex),
      m_extraIndices(o.m_extraIndices),
      m_filterExpression(o.m_filterExpression),
      m_includeDesignated(o.m_includeDesignated),
      m_exactCount(o.m_exactCount) {
    if (o.m_cover) m_cover = o.m_cover->newCopy();
}

KIVOSoundingSource::~KIVOSoundingSource() = default;

NORVAType<ORTIN_3_12_0::NORVASoundingSource> KIVOSoundingSource::newCopy() const {
    return NORVAType<NORVASoundingSource>(new KIVOSoundingSource(*this));
}

const KIVODescriptor* KIVOSoundingSource::getDescriptor() const {
    const KIVOSurfaceAttributeTable* table = m_surface->getAttributeInfo();
    return table ? &table->getDescriptor() : nullptr;
}

long KIVOSoundingSource::indexOf(const NORVAUString& name) const {
    const KIVODescriptor* descriptor = getDescriptor();
    return descriptor ? descriptor->getAttributeIndex(name) : -1;
}

void KIVOSoundingSource::setFilterExpression(const NORVAUString& expression) {
    if (expression != m_filterExpression) dropFilter();
    m_filterExpression = expression;
}

void KIVOSoundingSource::setExtraAtts(const std::vector<NORVAUString>& names) {
    for (const NORVAUString& name : names) {
        const long index = indexOf(name);
        if (index >= 0) m_extraIndices.push_back(index);
    }
}

ORTIN_3_12_0::NORVASoundingSource::Box KIVOSoundingSource::getCover() const {
    const NORVAArray<double> mn = m_surface->getMinimum();
    const NORVAArray<double> mx = m_surface->getMaximum();
    if (mn.size() < 2 || mx.size() < 2) return Box();
    Box box(NORVAPoint2D(mn[0], mn[1]), NORVAPoint2D(mx[0], mx[1]));
    if (!m_cover) return box;
    const Box& cover = m_cover->getBox();
    for (size_t d = 0; d < 2; ++d) {
        box.minimum()[d] = std::max(box.getMinimum()[d], cover.getMinimum()[d]);
        box.maximum()[d] = std::min(box.getMaximum()[d], cover.getMaximum()[d]);
    }
    return box;
}

unsigned long KIVOSoundingSource::estimateCount(const Box& box) const {
    const KIVOSurfaceMetaData* meta = m_surface->getMetaData();
    double rx = 0.0, ry = 0.0;
    if (!meta || meta->getResolution(rx, ry) != 0) return 0;
    if (!(std::isfinite(rx) && rx > 0.0 && std::isfinite(ry) && ry > 0.0)) return 0;
    const double columns = extent(box.getMinimum()[0], box.getMaximum()[0]) / rx + 1.0;
    const double rows = extent(box.getMinimum()[1], box.getMaximum()[1]) / ry + 1.0;
    return saturatingCount(columns * rows);
}

unsigned long KIVOSoundingSource::getSoundingCount(const Box& box, long& status) const {
    status = 0;
    if (!m_exactCount) return estimateCount(box);
    NORVAType<KIVOSurfaceIter> iter = queryNodes(box, status);
    if (!iter || status != 0) return 0;
    unsigned long count = 0;
    long iterStatus = 0;
    while (!iter->done(iterStatus)) {
        const KIVOAttributeSet* attributes = iter->getAttributes();
        if (attributes && attributes->isSet(m_activeIndex)) ++count;
        iter->next(iterStatus);
    }
    return count;
}

KIVOSoundingSource::Group KIVOSoundingSource::groupOf(unsigned long group) const {
    if (group == 0) return m_includeDesignated ? DESIGNATED_GROUP : NODE_GROUP;
    if (group == 1 && m_includeDesignated) return NODE_GROUP;
    return NO_GROUP;
}

void KIVOSoundingSource::dropFilter() {
    m_evaluator.reset();
    m_attributes.reset();
}

// An expression that does not compile leaves no evaluator behind, so the next
// call compiles it again and fails again instead of filtering with nothing.
long KIVOSoundingSource::compileFilter() {
    if (m_filterExpression.isEmpty() || m_evaluator) return 0;
    const KIVODescriptor* descriptor = getDescriptor();
    m_attributes = std::make_unique<NORVAExpression::KIVOAttributeInterface>(descriptor ? *descriptor : kNoAttributes);
    m_evaluator =
        std::make_unique<NORVAExpression::ExpressionEvaluator>(NORVAExpression::ExpressionEvaluator::BOOLEAN);
    const long status = m_evaluator->set(m_filterExpression, *m_attributes);
    if (status != 0) dropFilter();
    return status;
}

bool KIVOSoundingSource::passesFilter(const KIVOAttributeSet* attributes) {
    if (!m_evaluator) return true;
    m_attributes->setAttributes(attributes);
    bool result = false;
    m_evaluator->evaluate(*m_attributes, result);
    m_attributes->setAttributes(nullptr);
    return result;
}

// Takes the set's bytes from the shared budget; when even freeing the
// caches of open surfaces does not make room, the soundings are served anyway.
void KIVOSoundingSource::takeFromBudget(unsigned long estimate) const {
    KIVOResourceManager& budget = KIVOResourceManager::m_instance;
    KIVOResourceManager::Lock lock = budget.hold();
    const uint64_t bytes = saturatingBytes(estimate);
    if (bytes > budget.m_available) {
        budget.flush(nullptr);
        if (bytes > budget.m_available) {
            budget.flush(nullptr);
            return;
        }
    }
    budget.m_available -= static_cast<uint32_t>(bytes);
}

long KIVOSoundingSource::serveDesignated(long statusIndex, const Box& box, SoundingSink& sink) {
    KIVOSurfaceMetaData* meta = m_surface->getMetaData();
    KIVOSurfaceDataIO* dataIO = m_surface->getDataIO();
    if (!meta || !dataIO) return 0;
    long status = 0;
    NORVAType<KIVODesignatedIter> iter = meta->getDesignatedIter(*dataIO, status);
    if (!iter) return status;
    if (iter->getStatus() != 0) return iter->getStatus();
    if (status != 0) return status;
    while (!iter->done(status)) {
        long readStatus = 0;
        const KIVOAttributeSet* attributes = iter->get(readStatus);
        if (readStatus != 0) attributes = nullptr;
        double x = 0.0, y = 0.0;
        if (passesFilter(attributes) && !isRejected(attributes, statusIndex) && iter->getPosition(x, y) == 0 &&
            box.contains(NORVAPoint2D(x, y))) {
            const double depth = iter->getDepth(readStatus);
            if (readStatus == 0) {
                double original = iter->getOriginalDepth(readStatus);
                if (readStatus != 0) original = kNoDepth;
                sink.add(x, y, depth, original, attributes);
            }
        }
        iter->next(status);
    }
    return status;
}

long KIVOSoundingSource::serveNodes(long statusIndex, KIVOSurfaceIter& iter, SoundingSink& sink) {
    long status = 0;
    const long positionIndex = sink.positionIndex();
    while (!iter.done(status)) {
        const KIVOAttributeSet* attributes = iter.getAttributes();
        double x = 0.0, y = 0.0, value = 0.0;
        if (passesFilter(attributes) && attributes && attributes->isSet(m_activeIndex) &&
            !isRejected(attributes, statusIndex) && iter.getPosition(x, y, positionIndex) == 0 &&
            attributes->getDoubleValue(m_activeIndex, value, false) == 0)
            sink.add(x, y, value, kNoDepth, attributes);
        iter.next(status);
    }
    return status;
}

NORVAType<KIVOSurfaceIter> KIVOSoundingSource::queryNodes(const Box& box, long& status) const {
    status = 0;
    if (box.isEmpty()) return NORVAType<KIVOSurfaceIter>();
    return m_surface->query(box.getMinimum()[0], box.getMinimum()[1], box.getMaximum()[0], box.getMaximum()[1],
                            status, false, nullptr, nullptr, kAnyResolution);
}

long KIVOSoundingSource::getSoundings(const unsigned long& group, const Box& box, SoundingSet& set) {
    const long statusIndex = indexOf(SurfaceAttributeNames::kStatus);
    const long compiled = compileFilter();
    if (compiled != 0) return compiled;
    const unsigned long estimate = estimateCount(box);
    SetSink sink(set, group, m_activeIndex);
    const Group which = groupOf(group);
    if (which == DESIGNATED_GROUP) return serveDesignated(statusIndex, box, sink);
    if (which != NODE_GROUP) return 0;
    long status = 0;
    NORVAType<KIVOSurfaceIter> iter = queryNodes(box, status);
    if (!iter || status != 0) return status;
    takeFromBudget(estimate);
    return serveNodes(statusIndex, *iter, sink);
}

long KIVOSoundingSource::getSoundings(const unsigned long& group, const Box& box,
                                      std::vector<SoundingWithAttsStruct>& soundings) {
    const long statusIndex = indexOf(SurfaceAttributeNames::kStatus);
    const long compiled = compileFilter();
    if (compiled != 0) return compiled;
    VectorSink sink(soundings, m_extraIndices);
    const Group which = groupOf(group);
    if (which == NO_GROUP) return 0;
    if (which == DESIGNATED_GROUP) return serveDesignated(statusIndex, box, sink);
    long status = 0;
    NORVAType<KIVOSurfaceIter> iter = queryNodes(box, status);
    if (!iter || status != 0) return status;
    return serveNodes(statusIndex, *iter, sink);
}
