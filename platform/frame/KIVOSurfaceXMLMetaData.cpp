#include "platform/frame/KIVOSurfaceXMLMetaData.h"

#include <cmath>
#include <cstdlib>
#include <ostream>

#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/pathkit/PathUtilities.h"
#include "platform/proj/NORVACoordSystem.h"

namespace {

// Metadata files sit beside surfaces whose names may hold dots.
const bool kXMLExtensionKnown = (PathUtilities::addKnownExtension(".xml"), true);

const char* const kRoot = "KIVOSurfaceMetaData";
const char* const kLayoutVersion = "1";

// Elements this class writes; everything else under the root (the display
// blocks above all) belongs to other code and is left as it is.
const char* const kOwned[] = {"AttributeTable", "CoordSystem",       "Geometry",   "ResolutionTable",
                              "SourceRecord",   "ProcessRecord",     "DescriptiveFields", "Processing",
                              "MetaBlocks"};

using Doc = NORVAXMLDocument;

NORVAUString xmlPathFor(const NORVAUString& path) {
    if (path.isEmpty() || path.endsWithIgnoreCase(".xml")) return path;
    NORVAUString drive, folder, name;
    PathUtilities::parsePath(path, &drive, &folder, &name, nullptr);
    return drive + folder + name + ".xml";
}

NORVAUString number(double v) { return NORVAUString::formatDouble(v); }

// strtod rather than parseDouble: subnormal values must read back too.
bool toNumber(const NORVAUString& text, double& out) {
    const std::string s = text.trimmed().toUTF8();
    if (s.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size()) return false;
    out = v;
    return true;
}

// Whole-text integer within 32 bits; false otherwise.
bool toInt32(const NORVAUString& text, int32_t& out) {
    long v = 0;
    if (!text.parseLong(v)) return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool toUInt32(const NORVAUString& text, uint32_t& out) {
    double v = 0.0;
    if (!toNumber(text, v) || !(v >= 0.0 && v <= 4294967295.0) || v != std::floor(v)) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

NORVAUString attr(xmlNodePtr node, const char* name) {
    NORVAUString v;
    Doc::getAttribute(node, name, v);
    return v;
}

// A required numeric property; false when absent or not a number.
bool numberAttr(xmlNodePtr node, const char* name, double& out) {
    NORVAUString v;
    return Doc::getAttribute(node, name, v) == Doc::XML_OK && toNumber(v, out);
}

bool isTextType(int32_t type) { return type == KIVODataType::STRING || type == KIVODataType::TEXT; }

void putBound(xmlNodePtr node, const char* name, const KIVOAttributeSet& set, long index, int32_t type) {
    if (!set.isSet(index)) return;
    if (isTextType(type)) {
        NORVAUString v;
        if (set.getValue(index, v) == 0) Doc::setAttribute(node, name, v);
        return;
    }
    double v = 0.0;
    if (set.getDoubleValue(index, v, false) == 0) Doc::setAttribute(node, name, number(v));
}

bool getBound(xmlNodePtr node, const char* name, KIVOAttributeSet& set, long index, int32_t type) {
    NORVAUString text;
    if (Doc::getAttribute(node, name, text) != Doc::XML_OK) return true;
    if (isTextType(type)) return set.setValue(index, text) == 0;
    double v = 0.0;
    return toNumber(text, v) && set.setValue(index, v) == 0;
}

void writeEntry(xmlNodePtr parent, const KIVODescriptor::AttribEntry& e, const KIVOMetaAttribute& meta, long i) {
    xmlNodePtr n = Doc::addChild(parent, "Attribute");
    Doc::setAttribute(n, "name", e.name);
    Doc::setAttribute(n, "type", NORVAUString::formatLong(e.type));
    Doc::setAttribute(n, "modName", e.modName);
    Doc::setAttribute(n, "modIndex", NORVAUString::formatLong(e.modIndex));
    Doc::setAttribute(n, "offset", NORVAUString::formatLong(e.offset));
    Doc::setAttribute(n, "length", NORVAUString::formatLong(e.length));
    Doc::setAttribute(n, "trueXName", e.trueXName);
    Doc::setAttribute(n, "trueXIndex", NORVAUString::formatLong(e.trueXIndex));
    Doc::setAttribute(n, "trueYName", e.trueYName);
    Doc::setAttribute(n, "trueYIndex", NORVAUString::formatLong(e.trueYIndex));
    Doc::setAttribute(n, "unitKey", e.unitKey);
    Doc::setAttribute(n, "unitDirection", e.unitDirection);
    Doc::setAttribute(n, "kind", NORVAUString::formatLong(e.kind));
    Doc::setAttribute(n, "extra", e.extra);
    putBound(n, "minimum", meta.getMinimum(), i, e.type);
    putBound(n, "maximum", meta.getMaximum(), i, e.type);
}

bool readEntry(xmlNodePtr n, KIVODescriptor::AttribEntry& e) {
    e.name = attr(n, "name");
    e.modName = attr(n, "modName");
    e.trueXName = attr(n, "trueXName");
    e.trueYName = attr(n, "trueYName");
    e.unitKey = attr(n, "unitKey");
    e.unitDirection = attr(n, "unitDirection");
    e.extra = attr(n, "extra");
    return !e.name.isEmpty() && toInt32(attr(n, "type"), e.type) && toInt32(attr(n, "modIndex"), e.modIndex) &&
           toUInt32(attr(n, "offset"), e.offset) && toUInt32(attr(n, "length"), e.length) &&
           toInt32(attr(n, "trueXIndex"), e.trueXIndex) && toInt32(attr(n, "trueYIndex"), e.trueYIndex) &&
           toInt32(attr(n, "kind"), e.kind);
}

}  // namespace

KIVOSurfaceXMLMetaData::KIVOSurfaceXMLMetaData(const NORVAUString& path) : m_fileName(xmlPathFor(path)) {
    m_table = std::make_unique<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(KIVOMemDescriptor()));
    startDocument();
    m_status = read();
}

KIVOSurfaceXMLMetaData::KIVOSurfaceXMLMetaData(NORVAType<KIVOSurfaceAttributeTable> table, const NORVAUString& path)
    : m_fileName(xmlPathFor(path)), m_table(table.toUnique()) {
    if (!m_table) m_table = std::make_unique<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(KIVOMemDescriptor()));
    startDocument();
    m_status = m_document->getStatus();
}

KIVOSurfaceXMLMetaData::KIVOSurfaceXMLMetaData(const KIVOSurfaceXMLMetaData& o)
    : KIVOSurfaceMetaData(o),
      m_fileName(o.m_fileName),
      m_table(std::make_unique<KIVOSurfaceAttributeTable>(*o.m_table)),
      m_document(std::make_unique<NORVAXMLDocument>()),
      m_coordStatus(o.m_coordStatus),
      m_lowerLeftX(o.m_lowerLeftX),
      m_lowerLeftY(o.m_lowerLeftY),
      m_width(o.m_width),
      m_height(o.m_height),
      m_resolution(o.m_resolution),
      m_tableAttribute(o.m_tableAttribute),
      m_resolutionTable(o.m_resolutionTable),
      m_processing(o.m_processing),
      m_blocks(o.m_blocks) {
    for (int i = 0; i < 3; ++i) m_coordStrings[i] = o.m_coordStrings[i];
    if (o.m_coordSystem) m_coordSystem = std::make_unique<NORVACoordSystem>(*o.m_coordSystem);
    // The document cannot be copied node by node through its interface, so
    // it travels as text; a failure leaves the copy with a fresh document.
    NORVAUString text;
    if (o.m_document->saveToString(text) != NORVAXMLDocument::XML_OK || m_document->loadFromBuffer(text) != 0)
        startDocument();
}

KIVOSurfaceXMLMetaData::~KIVOSurfaceXMLMetaData() = default;

NORVAType<KIVOSurfaceXMLMetaData> KIVOSurfaceXMLMetaData::newCopy() const {
    return makeNORVAType<KIVOSurfaceXMLMetaData>(*this);
}

void KIVOSurfaceXMLMetaData::startDocument() {
    m_document = std::make_unique<NORVAXMLDocument>(NORVAUString(kRoot));
    Doc::setAttribute(m_document->getRoot(), "version", kLayoutVersion);
}

long KIVOSurfaceXMLMetaData::setCoordSystemString(const NORVAUString& s1, const NORVAUString& s2,
                                                  const NORVAUString& s3) {
    auto cs = std::make_unique<NORVACoordSystem>(s1, s2, s3);
    if (cs->getStatus() != 0) return cs->getStatus();
    m_coordStrings[0] = s1;
    m_coordStrings[1] = s2;
    m_coordStrings[2] = s3;
    m_coordSystem = std::move(cs);
    m_coordStatus = 0;
    return 0;
}

void KIVOSurfaceXMLMetaData::getCoordSystemString(NORVAUString& s1, NORVAUString& s2, NORVAUString& s3) const {
    s1 = m_coordStrings[0];
    s2 = m_coordStrings[1];
    s3 = m_coordStrings[2];
}

long KIVOSurfaceXMLMetaData::buildCoordSystem() {
    m_coordSystem.reset();
    if (m_coordStrings[0].isEmpty() && m_coordStrings[1].isEmpty() && m_coordStrings[2].isEmpty())
        return NORVACoordSystem::CS_UNDEFINED;
    auto cs = std::make_unique<NORVACoordSystem>(m_coordStrings[0], m_coordStrings[1], m_coordStrings[2]);
    if (cs->getStatus() != 0) return cs->getStatus();
    m_coordSystem = std::move(cs);
    return 0;
}

long KIVOSurfaceXMLMetaData::setDimensions(double width, double height) {
    if (!(width >= 0.0 && height >= 0.0) || !std::isfinite(width) || !std::isfinite(height))
        return XML_META_BAD_VALUE;
    m_width = width;
    m_height = height;
    return 0;
}

long KIVOSurfaceXMLMetaData::setLowerLeft(double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y)) return XML_META_BAD_VALUE;
    m_lowerLeftX = x;
    m_lowerLeftY = y;
    return 0;
}

void KIVOSurfaceXMLMetaData::getLowerLeft(double& x, double& y) const {
    x = m_lowerLeftX;
    y = m_lowerLeftY;
}

long KIVOSurfaceXMLMetaData::setResolution(double resolution) {
    if (!(resolution >= 0.0) || !std::isfinite(resolution)) return XML_META_BAD_VALUE;
    m_resolution = resolution;
    return 0;
}

long KIVOSurfaceXMLMetaData::setResolutionTable(const NORVAUString& attribute, const KIVOResolutionTable& table) {
    m_tableAttribute = attribute;
    m_resolutionTable = table;
    return 0;
}

long KIVOSurfaceXMLMetaData::setFileName(const NORVAUString& path) {
    m_fileName = xmlPathFor(path);
    return 0;
}

long KIVOSurfaceXMLMetaData::getResolution(double& x, double& y) const {
    x = m_resolution;
    y = m_resolution;
    return 0;
}

long KIVOSurfaceXMLMetaData::getResolutionTable(NORVAUString& attribute, KIVOResolutionTable& table) const {
    attribute = m_tableAttribute;
    table = m_resolutionTable;
    return 0;
}

const NORVACoordSystem* KIVOSurfaceXMLMetaData::getCoordSystem(long& status) const {
    if (m_coordSystem) {
        status = 0;
        return m_coordSystem.get();
    }
    status = m_coordStatus != 0 ? m_coordStatus : static_cast<long>(NORVACoordSystem::CS_UNDEFINED);
    return nullptr;
}

long KIVOSurfaceXMLMetaData::getCover(double& minX, double& minY, double& maxX, double& maxY) const {
    minX = m_lowerLeftX;
    minY = m_lowerLeftY;
    maxX = m_lowerLeftX + m_width;
    maxY = m_lowerLeftY + m_height;
    return 0;
}

long KIVOSurfaceXMLMetaData::getDimensions(double& width, double& height) const {
    width = m_width;
    height = m_height;
    return 0;
}

void KIVOSurfaceXMLMetaData::print(std::ostream& os) const {
    os << "KIVOSurfaceXMLMetaData(" << m_fileName << ", lower-left " << m_lowerLeftX << " " << m_lowerLeftY
       << ", size " << m_width << " x " << m_height << ", resolution " << m_resolution << ", "
       << m_table->getNumAttributes() << " attributes, status " << m_status << ")";
}

// ---------------------------------------------------------------- writing

namespace {

void writeAttributeTable(xmlNodePtr root, const KIVOSurfaceAttributeTable& table) {
    xmlNodePtr node = Doc::addChild(root, "AttributeTable");
    const KIVOMetaAttribute& meta = table.getMetaAttribute();
    const std::vector<KIVODescriptor::AttribEntry> entries = meta.getDescriptor().getAttributeEntries();
    for (size_t i = 0; i < entries.size(); ++i) writeEntry(node, entries[i], meta, static_cast<long>(i));
}

void writeSource(xmlNodePtr root, const KIVOSourceRecord& r) {
    xmlNodePtr node = Doc::addChild(root, "SourceRecord");
    Doc::setAttribute(node, "firstTime", number(r.firstTime));
    Doc::setAttribute(node, "lastTime", number(r.lastTime));
    for (const KIVOSourceItem& item : r.items) {
        xmlNodePtr n = Doc::addChild(node, "Item");
        Doc::setAttribute(n, "key", item.key);
        Doc::setAttribute(n, "value", item.value);
        Doc::setAttribute(n, "number", number(item.number));
    }
}

void writePairs(xmlNodePtr node, const char* element,
                const std::vector<std::pair<NORVAUString, NORVAUString>>& pairs) {
    for (const auto& p : pairs) {
        xmlNodePtr n = Doc::addChild(node, element);
        Doc::setAttribute(n, "key", p.first);
        Doc::setAttribute(n, "value", p.second);
    }
}

void writeFields(xmlNodePtr root, const KIVODescriptiveFields& f) {
    xmlNodePtr node = Doc::addChild(root, "DescriptiveFields");
    Doc::setAttribute(node, "creationDate", f.creationDate);
    Doc::setAttribute(node, "creationTime", f.creationTime);
    Doc::setAttribute(node, "text1", f.text1);
    Doc::setAttribute(node, "text2", f.text2);
    Doc::setAttribute(node, "text3", f.text3);
    Doc::setAttribute(node, "comments", f.comments);
}

void writeBlocks(xmlNodePtr root, const std::vector<KIVOMetaBlock>& blocks) {
    xmlNodePtr node = Doc::addChild(root, "MetaBlocks");
    for (const KIVOMetaBlock& b : blocks) {
        xmlNodePtr bn = Doc::addChild(node, "Block");
        Doc::setAttribute(bn, "name", b.name);
        for (const KIVOMetaItem& item : b.items) {
            xmlNodePtr in = Doc::addChild(bn, "Item");
            Doc::setAttribute(in, "name", item.name);
            writePairs(in, "Value", {item.values.begin(), item.values.end()});
        }
    }
}

// Blank text left by an earlier indented save is dropped too, so that the
// file is indented afresh instead of keeping stray whitespace.
void removeOwned(xmlNodePtr root) {
    for (const char* name : kOwned)
        for (xmlNodePtr n : Doc::getChildren(root, name)) Doc::removeNode(n);
    for (xmlNodePtr n = root->children; n;) {
        xmlNodePtr next = n->next;
        if (n->type == XML_TEXT_NODE && xmlIsBlankNode(n)) Doc::removeNode(n);
        n = next;
    }
}

}  // namespace

long KIVOSurfaceXMLMetaData::store() {
    if (m_fileName.isEmpty()) return XML_META_CANNOT_OPEN;
    xmlNodePtr root = m_document->getRoot();
    if (!root) return XML_META_WRITE_FAILED;
    removeOwned(root);
    // Ours go before the display blocks and whatever else other code keeps.
    writeAttributeTable(root, *m_table);
    xmlNodePtr cs = Doc::addChild(root, "CoordSystem");
    Doc::setAttribute(cs, "s1", m_coordStrings[0]);
    Doc::setAttribute(cs, "s2", m_coordStrings[1]);
    Doc::setAttribute(cs, "s3", m_coordStrings[2]);
    xmlNodePtr geometry = Doc::addChild(root, "Geometry");
    Doc::setAttribute(geometry, "lowerLeftX", number(m_lowerLeftX));
    Doc::setAttribute(geometry, "lowerLeftY", number(m_lowerLeftY));
    Doc::setAttribute(geometry, "width", number(m_width));
    Doc::setAttribute(geometry, "height", number(m_height));
    Doc::setAttribute(geometry, "resolution", number(m_resolution));
    Doc::setAttribute(geometry, "areaCoverage", number(m_areaCoverage));
    xmlNodePtr table = Doc::addChild(root, "ResolutionTable");
    Doc::setAttribute(table, "attribute", m_tableAttribute);
    for (const auto& entry : m_resolutionTable) {
        xmlNodePtr n = Doc::addChild(table, "Range");
        Doc::setAttribute(n, "low", number(entry.first.first));
        Doc::setAttribute(n, "high", number(entry.first.second));
        Doc::setAttribute(n, "resolution", number(entry.second));
    }
    writeSource(root, m_source);
    xmlNodePtr process = Doc::addChild(root, "ProcessRecord");
    Doc::setAttribute(process, "name", m_process.name);
    writePairs(process, "Pair", m_process.pairs);
    writeFields(root, m_fields);
    writePairs(Doc::addChild(root, "Processing"), "Item", m_processing.getItems());
    writeBlocks(root, m_blocks);
    return m_document->save(m_fileName) == NORVAXMLDocument::XML_OK ? 0L : static_cast<long>(XML_META_WRITE_FAILED);
}

// ---------------------------------------------------------------- reading

long KIVOSurfaceXMLMetaData::read() {
    // The document refuses what is not a regular file, unread.
    auto doc = std::make_unique<NORVAXMLDocument>();
    const long loaded = doc->load(m_fileName);
    if (loaded == NORVAXMLDocument::XML_IO_FAILED) return XML_META_CANNOT_OPEN;
    if (loaded != NORVAXMLDocument::XML_OK) return XML_META_BAD_LAYOUT;
    xmlNodePtr root = doc->getRoot();
    if (!root || Doc::getName(root) != NORVAUString(kRoot) || attr(root, "version") != NORVAUString(kLayoutVersion))
        return XML_META_BAD_LAYOUT;
    const long status = parse(root);
    if (status != 0) return status;
    m_document = std::move(doc);
    m_coordStatus = buildCoordSystem();
    return 0;
}

namespace {

long parseAttributeTable(xmlNodePtr root, std::unique_ptr<KIVOSurfaceAttributeTable>& out) {
    xmlNodePtr node = Doc::getFirstChild(root, "AttributeTable");
    if (!node) return KIVOSurfaceXMLMetaData::XML_META_BAD_LAYOUT;
    const std::vector<xmlNodePtr> nodes = Doc::getChildren(node, "Attribute");
    std::vector<KIVODescriptor::AttribEntry> entries(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i)
        if (!readEntry(nodes[i], entries[i])) return KIVOSurfaceXMLMetaData::XML_META_BAD_LAYOUT;
    KIVOMetaAttribute meta{KIVOMemDescriptor(entries)};
    for (size_t i = 0; i < nodes.size(); ++i) {
        const long index = static_cast<long>(i);
        if (!getBound(nodes[i], "minimum", meta.getMinimum(), index, entries[i].type) ||
            !getBound(nodes[i], "maximum", meta.getMaximum(), index, entries[i].type))
            return KIVOSurfaceXMLMetaData::XML_META_BAD_LAYOUT;
    }
    out = std::make_unique<KIVOSurfaceAttributeTable>(meta);
    return 0;
}

bool parseResolutionTable(xmlNodePtr node, NORVAUString& attribute, KIVOResolutionTable& table) {
    if (!node) return false;
    attribute = attr(node, "attribute");
    for (xmlNodePtr n : Doc::getChildren(node, "Range")) {
        double low = 0.0, high = 0.0, resolution = 0.0;
        if (!numberAttr(n, "low", low) || !numberAttr(n, "high", high) || !numberAttr(n, "resolution", resolution))
            return false;
        table[KIVORangeEntry(low, high)] = static_cast<float>(resolution);
    }
    return true;
}

bool parseSource(xmlNodePtr node, KIVOSourceRecord& r) {
    if (!node || !numberAttr(node, "firstTime", r.firstTime) || !numberAttr(node, "lastTime", r.lastTime))
        return false;
    for (xmlNodePtr n : Doc::getChildren(node, "Item")) {
        KIVOSourceItem item;
        item.key = attr(n, "key");
        item.value = attr(n, "value");
        if (!numberAttr(n, "number", item.number)) return false;
        r.items.push_back(item);
    }
    return true;
}

std::vector<std::pair<NORVAUString, NORVAUString>> parsePairs(xmlNodePtr node, const char* element) {
    std::vector<std::pair<NORVAUString, NORVAUString>> pairs;
    for (xmlNodePtr n : Doc::getChildren(node, element)) pairs.emplace_back(attr(n, "key"), attr(n, "value"));
    return pairs;
}

bool parseFields(xmlNodePtr node, KIVODescriptiveFields& f) {
    if (!node) return false;
    f.creationDate = attr(node, "creationDate");
    f.creationTime = attr(node, "creationTime");
    f.text1 = attr(node, "text1");
    f.text2 = attr(node, "text2");
    f.text3 = attr(node, "text3");
    f.comments = attr(node, "comments");
    return true;
}

std::vector<KIVOMetaBlock> parseBlocks(xmlNodePtr node) {
    std::vector<KIVOMetaBlock> blocks;
    for (xmlNodePtr bn : Doc::getChildren(node, "Block")) {
        KIVOMetaBlock block;
        block.name = attr(bn, "name");
        for (xmlNodePtr in : Doc::getChildren(bn, "Item")) {
            KIVOMetaItem item;
            item.name = attr(in, "name");
            for (const auto& p : parsePairs(in, "Value")) item.values[p.first] = p.second;
            block.items.push_back(item);
        }
        blocks.push_back(block);
    }
    return blocks;
}

}  // namespace

long KIVOSurfaceXMLMetaData::parse(xmlNodePtr root) {
    const long bad = XML_META_BAD_LAYOUT;
    std::unique_ptr<KIVOSurfaceAttributeTable> table;
    if (parseAttributeTable(root, table) != 0) return bad;
    xmlNodePtr cs = Doc::getFirstChild(root, "CoordSystem");
    xmlNodePtr geometry = Doc::getFirstChild(root, "Geometry");
    xmlNodePtr process = Doc::getFirstChild(root, "ProcessRecord");
    if (!cs || !geometry || !process) return bad;
    double llx = 0.0, lly = 0.0, width = 0.0, height = 0.0, resolution = 0.0, coverage = 0.0;
    if (!numberAttr(geometry, "lowerLeftX", llx) || !numberAttr(geometry, "lowerLeftY", lly) ||
        !numberAttr(geometry, "width", width) || !numberAttr(geometry, "height", height) ||
        !numberAttr(geometry, "resolution", resolution) || !numberAttr(geometry, "areaCoverage", coverage))
        return bad;
    NORVAUString tableAttribute;
    KIVOResolutionTable resolutionTable;
    KIVOSourceRecord source;
    KIVODescriptiveFields fields;
    if (!parseResolutionTable(Doc::getFirstChild(root, "ResolutionTable"), tableAttribute, resolutionTable) ||
        !parseSource(Doc::getFirstChild(root, "SourceRecord"), source) ||
        !parseFields(Doc::getFirstChild(root, "DescriptiveFields"), fields))
        return bad;
    // Everything parsed: only now does the object change.
    m_table = std::move(table);
    m_coordStrings[0] = attr(cs, "s1");
    m_coordStrings[1] = attr(cs, "s2");
    m_coordStrings[2] = attr(cs, "s3");
    m_lowerLeftX = llx;
    m_lowerLeftY = lly;
    m_width = width;
    m_height = height;
    m_resolution = resolution;
    m_areaCoverage = coverage;
    m_tableAttribute = tableAttribute;
    m_resolutionTable = resolutionTable;
    m_source = source;
    m_process.name = attr(process, "name");
    m_process.pairs = parsePairs(process, "Pair");
    m_fields = fields;
    m_processing.clear();
    for (const auto& p : parsePairs(Doc::getFirstChild(root, "Processing"), "Item"))
        m_processing.setValue(p.first, p.second);
    m_blocks = parseBlocks(Doc::getFirstChild(root, "MetaBlocks"));
    return 0;
}
