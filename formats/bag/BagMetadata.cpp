// Parsing the ISO metadata XML of a BAG file into its grid definition.
#include <sys/stat.h>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/XMLGrammarPool.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/util/XMLString.hpp>

#include <climits>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "formats/bag/BagErrorReporter.h"
#include "formats/bag/BagHandle.h"
#include "formats/bag/BagMetadataTables.h"
#include "formats/bag/BagSchemaFolder.h"

using namespace xercesc;

namespace {

const char kSmXMLNamespace[] = "http://metadata.dgiwg.org/smXML";
const char kGmlNamespace[] = "http://www.opengis.net/gml";
const char kSchemaFile[] = "ISO19139/smXML/metadataEntity.xsd";
constexpr size_t kCacheEntries = 20;
constexpr size_t kCodeLength = 255;

const char kGeorectified[] = "smXML:MD_Metadata/spatialRepresentationInfo/smXML:MD_Georectified";
const char kCRS[] = "smXML:MD_Metadata/referenceSystemInfo/smXML:MD_CRS";

struct CacheEntry {
    std::string text;
    DOMDocument* document = nullptr;
};

std::array<CacheEntry, kCacheEntries>& cache() {
    static std::array<CacheEntry, kCacheEntries> entries;
    return entries;
}

void releaseEntry(CacheEntry& entry) {
    if (entry.document) entry.document->release();
    entry.document = nullptr;
    entry.text.clear();
}

void releaseCache() {
    for (CacheEntry& entry : cache()) releaseEntry(entry);
}

// The XML platform stays up once started: cached documents live in it.
bool startXML() {
    static bool started = false;
    if (started) return true;
    try {
        XMLPlatformUtils::Initialize("en_US");
    } catch (...) {
        return false;
    }
    started = true;
    return true;
}

std::string narrow(const XMLCh* text) {
    if (!text) return std::string();
    TranscodeToStr utf8(text, "UTF-8");
    return std::string(reinterpret_cast<const char*>(utf8.str()), utf8.length());
}

class XStr {
public:
    explicit XStr(const char* s) : m_text(XMLString::transcode(s)) {}
    ~XStr() { XMLString::release(&m_text); }
    XStr(const XStr&) = delete;
    XStr& operator=(const XStr&) = delete;
    const XMLCh* get() const { return m_text; }

private:
    XMLCh* m_text;
};

// A file URI or an escaped path as a plain path.
std::string plainPath(std::string text) {
    if (text.compare(0, 7, "file://") == 0) text.erase(0, 7);
    for (size_t at = text.find("%20"); at != std::string::npos; at = text.find("%20", at + 1))
        text.replace(at, 3, " ");
    return text;
}

// Loads schema files from the schema folder only: the metadata is untrusted
// and nothing may reach the network or any other file.
class SchemaFolderResolver : public XMLEntityResolver {
public:
    explicit SchemaFolderResolver(const std::string& folder) : m_folder(folder) {}

    InputSource* resolveEntity(XMLResourceIdentifier* id) override {
        const std::string system = plainPath(narrow(id->getSystemId()));
        const std::string base = plainPath(narrow(id->getBaseURI()));
        std::string path = system;
        if (!system.empty() && system[0] != '/') {
            const size_t slash = base.rfind('/');
            path = slash == std::string::npos ? system : base.substr(0, slash + 1) + system;
        }
        const bool inside = path.compare(0, m_folder.size(), m_folder) == 0 &&
                            path.find("..") == std::string::npos && path.find("://") == std::string::npos;
        if (inside) {
            XStr p(path.c_str());
            return new LocalFileInputSource(p.get());
        }
        static const XMLByte empty[] = "";
        return new MemBufInputSource(empty, 0, id->getSystemId(), false);
    }

private:
    std::string m_folder;
};

std::string escapeSpaces(const std::string& path) {
    std::string out;
    for (char c : path) out += c == ' ' ? std::string("%20") : std::string(1, c);
    return out;
}

bagError schemaPath(std::string& folder, std::string& path) {
    const std::string home = bagSchemaFolder(kSchemaFile);
    if (home.empty()) {
        std::fprintf(stderr, "BAG metadata: no schema folder found; set BAG_HOME to the folder that holds %s\n",
                     kSchemaFile);
        return BAG_METADTA_NO_HOME;
    }
    char resolved[PATH_MAX];
    if (!::realpath(home.c_str(), resolved)) return BAG_METADTA_SCHEMA_FILE_MISSING;
    char buffer[PATH_MAX + sizeof kSchemaFile + 1];
    std::snprintf(buffer, sizeof buffer, "%s/%s", resolved, kSchemaFile);
    struct stat st;
    if (::stat(buffer, &st) != 0) return BAG_METADTA_SCHEMA_FILE_MISSING;
    path = buffer;
    folder = resolved;
    return BAG_SUCCESS;
}

void configure(XercesDOMParser& parser, const std::string& location, BagErrorReporter& reporter,
               SchemaFolderResolver& resolver, SecurityManager& security) {
    parser.setValidationScheme(XercesDOMParser::Val_Always);
    parser.setDoNamespaces(true);
    parser.setDoSchema(true);
    parser.setValidationSchemaFullChecking(false);
    parser.setExternalSchemaLocation(location.c_str());
    parser.setErrorHandler(&reporter);
    parser.setXMLEntityResolver(&resolver);
    parser.setLoadExternalDTD(false);
    parser.setCreateEntityReferenceNodes(false);
    security.setEntityExpansionLimit(100);
    parser.setSecurityManager(&security);
}

// Parses and validates the text; the document on success.
bagError parseText(const std::string& text, DOMDocument*& document) {
    std::string folder, path;
    bagError rc = schemaPath(folder, path);
    if (rc != BAG_SUCCESS) return rc;
    const std::string location = std::string(kSmXMLNamespace) + " " + escapeSpaces(path);
    BagErrorReporter reporter;
    SchemaFolderResolver resolver(folder);
    SecurityManager security;
    XercesDOMParser parser;
    configure(parser, location, reporter, resolver, security);
    try {
        MemBufInputSource source(reinterpret_cast<const XMLByte*>(text.data()), text.size(), "BAG Meta Data",
                                 false);
        parser.parse(source);
    } catch (const OutOfMemoryException&) {
        std::fprintf(stderr, "OutOfMemoryException\n");
        return BAG_METADTA_PARSE_MEM_EXCEPTION;
    } catch (const XMLException& e) {
        std::fprintf(stderr, "An error occurred during parsing\n   Message: %s\n", narrow(e.getMessage()).c_str());
        return BAG_METADTA_PARSE_EXCEPTION;
    } catch (const DOMException&) {
        return BAG_METADTA_PARSE_DOM_EXCEPTION;
    } catch (...) {
        std::fprintf(stderr, "An error occurred during parsing\n");
        return BAG_METADTA_PARSE_UNK_EXCEPTION;
    }
    if (reporter.getSawFatal()) return BAG_METADTA_PARSE_EXCEPTION;
    if (reporter.getSawErrors() || parser.getErrorCount() > 0) return BAG_METADTA_VALIDATE_FAILED;
    document = parser.adoptDocument();
    return document ? BAG_SUCCESS : BAG_METADTA_PARSE_FAILED;
}

// The first child element named by one path segment ("prefix:name" or a
// name in no namespace).
const DOMElement* childNamed(const DOMNode* parent, const std::string& segment) {
    std::string ns, local = segment;
    const size_t colon = segment.find(':');
    if (colon != std::string::npos) {
        const std::string prefix = segment.substr(0, colon);
        ns = prefix == "smXML" ? kSmXMLNamespace : prefix == "gml" ? kGmlNamespace : "?";
        local = segment.substr(colon + 1);
    }
    for (const DOMNode* c = parent ? parent->getFirstChild() : nullptr; c; c = c->getNextSibling()) {
        if (c->getNodeType() != DOMNode::ELEMENT_NODE) continue;
        if (narrow(c->getLocalName()) == local && narrow(c->getNamespaceURI()) == ns)
            return static_cast<const DOMElement*>(c);
    }
    return nullptr;
}

const DOMElement* findPath(const DOMNode* start, const std::string& path) {
    const DOMNode* node = start;
    size_t from = 0;
    while (node && from <= path.size()) {
        const size_t slash = path.find('/', from);
        const std::string segment = path.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
        node = childNamed(node, segment);
        if (slash == std::string::npos) break;
        from = slash + 1;
    }
    return static_cast<const DOMElement*>(node);
}

// The text of every text and CDATA node below a node, in document order.
// Xerces's own getTextContent builds its answer in the document's heap,
// which is returned only with the document: a cached document read again
// on every open would grow without end. Each text node's own value costs
// nothing to reach. The walk keeps no stack: nesting depth is the text's.
void appendText(const DOMNode* root, std::string& out) {
    const DOMNode* node = root->getFirstChild();
    while (node) {
        const DOMNode::NodeType type = node->getNodeType();
        if (type == DOMNode::TEXT_NODE || type == DOMNode::CDATA_SECTION_NODE) out += narrow(node->getNodeValue());
        const bool descend = type == DOMNode::ELEMENT_NODE || type == DOMNode::ENTITY_REFERENCE_NODE;
        if (descend && node->getFirstChild()) {
            node = node->getFirstChild();
            continue;
        }
        while (node && node != root && !node->getNextSibling()) node = node->getParentNode();
        node = node && node != root ? node->getNextSibling() : nullptr;
    }
}

bool textAt(const DOMNode* start, const std::string& path, std::string& out, size_t limit = std::string::npos) {
    const DOMElement* e = findPath(start, path);
    if (!e) return false;
    out.clear();
    appendText(e, out);
    if (out.size() > limit) out.resize(limit);
    return true;
}

bool numberAt(const DOMNode* start, const std::string& path, double& out) {
    std::string text;
    if (!textAt(start, path, text)) return false;
    out = std::strtod(text.c_str(), nullptr);
    return true;
}

bool validSpacing(double v) { return std::isfinite(v) && v > 0.0; }

// Axis sizes and spacings; the dataset's extent wins over the text's.
bagError extractDimensions(const DOMDocument* doc, const bagHandle* h, bagDefinition& def) {
    const DOMElement* rect = findPath(doc, kGeorectified);
    double dimensions = 0.0;
    if (!numberAt(rect, "numberOfDimensions", dimensions) || dimensions != 2.0)
        return BAG_METADTA_INVLID_DIMENSIONS;
    double rows = -1.0, columns = -1.0;
    for (const DOMNode* c = rect->getFirstChild(); c; c = c->getNextSibling()) {
        if (c->getNodeType() != DOMNode::ELEMENT_NODE || narrow(c->getLocalName()) != "axisDimensionProperties")
            continue;
        const DOMElement* axis = childNamed(c, "smXML:MD_Dimension");
        std::string name;
        double size = -1.0, spacing = 0.0;
        if (!textAt(axis, "dimensionName", name)) continue;
        numberAt(axis, "dimensionSize", size);
        numberAt(axis, "resolution/smXML:Measure/smXML:value", spacing);
        if (name == "row") {
            rows = size;
            def.nodeSpacingY = spacing;
        } else if (name == "column") {
            columns = size;
            def.nodeSpacingX = spacing;
        }
    }
    if (!validSpacing(def.nodeSpacingX) || !validSpacing(def.nodeSpacingY)) return BAG_METADTA_INCOMPLETE_COVER;
    const bool known = h->file >= 0;
    if (known && ((rows >= 0.0 && rows != double(h->nrows)) || (columns >= 0.0 && columns != double(h->ncols))))
        return BAG_HDF_DATASPACE_CORRUPTED;
    if (known) {
        def.nrows = h->nrows;
        def.ncols = h->ncols;
    } else {
        def.nrows = rows >= 0.0 && rows <= double(UINT32_MAX) ? uint32_t(rows) : 0;
        def.ncols = columns >= 0.0 && columns <= double(UINT32_MAX) ? uint32_t(columns) : 0;
    }
    return BAG_SUCCESS;
}

void extractParameters(const DOMElement* p, bagDefinition& def, double scales[3]) {
    double zone = 0.0, unused = 0.0;
    if (numberAt(p, "zone", zone) && std::fabs(zone) < 1000.0) def.zone = int32_t(zone);
    numberAt(p, "standardParallel", def.standardParallel);
    numberAt(p, "longitudeOfCentralMeridian", def.longitudeOfCentralMeridian);
    numberAt(p, "latitudeOfProjectionOrigin", def.latitudeOfProjectionOrigin);
    numberAt(p, "falseEasting", def.falseEasting);
    numberAt(p, "falseNorthing", def.falseNorthing);
    numberAt(p, "scaleFactorAtEquator", scales[0]);
    numberAt(p, "heightOfProspectivePointAboveSurface", unused);
    numberAt(p, "longitudeOfProjectionCenter", unused);
    numberAt(p, "latitudeOfProjectionCenter", def.latitudeOfProjectionCentre);
    numberAt(p, "scaleFactorAtCenterLine", unused);
    numberAt(p, "straightVerticalLongitudeFromPole", def.straightVerticalLongitudeFromPole);
    numberAt(p, "scaleFactorAtProjectionOrigin", scales[1]);
}

bagError extractProjection(const DOMDocument* doc, bagDefinition& def, double scales[3]) {
    const DOMElement* crs = findPath(doc, kCRS);
    std::string code;
    const bool hasCode = textAt(crs, "projection/smXML:RS_Identifier/code", code, kCodeLength);
    const DOMElement* params = findPath(crs, "projectionParameters/smXML:MD_ProjectionParameters");
    if (!hasCode && !params) return BAG_METADTA_NO_PROJECTION_INFO;
    if (params) extractParameters(params, def, scales);
    def.coordSys = hasCode ? BagMetadataTables::coordinateType(code.c_str()) : -1;
    return BAG_SUCCESS;
}

bagError extractUncertainty(const DOMDocument* doc, bagDefinition& def) {
    std::string text;
    if (!textAt(doc, "smXML:MD_Metadata/identificationInfo/smXML:BAG_DataIdentification/verticalUncertaintyType",
                text)) {
        const char* message = nullptr;
        bagErrorText(BAG_METADTA_UNCRT_MISSING, &message);
        std::fprintf(stderr, "Error in metadata initialization: {%s}\n", message);
        return BAG_METADTA_UNCRT_MISSING;
    }
    def.verticalUncertType = BagMetadataTables::verticalUncertaintyType(text.c_str());
    return BAG_SUCCESS;
}

// "x,y x,y": south-west then north-east.
bagError extractCorners(const DOMDocument* doc, bagDefinition& def) {
    std::string text;
    if (!textAt(doc, std::string(kGeorectified) + "/cornerPoints/gml:Point/gml:coordinates", text))
        return BAG_METADTA_INCOMPLETE_COVER;
    const size_t comma1 = text.find(',');
    const size_t blank = comma1 == std::string::npos ? comma1 : text.find(' ', comma1);
    const size_t comma2 = blank == std::string::npos ? blank : text.find(',', blank);
    if (comma2 == std::string::npos) return BAG_METADTA_INCOMPLETE_COVER;
    double v[4] = {std::strtod(text.c_str(), nullptr), std::strtod(text.c_str() + comma1 + 1, nullptr),
                   std::strtod(text.c_str() + blank + 1, nullptr), std::strtod(text.c_str() + comma2 + 1, nullptr)};
    for (double x : v)
        if (!std::isfinite(x) || x == DBL_MAX) return BAG_METADTA_INCOMPLETE_COVER;
    def.swCornerX = v[0];
    def.swCornerY = v[1];
    def.neCornerX = v[2];
    def.neCornerY = v[3];
    return BAG_SUCCESS;
}

bagError extract(const DOMDocument* doc, const bagHandle* h, bagDefinition& def) {
    def = bagDefinition();
    double scales[2] = {0.0, 0.0};
    bagError rc = extractDimensions(doc, h, def);
    if (rc == BAG_SUCCESS) rc = extractProjection(doc, def, scales);
    if (rc == BAG_SUCCESS) rc = extractUncertainty(doc, def);
    if (rc != BAG_SUCCESS) return rc;
    std::string datum;
    if (textAt(doc, std::string(kCRS) + "/datum/smXML:RS_Identifier/code", datum, kCodeLength))
        def.datum = BagMetadataTables::datum(datum.c_str());
    if ((rc = extractCorners(doc, def)) != BAG_SUCCESS) return rc;
    if (def.coordSys == BagMetadataTables::MERCATOR)
        def.scaleFactor = scales[0];
    else if (def.coordSys == BagMetadataTables::TRANSVERSE_MERCATOR || def.coordSys == BagMetadataTables::POLAR_STEREO)
        def.scaleFactor = scales[1];
    def.loaded = true;
    return BAG_SUCCESS;
}

// The cache entry holding the text, or one taken for a new parse.
CacheEntry& entryFor(const std::string& text, bool& cached) {
    auto& entries = cache();
    for (CacheEntry& entry : entries) {
        if (!entry.document || entry.text.empty()) {
            cached = false;
            return entry;
        }
        if (entry.text == text) {
            cached = true;
            return entry;
        }
    }
    cached = false;
    return entries[0];
}

}  // namespace

bagError bagParseMetadataBuffer(bagHandle* handle, const char* text, size_t length) {
    if (!handle || !text) return BAG_SUCCESS;
    if (length >= kBagMetadataLimit) return BAG_METADTA_BUFFER_EXCEEDED;
    const std::string content(text, strnlen(text, length));
    bool cached = false;
    CacheEntry& entry = entryFor(content, cached);
    if (!cached) {
        releaseEntry(entry);
        if (!startXML()) return BAG_METADTA_INIT_FAILED;
        DOMDocument* document = nullptr;
        const bagError rc = parseText(content, document);
        if (rc != BAG_SUCCESS) return rc;
        entry.text = content;
        entry.document = document;
    }
    bagDefinition def;
    const bagError rc = extract(entry.document, handle, def);
    if (rc != BAG_SUCCESS) {
        releaseCache();
        return rc;
    }
    handle->def = def;
    if (text != handle->metadata.data()) handle->metadata = content;
    return BAG_SUCCESS;
}

bagError bagLoadMetadata(bagHandle* handle) {
    if (!handle) return BAG_INVALID_BAG_HANDLE;
    const bagError rc = bagReadMetadataText(handle);
    if (rc != BAG_SUCCESS) return rc;
    return bagParseMetadataBuffer(handle, handle->metadata.data(), handle->metadata.size());
}
