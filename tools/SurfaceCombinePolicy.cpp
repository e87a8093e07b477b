#include "tools/SurfaceCombinePolicy.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <typeinfo>

#include "core/KIVOSurfaceOpen.h"
#include "core/SurfaceAttributeNames.h"
#include "multires/KIVOKestrinAttributeSet.h"
#include "multires/KIVOKestrinDataIO.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOExtendDataIO.h"
#include "platform/frame/KIVOGriddedAttributeSet.h"
#include "platform/frame/KIVOGriddedDataIO.h"
#include "platform/frame/KIVOMemAttributeSet.h"
#include "platform/frame/KIVOSurfaceAttributeTable.h"
#include "platform/frame/KIVOSurfaceMetaData.h"
#include "platform/frame/KIVOSurfaceUtils.h"
#include "platform/proj/NORVACoordSystem.h"
#include "platform/shapes/NORVAPointGeometry.h"

namespace KIVODazavazEdora {

const char* const SurfaceCombinePolicy::kReportFile = ".\\tools\\SurfaceCombinePolicy";

namespace {

namespace names = SurfaceAttributeNames;
using Vector2D = SurfaceCombinePolicy::Vector2D;

// The copy that takes the designated value is the policy's own: a node of a
// tile-store source would otherwise carry the edit into the source.
std::unique_ptr<KIVOAttributeSet> recordedCopy(const KIVOAttributeSet& node) {
    if (const auto* stored = dynamic_cast<const KIVOKestrinAttributeSet*>(&node)) return stored->detachedCopy();
    return node.newCopy();
}

const char* const kHorribleMessage =
    "Something horrible happened. An evil so terrifying I can't even begin to speak of it.";

// A weight below 1 in magnitude truncates to a divisor of 0 for integer
// attributes; dividing is impossible, so copying the node fails.
struct ZeroDivisor : std::runtime_error {
    ZeroDivisor() : std::runtime_error("integer divisor of 0") {}
};

const KIVODescriptor* descriptorOf(const KIVOSurface& surface) {
    const KIVOSurfaceAttributeTable* table = surface.getAttributeInfo();
    return table ? &table->getDescriptor() : nullptr;
}

// The halves are read one by one: loaded as one pair right after the callee
// stored them apart, they would wait for the stores on every node.
Vector2D positionOf(const KIVOSurfaceIter& iter) {
    double x = 0.0, y = 0.0;
    iter.getPosition(x, y, -1);
    return Vector2D(static_cast<const volatile double&>(x), static_cast<const volatile double&>(y));
}

bool isTileStore(const KIVOSurface& surface) {
    const KIVOSurfaceDataIO* io = surface.getDataIO();
    if (const auto* extend = dynamic_cast<const KIVOExtendDataIO*>(io)) io = extend->getDataIO();
    return dynamic_cast<const KIVOKestrinDataIO*>(io) != nullptr;
}

// Moves (x, y) from the source's into the product's coordinate system when
// both have one and they differ; 0 or the transform's status.
long toProduct(const KIVOSurface& source, const KIVOSurface& product, double& x, double& y) {
    const NORVACoordSystem* from = source.getCoordSystem();
    const NORVACoordSystem* to = product.getCoordSystem();
    if (!from || !to || from->isEqual(*to)) return 0;
    return from->transform(*to, x, y);
}

template <class T, class From>
void divideInteger(const From& from, long s, KIVOMemAttributeSet& to, long p, double weight) {
    T value = 0;
    from.getValue(s, value);
    const T divisor = static_cast<T>(static_cast<int64_t>(std::trunc(weight)));
    if (divisor == 0) throw ZeroDivisor();
    const T quotient = static_cast<T>(value / divisor);
    to.setValue(p, quotient);
}

// The source value at s divided by the weight, written to p as the product's
// type. Given the source set's own type, the reads are direct calls.
template <class From>
void copyWeighted(KIVODataType::DATA_TYPE type, const From& from, long s, KIVOMemAttributeSet& to, long p,
                  double weight) {
    switch (type) {
        case KIVODataType::FLOAT: {
            float v = 0.0f;
            from.getValue(s, v);
            // Dividing by 1 changes nothing and costs a division per node.
            to.setValue(p, weight == 1.0 ? v : static_cast<float>(v / weight));
            break;
        }
        case KIVODataType::USHORT: divideInteger<unsigned short, From>(from, s, to, p, weight); break;
        case KIVODataType::SHORT: divideInteger<short, From>(from, s, to, p, weight); break;
        case KIVODataType::LONG: {
            // 32-bit in every stored layout.
            long v = 0;
            from.getValue(s, v);
            const int32_t divisor = static_cast<int32_t>(static_cast<int64_t>(std::trunc(weight)));
            if (divisor == 0) throw ZeroDivisor();
            to.setValue(p, static_cast<long>(static_cast<int32_t>(v) / divisor));
            break;
        }
        case KIVODataType::ULONG: {
            unsigned long v = 0;
            from.getValue(s, v);
            const uint32_t divisor = static_cast<uint32_t>(static_cast<int64_t>(std::trunc(weight)));
            if (divisor == 0) throw ZeroDivisor();
            to.setValue(p, static_cast<unsigned long>(static_cast<uint32_t>(v) / divisor));
            break;
        }
        case KIVODataType::UCHAR: divideInteger<unsigned char, From>(from, s, to, p, weight); break;
        case KIVODataType::STRING:
        case KIVODataType::TEXT: {
            NORVAUString v;
            from.getValue(s, v);
            to.setValue(p, v);
            break;
        }
        default: {  // double, date and time
            double v = 0.0;
            from.getValue(s, v);
            to.setValue(p, weight == 1.0 ? v : v / weight);
            break;
        }
    }
}

// The text at i without a copy where the set can lend it.
const NORVAUString* heldText(const KIVOAttributeSet&, long) { return nullptr; }
const NORVAUString* heldText(const KIVOMemAttributeSet& from, long i) { return from.getText(i); }

// Copies the value at i unchanged, as the product's type; the node's status
// of the write. Given the policy's own set type, the reads are direct calls.
template <class From, class To>
long copyValue(KIVODataType::DATA_TYPE type, const From& from, To& to, long i) {
    switch (type) {
        case KIVODataType::FLOAT: { float v = 0.0f; from.getValue(i, v); return to.setValue(i, v); }
        case KIVODataType::USHORT: { unsigned short v = 0; from.getValue(i, v); return to.setValue(i, v); }
        case KIVODataType::SHORT: { short v = 0; from.getValue(i, v); return to.setValue(i, v); }
        case KIVODataType::LONG: { long v = 0; from.getValue(i, v); return to.setValue(i, v); }
        case KIVODataType::ULONG: { unsigned long v = 0; from.getValue(i, v); return to.setValue(i, v); }
        case KIVODataType::UCHAR: { unsigned char v = 0; from.getValue(i, v); return to.setValue(i, v); }
        case KIVODataType::STRING:
        case KIVODataType::TEXT: {
            if (const NORVAUString* held = heldText(from, i)) return to.setValue(i, *held);
            NORVAUString v;
            from.getValue(i, v);
            return to.setValue(i, v);
        }
        default: { double v = 0.0; from.getValue(i, v); return to.setValue(i, v); }
    }
}

// Writes every set value of `from` to the cleared node; true positions take
// their transformed values. A value the node refuses (a read-only node, a
// full string table) ends the copy with the node's status: counting the node
// as written would lose the value.
template <class From, class To>
long copyNode(const std::vector<KIVODataType::DATA_TYPE>& types, const From& from,
              const std::map<long, double>& moved, To& node) {
    const long count = static_cast<long>(types.size());
    for (long i = 0; i < count; ++i) {
        if (!from.isSet(i)) continue;
        const KIVODataType::DATA_TYPE type = types[i];
        auto m = moved.empty() ? moved.end() : moved.find(i);
        const long rc = m != moved.end() && type == KIVODataType::DOUBLE ? node.setValue(i, m->second)
                                                                          : copyValue(type, from, node, i);
        if (rc != 0) return rc;
    }
    return 0;
}

// copyNode with direct calls on the policy's own sets.
template <class To>
long copyNodeFrom(const std::vector<KIVODataType::DATA_TYPE>& types, const KIVOAttributeSet& from,
                  const std::map<long, double>& moved, To& node) {
    if (typeid(from) == typeid(KIVOMemAttributeSet))
        return copyNode(types, static_cast<const KIVOMemAttributeSet&>(from), moved, node);
    return copyNode(types, from, moved, node);
}

// A stored tile-store node takes its values in one edit of the store rather
// than one per value; an edit the store could not make is the caller's to
// hear of (the node keeps what it held).
long copyIntoStored(const std::vector<KIVODataType::DATA_TYPE>& types, const KIVOAttributeSet& from,
                    const std::map<long, double>& moved, KIVOKestrinAttributeSet& node) {
    const std::unique_ptr<KIVOAttributeSet> edit = node.detachedCopy();
    const long rc = copyNodeFrom(types, from, moved, *edit);
    if (rc != 0) return rc;
    return node.writeFrom(static_cast<const KIVOKestrinAttributeSet&>(*edit));
}

// The source's weight at index w (-1: none).
template <class From>
double weightOf(const From& attributes, long w) {
    if (w < 0 || !attributes.isSet(w)) return 1.0;
    double weight = 1.0;
    if (attributes.getValue(w, weight) != 0) attributes.getDoubleValue(w, weight, true);
    return weight == 0.0 ? 1.0 : weight;
}

// Every mapped source value, weighted, into the product's set.
template <class From, class Copies>
void copySource(const Copies& copies, const From& from, KIVOMemAttributeSet& to) {
    for (const auto& copy : copies) {
        if (!from.isSet(copy.source)) continue;
        copyWeighted(copy.type, from, copy.source, to, copy.product, weightOf(from, copy.weight));
    }
}

// copySource from a gridded node: unweighted floats and doubles, most of
// what a combine copies, are read once from the grid as they stand.
template <class Copies>
void copyGridded(const Copies& copies, const KIVOGriddedAttributeSet& from, KIVOMemAttributeSet& to) {
    const KIVOGriddedDataIO& grid = from.getGrid();
    const uint64_t node = from.getNode();
    for (const auto& copy : copies) {
        const bool plain = copy.weight < 0 && (copy.type == KIVODataType::FLOAT || copy.type == KIVODataType::DOUBLE);
        if (!plain) {
            if (from.isSet(copy.source))
                copyWeighted(copy.type, from, copy.source, to, copy.product, weightOf(from, copy.weight));
            continue;
        }
        double v = 0.0;
        if (grid.getNodeNumber(node, copy.source, v) != 0) continue;  // unset
        if (copy.type == KIVODataType::FLOAT)
            to.setValue(copy.product, static_cast<float>(v));
        else
            to.setValue(copy.product, v);
    }
}

bool findDesignated(const SurfaceCombinePolicy::PositionMap& nodes, const Vector2D& key,
                    SurfaceCombinePolicy::DesignatedInfo& info) {
    auto found = nodes.find(key);
    if (found == nodes.end()) return false;
    info = found->second;
    return true;
}

}  // namespace

bool SurfaceCombinePolicy::PositionKeyLess::operator()(const Vector2D& a, const Vector2D& b) const {
    if (std::fabs(a.x - b.x) > kKeyTolerance) return a.x < b.x;
    if (std::fabs(a.y - b.y) > kKeyTolerance) return a.y < b.y;
    return false;
}

SurfaceCombinePolicy::~SurfaceCombinePolicy() = default;

// ---------------------------------------------------------------- callbacks

long SurfaceCombinePolicy::CreateOutputSurface(Combine::Options& options, NORVAType<KIVOSurface>& product) {
    // Clearing the output must never take a source with it.
    const long clash = Combine::checkOutput(options);
    if (clash != 0)
        return OnError(kReportFile, 94, clash,
                       clash == KIVOSurfaceUtils::kNameTaken ? KIVOSurfaceUtils::kNameTakenMessage
                                                             : "The output surface is one of the sources.");
    NORVAFileUtils::removeFile(options.outputPath);
    Combine::AttributeList attributes = Combine::productAttributes(options.sources);
    // A tile store marks designated soundings in "Status"; without it they
    // could not reach the store.
    if (KIVOSurfaceUtils::getSurfaceType(options.outputPath) == KIVOSurfaceUtils::TILE_STORE) {
        bool hasStatus = false;
        for (const auto& entry : attributes) hasStatus = hasStatus || entry.name == names::kStatus;
        if (!hasStatus) attributes.push_back(KIVODescriptor::AttribEntry(names::kStatus, KIVODataType::LONG));
    }
    long status = 0;
    product = Combine::createOutputSurfaceFromAttributeSubset(options, attributes, status);
    if (product) addProcessMetaData(*product);
    if (status != 0) return OnError(kReportFile, 94, status, "Could not create output surface.");
    return 0;
}

void SurfaceCombinePolicy::AfterStoreProductSurface(KIVOSurface&, const Combine::Options&) {}

long SurfaceCombinePolicy::OnError(const char* file, int line, long rcode, const char* message) {
    std::printf("Error: %s line %d rcode = %d: %s\n", file, line, static_cast<int>(rcode), message);
    return rcode;
}

long SurfaceCombinePolicy::OnException(const char* file, int line, const char* message) {
    std::printf("Unhandled exception: %s line %d: %s\n", file, line, message);
    return 0;
}

long SurfaceCombinePolicy::OnUnresolvableConflict(const char* file, int line, double, double, const char* message) {
    std::printf("Unresolvable conflict: %s line %d: %s\n", file, line, message);
    return 0;
}

// ---------------------------------------------------------------- per node

NORVAType<KIVOSurfaceIter> SurfaceCombinePolicy::getProductIter(KIVOSurface& product, KIVOSurface& source,
                                                                KIVOSurfaceIter& sourceIter, long& status) {
    status = 0;
    Vector2D at = positionOf(sourceIter);
    const SurfacePair* pair = pairOf(product, source);
    if ((!pair || pair->transforming) && (status = toProduct(source, product, at.x, at.y)) != 0)
        return NORVAType<KIVOSurfaceIter>();
    NORVAType<KIVOSurfaceIter> iter;
    if (pair && pair->productGrid) {
        // A gridded product answers a point at once, without a geometry.
        iter = pair->productGrid->queryPoint(at.x, at.y, true, status);
    } else {
        const NORVAPointGeometry point(at.x, at.y);
        // Without a filter the surface and a plain wrapper only pass the query on.
        iter = pair && pair->queryIO ? pair->queryIO->query(point, true, status, nullptr, DBL_MAX)
                                     : product.query(point, status, true, nullptr, nullptr, DBL_MAX);
    }
    if (status != 0) iter.reset();
    return iter;
}

std::unique_ptr<KIVOAttributeSet> SurfaceCombinePolicy::getSurfaceAtts(KIVOSurface& product,
                                                                       KIVOSurfaceIter& productIter,
                                                                       KIVOSurface& source,
                                                                       KIVOSurfaceIter& sourceIter, long& status) {
    status = 0;
    try {
        return resolve(product, productIter, source, sourceIter, status);
    } catch (...) {
        // A node that could not be copied whole is not handed out: writing a
        // part of it would lose the product's values.
        OnException(kReportFile, 827, kHorribleMessage);
        return std::unique_ptr<KIVOAttributeSet>();
    }
}

std::unique_ptr<KIVOAttributeSet> SurfaceCombinePolicy::resolve(KIVOSurface& product, KIVOSurfaceIter& productIter,
                                                                KIVOSurface& source, KIVOSurfaceIter& sourceIter,
                                                                long& status) {
    const SurfacePair* pair = pairOf(product, source);
    const KIVOAttributeSet* sourceNode = sourceIter.getAttributes();
    if (!pair || !pair->sourceLayout || !sourceNode) throw std::runtime_error("no layout or source node");
    // Most nodes of a combine meet neither a designated sounding nor the
    // storing pass; positions are read only where a conflict needs them.
    if (m_storing || (pair->designated && !pair->designated->empty()))
        return resolveDesignated(*pair, product, productIter, source, sourceIter, *sourceNode, status);
    long done = 0;
    const KIVOAttributeSet* productNode = productIter.done(done) ? nullptr : productIter.getAttributes();
    if (productNode && !productNode->isEmpty() &&
        !supersedes(*pair, product, *productNode, positionOf(productIter), source, *sourceNode,
                    positionOf(sourceIter), status))
        return std::unique_ptr<KIVOAttributeSet>();
    return sourceSet(*pair, *sourceNode, false);
}

std::unique_ptr<KIVOAttributeSet> SurfaceCombinePolicy::resolveDesignated(const SurfacePair& pair, KIVOSurface& product,
                                                                          KIVOSurfaceIter& productIter,
                                                                          KIVOSurface& source,
                                                                          KIVOSurfaceIter& sourceIter,
                                                                          const KIVOAttributeSet& sourceAttributes,
                                                                          long& status) {
    const KIVOAttributeSet* sourceNode = &sourceAttributes;
    const bool anyDesignated = pair.designated && !pair.designated->empty();
    const Vector2D sourcePosition = positionOf(sourceIter);
    DesignatedInfo designated;
    const bool sourceDesignated = anyDesignated && findDesignated(*pair.designated, sourcePosition, designated);
    std::unique_ptr<KIVOAttributeSet> recorded;
    if (!m_storing && sourceDesignated && designated.value != DBL_MAX) {
        const long depth = pair.sourceLayout->getAttributeIndex(names::kDepth);
        if (depth >= 0) {
            recorded = recordedCopy(*sourceNode);
            const long result = recorded->setValue(depth, static_cast<float>(designated.value));
            std::printf("%lf %lf %f %d\n", sourcePosition.x, sourcePosition.y, designated.value,
                        static_cast<int>(result));
            sourceNode = recorded.get();
        }
    }

    long done = 0;
    const KIVOAttributeSet* productNode = productIter.done(done) ? nullptr : productIter.getAttributes();
    const bool conflict = productNode && !productNode->isEmpty();
    Vector2D productPosition;
    if (conflict || m_storing) productPosition = positionOf(productIter);
    if (conflict &&
        !supersedes(pair, product, *productNode, productPosition, source, *sourceNode, sourcePosition, status))
        return std::unique_ptr<KIVOAttributeSet>();

    if (m_storing) {
        DesignatedInfo held;
        if (sourceDesignated) {
            Vector2D moved = designated.position;
            toProduct(source, product, moved.x, moved.y);
            AddDesignatedNode(product, productPosition, moved, designated.value, designated.type);
        } else if (IsNodeDesignated(product, productPosition, held)) {
            RemoveDesignatedNode(product, productPosition);
        }
    }
    return sourceSet(pair, *sourceNode, m_storing && sourceDesignated);
}

// The caller's rule on a product node that holds data: true when the source
// node replaces it; false when it stays or the conflict cannot be resolved
// (status from OnUnresolvableConflict).
bool SurfaceCombinePolicy::supersedes(const SurfacePair& pair, KIVOSurface& product,
                                      const KIVOAttributeSet& productNode, const Vector2D& productPosition,
                                      KIVOSurface& source, const KIVOAttributeSet& sourceNode,
                                      const Vector2D& sourcePosition, long& status) {
    // A gridded node's text comes into the one the pair kept from the last
    // conflict, mostly the same text: no copy of it. Taken out for the call,
    // so a rule that comes back here finds none to overwrite.
    const bool gridded = typeid(productNode) == typeid(KIVOGriddedAttributeSet);
    NORVAUString contributor;
    if (gridded) contributor = std::move(pair.heldContributor);
    const bool read = pair.contributor >= 0 && productNode.getValue(pair.contributor, contributor) == 0;
    if (gridded && !read) contributor = NORVAUString();  // a node without one leaves the kept text
    long rule = 0;
    try {
        rule = Supersede(product, productNode, productPosition, contributor, source, sourceNode, sourcePosition,
                         pair.sourceName);
    } catch (...) {
        OnException(kReportFile, 619, "Something horrible happened in Supersede.");
        throw;
    }
    if (gridded) pair.heldContributor = std::move(contributor);
    if (rule <= 0) {
        status = OnUnresolvableConflict(kReportFile, 630, productPosition.x, productPosition.y,
                                        "Conflict unresolvable.");
        return false;
    }
    return rule == 2;
}

// The source node in the product's layout, from a copy of the pair's blank.
std::unique_ptr<KIVOAttributeSet> SurfaceCombinePolicy::sourceSet(const SurfacePair& pair,
                                                                  const KIVOAttributeSet& sourceNode,
                                                                  bool designated) {
    std::unique_ptr<KIVOMemAttributeSet> result(new KIVOMemAttributeSet(*pair.blank));
    if (typeid(sourceNode) == typeid(KIVOGriddedAttributeSet))
        copyGridded(pair.copies, static_cast<const KIVOGriddedAttributeSet&>(sourceNode), *result);
    else
        copySource(pair.copies, sourceNode, *result);
    if (pair.contributor >= 0 && !pair.contributorPreset) result->setValue(pair.contributor, pair.sourceName);
    if (pair.tileStore) markStatus(pair.status, designated, *result);
    return result;
}

// A tile store keeps the designated mark in the node's own "Status" (its
// designated-sounding iterator registers nothing). A node written without a
// status gets 0: an unset one reads as the invalid value, whose bit 30 would
// mark it designated.
void SurfaceCombinePolicy::markStatus(long s, bool designated, KIVOAttributeSet& node) {
    if (s < 0) return;
    double value = 0.0;
    if (node.isSet(s)) node.getDoubleValue(s, value, true);
    long status = static_cast<long>(value);
    if (designated && status >= 0) status |= kDesignatedBit;
    node.setValue(s, status);
}

// Layouts are taken to stay while a surface is open, as the attribute maps
// by source name already take them to.
const SurfaceCombinePolicy::SurfacePair* SurfaceCombinePolicy::findPair(const KIVOSurface& product,
                                                                      const KIVOSurface& source) {
    const KIVOSurfaceDataIO* productIO = product.getDataIO();
    const KIVOSurfaceDataIO* sourceIO = source.getDataIO();
    auto same = [productIO, sourceIO](const SurfacePair& pair) { return isPair(pair, productIO, sourceIO); };
    std::vector<std::unique_ptr<SurfacePair>>& pairs = m_pairs.pairs;
    for (const auto& pair : pairs)
        if (same(*pair)) return m_pairs.last = pair.get();
    if (!descriptorOf(product)) return nullptr;
    m_pairs.last = nullptr;
    pairs.erase(std::remove_if(pairs.begin(), pairs.end(),
                               [](const std::unique_ptr<SurfacePair>& p) {
                                   return p->productAlive.expired() || p->sourceAlive.expired();
                               }),
                pairs.end());
    pairs.push_back(makePair(product, source));
    return m_pairs.last = pairs.back().get();
}

std::unique_ptr<SurfaceCombinePolicy::SurfacePair> SurfaceCombinePolicy::makePair(const KIVOSurface& product,
                                                                                 const KIVOSurface& source) {
    auto pair = std::make_unique<SurfacePair>();
    pair->productIO = product.getDataIO();
    pair->queryIO = product.getDataIO();
    if (pair->queryIO && typeid(*pair->queryIO) == typeid(KIVOExtendDataIO)) {
        KIVOSurfaceDataIO* inner = static_cast<const KIVOExtendDataIO&>(*pair->queryIO).getDataIO();
        if (inner) pair->queryIO = inner;
    }
    if (pair->queryIO && typeid(*pair->queryIO) == typeid(KIVOGriddedDataIO))
        pair->productGrid = static_cast<KIVOGriddedDataIO*>(pair->queryIO);
    pair->sourceIO = source.getDataIO();
    pair->productAlive = product.shareDataIO();
    pair->sourceAlive = source.shareDataIO();
    pair->productLayout = descriptorOf(product);
    pair->sourceLayout = descriptorOf(source);
    pair->sourceName = source.getSourceName();
    const KIVODescriptor& layout = *pair->productLayout;
    for (long i = 0; i < layout.getNumberOfAttributes(); ++i) {
        pair->productTypes.push_back(layout.getAttributeType(i));
        const bool text = pair->productTypes.back() == KIVODataType::STRING ||
                          pair->productTypes.back() == KIVODataType::TEXT;
        (text ? pair->texts : pair->numbers).push_back(i);
        if (layout.getTrueXAttributeIndex(i) >= 0 && layout.getTrueYAttributeIndex(i) >= 0) pair->trueXY.push_back(i);
    }
    pair->contributor = layout.getAttributeIndex(names::kContributor);
    pair->status = layout.getAttributeIndex(names::kStatus);
    pair->tileStore = isTileStore(product);
    const NORVACoordSystem* from = source.getCoordSystem();
    const NORVACoordSystem* to = product.getCoordSystem();
    pair->transforming = from && to && !to->isEqual(*from);
    pair->blank = std::make_unique<KIVOMemAttributeSet>(layout);
    if (!pair->sourceLayout) return pair;
    for (const auto& mapped : attributeMap(layout, *pair->sourceLayout, pair->sourceName))
        pair->copies.push_back({mapped.first, mapped.second, pair->sourceLayout->getModAttributeIndex(mapped.second),
                                pair->productTypes[mapped.first]});
    bool contributorCopied = false;
    for (const SurfacePair::Copy& copy : pair->copies) contributorCopied |= copy.product == pair->contributor;
    if (pair->contributor >= 0 && !contributorCopied)
        pair->contributorPreset = pair->blank->setValue(pair->contributor, pair->sourceName) == 0;
    // Loaded now as on the first designated-node question; a surface that
    // serves none is not asked again.
    DesignatedInfo unused;
    IsNodeDesignated(source, Vector2D(), unused);
    auto entry = m_designated.find(pair->sourceName);
    if (entry != m_designated.end()) pair->designated = &entry->second;
    return pair;
}

const SurfaceCombinePolicy::AttributeMap& SurfaceCombinePolicy::attributeMap(const KIVODescriptor& product,
                                                                            const KIVODescriptor& source,
                                                                            const NORVAUString& sourceName) {
    auto found = m_attributeMaps.find(sourceName);
    if (found != m_attributeMaps.end()) return found->second;
    AttributeMap& map = m_attributeMaps[sourceName];
    for (long p = 0; p < product.getNumberOfAttributes(); ++p) {
        const long s = source.getAttributeIndex(product.getAttributeName(p));
        if (s >= 0 && source.getAttributeType(s) == product.getAttributeType(p)) map[p] = s;
    }
    return map;
}

long SurfaceCombinePolicy::setNode(const KIVOSurface& source, const KIVOAttributeSet& attributes,
                                   KIVOSurface& product, KIVOSurfaceIter& productIter) {
    KIVOAttributeSet* node = productIter.getAttributes();
    if (!node) {
        ++m_nodesLost;
        return kSourceNodeLost;
    }
    const SurfacePair* pair = pairOf(product, source);
    if (!pair) return 0;

    // The policy's own sets in the product's layout, onto a gridded node with
    // no true positions to move: the values go in as they are.
    const bool moving = pair->transforming && !pair->trueXY.empty();
    if (!moving && typeid(*node) == typeid(KIVOGriddedAttributeSet) &&
        typeid(attributes) == typeid(KIVOMemAttributeSet)) {
        const auto& from = static_cast<const KIVOMemAttributeSet&>(attributes);
        if (from.sharesLayout(*pair->blank)) {
            auto& gridNode = static_cast<KIVOGriddedAttributeSet&>(*node);
            const long rc = writeGridNode(*pair, from, gridNode);
            // The product's own grid, or a plain wrapper of it, already tells
            // it is modified: asking the surface again would change nothing.
            if (pair->productGrid != &gridNode.getGrid() || !pair->productGrid->KIVOGriddedDataIO::isModified())
                product.setModified(true);
            return rc;
        }
    }

    // Every transform is done before the node is touched, so a failing one
    // leaves the node as it was.
    std::map<long, double> moved;
    for (size_t k = 0; moving && k < pair->trueXY.size(); ++k) {
        const long i = pair->trueXY[k];
        const long tx = pair->productLayout->getTrueXAttributeIndex(i);
        const long ty = pair->productLayout->getTrueYAttributeIndex(i);
        if (!attributes.isSet(i) || !attributes.isSet(tx) || !attributes.isSet(ty)) continue;
        double x = 0.0, y = 0.0;
        attributes.getValue(tx, x);
        attributes.getValue(ty, y);
        const long rc = source.getCoordSystem()->transform(*product.getCoordSystem(), x, y);
        if (rc != 0) return rc;
        moved[tx] = x;
        moved[ty] = y;
    }
    node->reset();
    long rc = 0;
    if (typeid(*node) == typeid(KIVOGriddedAttributeSet))
        rc = copyNodeFrom(pair->productTypes, attributes, moved, static_cast<KIVOGriddedAttributeSet&>(*node));
    else if (typeid(*node) == typeid(KIVOKestrinAttributeSet)) {
        rc = copyIntoStored(pair->productTypes, attributes, moved, static_cast<KIVOKestrinAttributeSet&>(*node));
        if (rc != 0) return rc;
    } else
        rc = copyNodeFrom(pair->productTypes, attributes, moved, *node);
    // A node cleared and only partly written is still a change.
    product.setModified(true);
    return rc;
}

// A set in the product node's own layout (every slot holds a value its
// attribute's type can take) written straight into a gridded node: the
// numbers as they stand, the texts as held; the blank's contributor by its
// string-table entry. A text the grid cannot take (its string table is
// full) fails the node.
long SurfaceCombinePolicy::writeGridNode(const SurfacePair& pair, const KIVOMemAttributeSet& from,
                                         KIVOGriddedAttributeSet& node) {
    KIVOGriddedDataIO& grid = node.getGrid();
    const uint64_t at = node.getNode();
    grid.clearNode(at);
    for (const long i : pair.numbers) {
        double v = 0.0;
        if (from.getValue(i, v) == 0) grid.setNodeNumber(at, i, v);
    }
    for (const long i : pair.texts) {
        const NORVAUString* text = from.getText(i);
        if (!text) continue;
        // Only on the pair's own product grid, which lives as long as the pair.
        if (i == pair.contributor && &grid == pair.productGrid && text == pair.blank->getText(i)) {
            if (!pair.entryFound) {
                pair.contributorEntry = grid.stringEntry(*text);
                pair.entryFound = true;
            }
            if (grid.setNodeStringEntry(at, i, pair.contributorEntry) == 0) continue;
        }
        const long rc = grid.setNodeText(at, i, *text);
        if (rc != 0) return rc;
    }
    return 0;
}

// ---------------------------------------------------------------- storing

void SurfaceCombinePolicy::BeforeStoreProductSurface(KIVOSurface& product, const Combine::Options&) {
    if (m_nodesLost > 0)
        std::printf("%ld source nodes reached no product node and were left out.\n", m_nodesLost);
    m_storing = true;
    const NORVAUString productName = product.getSourceName();
    // The passes below may load the product's entry; walk a snapshot.
    const std::map<NORVAUString, PositionMap> sources = m_designated;
    for (const auto& entry : sources) {
        if (entry.first.equalsIgnoreCase(productName)) continue;
        long status = 0;
        NORVAType<KIVOSurface> source = KIVOSurfaceUtils::open(entry.first, status);
        if (!source || status != 0) {
            OnError(kReportFile, 179, status != 0 ? status : KIVOSurfaceUtils::kNoDataIO,
                    "Unable to open source surface");
            break;
        }
        if (carryDesignated(product, *source, entry.second) != 0) break;
    }
    m_storing = false;
    registerDesignated(product);
}

long SurfaceCombinePolicy::carryDesignated(KIVOSurface& product, KIVOSurface& source, const PositionMap& nodes) {
    for (const auto& node : nodes) {
        const Vector2D& at = node.second.position;
        double px = at.x, py = at.y;
        long status = toProduct(source, product, px, py);
        NORVAType<KIVOSurfaceIter> productIter;
        if (status == 0)
            productIter = product.query(NORVAPointGeometry(px, py), status, true, nullptr, nullptr, DBL_MAX);
        if (status != 0 || !productIter)
            return OnError(kReportFile, 195, status != 0 ? status : -1, "Unable to query product surface");
        NORVAType<KIVOSurfaceIter> sourceIter =
            source.query(NORVAPointGeometry(at.x, at.y), status, true, nullptr, nullptr, DBL_MAX);
        if (status != 0 || !sourceIter)
            return OnError(kReportFile, 203, status != 0 ? status : -1, "Unable to query source surface");
        std::unique_ptr<KIVOAttributeSet> set = getSurfaceAtts(product, *productIter, source, *sourceIter, status);
        if (!set) continue;
        double x = 0.0, y = 0.0;
        long rc = productIter->getPosition(x, y, -1);
        if (rc != 0) return OnError(kReportFile, 219, rc, "Unable to get query position");
        if ((rc = setNode(source, *set, product, *productIter)) != 0)
            return OnError(kReportFile, 227, rc, "Failed to set node on output surface.");
    }
    return 0;
}

void SurfaceCombinePolicy::registerDesignated(KIVOSurface& product) {
    auto entry = m_designated.find(product.getSourceName());
    KIVOSurfaceDataIO* io = product.getDataIO();
    KIVOSurfaceMetaData* meta = io ? io->getMetaData() : nullptr;
    if (entry == m_designated.end() || !meta) return;
    long status = 0;
    NORVAType<KIVODesignatedIter> iter = meta->getDesignatedIter(*io, status);
    if (!iter || status != 0) return;
    for (const auto& node : entry->second) {
        const DesignatedInfo& info = node.second;
        const long rc = iter->registerDesignated(info.position.x, info.position.y, info.value, info.type);
        if (rc != 0) {
            OnError(kReportFile, 257, rc, "Unable to register designated sounding");
            return;
        }
    }
}

// ---------------------------------------------------------------- designated nodes

bool SurfaceCombinePolicy::LoadDesignatedNodes(const KIVOSurface& surface) {
    KIVOSurfaceDataIO* io = surface.getDataIO();
    KIVOSurfaceMetaData* meta = io ? io->getMetaData() : nullptr;
    if (!meta) return false;
    long status = 0;
    NORVAType<KIVODesignatedIter> iter = meta->getDesignatedIter(*io, status);
    if (!iter) return false;
    KIVOSurface& reading = const_cast<KIVOSurface&>(surface);
    PositionMap nodes;
    long s = 0;
    while (!iter->done(s)) {
        DesignatedInfo info;
        iter->getPosition(info.position.x, info.position.y);
        // The key is the node the sounding lies in; a sounding outside every
        // node keeps its own position.
        Vector2D key = info.position;
        const NORVAPointGeometry point(info.position.x, info.position.y);
        NORVAType<KIVOPointIter> nodeIter = reading.getIterator(&point, nullptr);
        long d = 0;
        if (nodeIter && !nodeIter->done(d)) nodeIter->getPosition(key.x, key.y);
        info.value = iter->getOriginalDepth(s);
        info.type = iter->getType(s);
        nodes.emplace(key, info);
        if (!iter->next(s)) break;
    }
    m_designated[surface.getSourceName()] = nodes;
    return true;
}

bool SurfaceCombinePolicy::IsNodeDesignated(const KIVOSurface& surface, const Vector2D& key, DesignatedInfo& info) {
    auto entry = m_designated.find(surface.getSourceName());
    if (entry == m_designated.end()) {
        if (!LoadDesignatedNodes(surface)) return false;
        entry = m_designated.find(surface.getSourceName());
    }
    auto found = entry->second.find(key);
    if (found == entry->second.end()) return false;
    info = found->second;
    return true;
}

void SurfaceCombinePolicy::AddDesignatedNode(const KIVOSurface& surface, const Vector2D& key,
                                             const Vector2D& position, double value, DesignatedType& type) {
    auto entry = m_designated.find(surface.getSourceName());
    if (entry == m_designated.end()) {
        if (!LoadDesignatedNodes(surface)) return;
        entry = m_designated.find(surface.getSourceName());
    }
    DesignatedInfo info;
    info.type = type;
    info.position = position;
    info.value = value;
    auto found = entry->second.find(key);
    if (found == entry->second.end()) {
        std::printf("Adding designated sounding: %lf, %lf, %lf\n", key.x, key.y, value);
        entry->second.emplace(key, info);
    } else {
        std::printf("Replacing designated sounding: %lf, %lf, %lf with %lf\n", key.x, key.y, found->second.value,
                    value);
        found->second = info;
    }
}

void SurfaceCombinePolicy::RemoveDesignatedNode(const KIVOSurface& surface, const Vector2D& key) {
    auto entry = m_designated.find(surface.getSourceName());
    if (entry == m_designated.end()) return;
    auto found = entry->second.find(key);
    if (found == entry->second.end()) {
        std::printf("*** WARNING ***: Unable to remove designated sounding: %lf, %lf\n", key.x, key.y);
        return;
    }
    std::printf("Removing designated sounding: %lf, %lf\n", key.x, key.y);
    entry->second.erase(found);
}

long SurfaceCombinePolicy::GetDesignatedNodeOriginalValue(const KIVOSurface& surface, const Vector2D& key,
                                                          double& value) {
    auto entry = m_designated.find(surface.getSourceName());
    if (entry == m_designated.end()) return -1;
    auto found = entry->second.find(key);
    if (found == entry->second.end()) return -2;
    value = found->second.value;
    return 0;
}

void SurfaceCombinePolicy::addProcessMetaData(KIVOSurface& surface) {
    KIVOSurfaceMetaData* meta = surface.getMetaData();
    if (!meta) return;
    KIVOProcessRecord record;
    record.name = "Combine";
    meta->setProcessRecord(record);
}

}  // namespace KIVODazavazEdora
