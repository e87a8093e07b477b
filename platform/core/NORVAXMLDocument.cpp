#include "platform/core/NORVAXMLDocument.h"

#include <errno.h>
#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/xmlsave.h>
#include <pthread.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <ostream>
#include <string>

#include "platform/core/NORVAAtomicFile.h"
#include "platform/core/NORVAFileUtils.h"

namespace {

// No network, no entity expansion, no DTD loading, and no diagnostics on
// the process's standard error: the caller gets a status instead.
const int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA;

const xmlChar* xc(const std::string& s) { return reinterpret_cast<const xmlChar*>(s.c_str()); }

NORVAUString fromXml(const xmlChar* s) {
    return s ? NORVAUString(reinterpret_cast<const char*>(s)) : NORVAUString();
}

bool nameMatches(xmlNodePtr node, const std::string& name) {
    return node->type == XML_ELEMENT_NODE &&
           (name.empty() || (node->name && std::strcmp(reinterpret_cast<const char*>(node->name), name.c_str()) == 0));
}

xmlNodePtr firstMatchFrom(xmlNodePtr node, const NORVAUString& name) {
    const std::string n = name.toUTF8();
    for (; node; node = node->next)
        if (nameMatches(node, n)) return node;
    return nullptr;
}

// libxml2 makes and frees a parsed document's dictionary under process-wide
// locks of its own (its random seed, its count of users), which nothing can
// hold across a fork: a child forked while another thread parses or frees a
// document would wait on one for ever. Those calls are made under this lock, and a fork waits,
// in the parent, until no thread holds it.
pthread_mutex_t g_dictionaryLock = PTHREAD_MUTEX_INITIALIZER;

void holdDictionaries() { pthread_mutex_lock(&g_dictionaryLock); }
void releaseDictionaries() { pthread_mutex_unlock(&g_dictionaryLock); }

class DictionaryHold {
public:
    DictionaryHold() { holdDictionaries(); }
    ~DictionaryHold() { releaseDictionaries(); }
    DictionaryHold(const DictionaryHold&) = delete;
    DictionaryHold& operator=(const DictionaryHold&) = delete;
};

void initOnce() {
    static const bool done =
        (xmlInitParser(), pthread_atfork(&holdDictionaries, &releaseDictionaries, &releaseDictionaries), true);
    (void)done;
}

// As the library loads, before any thread of the host's can be inside it: a
// child forked while another thread ran the first initialisation would wait
// on it for ever.
const bool kInitialised = (initOnce(), true);

void freeDocument(xmlDocPtr doc) {
    DictionaryHold hold;
    xmlFreeDoc(doc);
}

void ignoreGeneric(void*, const char*, ...) {}
void ignoreStructured(void*, xmlErrorPtr) {}

// Some failures (an input encoding that cannot be converted) libxml2 reports
// on standard error whatever the options say: while a document is read they
// go nowhere, and the handlers the host may have set come back afterwards.
xmlDocPtr readQuietly(const char* data, int size, const char* encoding) {
    const xmlGenericErrorFunc generic = xmlGenericError;
    void* const genericContext = xmlGenericErrorContext;
    const xmlStructuredErrorFunc structured = xmlStructuredError;
    void* const structuredContext = xmlStructuredErrorContext;
    xmlSetGenericErrorFunc(nullptr, &ignoreGeneric);
    xmlSetStructuredErrorFunc(nullptr, &ignoreStructured);
    xmlDocPtr doc = nullptr;
    {
        DictionaryHold hold;
        doc = xmlReadMemory(data, size, nullptr, encoding, kParseOptions);
    }
    xmlSetGenericErrorFunc(genericContext, generic);
    xmlSetStructuredErrorFunc(structuredContext, structured);
    return doc;
}

}  // namespace

NORVAXMLDocument::NORVAXMLDocument(const NORVAUString& rootName) { m_status = create(rootName); }

NORVAXMLDocument::~NORVAXMLDocument() { release(); }

NORVAXMLDocument::NORVAXMLDocument(NORVAXMLDocument&& o) noexcept : NORVAObject(o), m_doc(o.m_doc) {
    o.m_doc = nullptr;
}

NORVAXMLDocument& NORVAXMLDocument::operator=(NORVAXMLDocument&& o) noexcept {
    if (this != &o) {
        release();
        NORVAObject::operator=(o);
        m_doc = o.m_doc;
        o.m_doc = nullptr;
    }
    return *this;
}

void NORVAXMLDocument::release() {
    if (m_doc) freeDocument(m_doc);
    m_doc = nullptr;
}

long NORVAXMLDocument::adopt(xmlDocPtr doc) {
    if (!doc) return XML_PARSE_FAILED;
    if (!xmlDocGetRootElement(doc)) {
        freeDocument(doc);
        return XML_PARSE_FAILED;
    }
    release();
    m_doc = doc;
    return XML_OK;
}

long NORVAXMLDocument::create(const NORVAUString& rootName) {
    initOnce();
    const std::string name = rootName.toUTF8();
    if (name.empty()) return XML_BAD_ARGUMENT;
    xmlDocPtr doc = xmlNewDoc(BAD_CAST "1.0");
    if (!doc) return XML_NO_DOCUMENT;
    xmlNodePtr root = xmlNewDocNode(doc, nullptr, xc(name), nullptr);
    if (!root) {
        freeDocument(doc);
        return XML_NO_DOCUMENT;
    }
    xmlDocSetRootElement(doc, root);
    return adopt(doc);
}

long NORVAXMLDocument::load(const NORVAUString& path) {
    initOnce();
    const std::string p = path.toUTF8();
    if (p.empty()) return XML_BAD_ARGUMENT;
    // Read straight from the descriptor: every open of a surface reads one.
    const int fd = NORVAFileUtils::openRegular(p.c_str(), O_RDONLY);
    if (fd < 0) return XML_IO_FAILED;
    std::string bytes;
    char buf[65536];
    ssize_t n = 0;
    while ((n = ::read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) bytes.append(buf, static_cast<size_t>(n));
    ::close(fd);
    if (n < 0) return XML_IO_FAILED;
    return loadFromBuffer(bytes.data(), bytes.size());
}

long NORVAXMLDocument::loadFromBuffer(const NORVAUString& text) {
    initOnce();
    const std::string bytes = text.toUTF8();
    if (bytes.size() > static_cast<size_t>(INT_MAX)) return XML_PARSE_FAILED;
    // The text is Unicode already: its bytes are UTF-8 whatever the declaration says.
    return adopt(readQuietly(bytes.data(), static_cast<int>(bytes.size()), "UTF-8"));
}

long NORVAXMLDocument::loadFromBuffer(const char* data, size_t size) {
    initOnce();
    if (!data || size == 0 || size > static_cast<size_t>(INT_MAX)) return XML_PARSE_FAILED;
    return adopt(readQuietly(data, static_cast<int>(size), nullptr));
}

long NORVAXMLDocument::save(const NORVAUString& path, const NORVAUString& encoding) const {
    if (!m_doc) return XML_NO_DOCUMENT;
    const std::string enc = encoding.isEmpty() ? std::string("UTF-8") : encoding.toUTF8();
    xmlChar* mem = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(m_doc, &mem, &size, enc.c_str(), 1);
    if (!mem || size <= 0) {
        xmlFree(mem);
        return XML_BAD_ARGUMENT;
    }
    NORVAAtomicFile file;
    bool ok = file.open(path) && file.write(mem, static_cast<size_t>(size));
    xmlFree(mem);
    ok = ok && file.commit();
    return ok ? XML_OK : XML_IO_FAILED;
}

long NORVAXMLDocument::saveToString(NORVAUString& out) const {
    if (!m_doc) return XML_NO_DOCUMENT;
    xmlChar* mem = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(m_doc, &mem, &size, "UTF-8", 1);
    if (!mem) return XML_NO_DOCUMENT;
    out = NORVAUString(std::string(reinterpret_cast<const char*>(mem), static_cast<size_t>(size)));
    xmlFree(mem);
    return XML_OK;
}

xmlNodePtr NORVAXMLDocument::getRoot() const { return m_doc ? xmlDocGetRootElement(m_doc) : nullptr; }

xmlNodePtr NORVAXMLDocument::getFirstChild(xmlNodePtr node, const NORVAUString& name) {
    return node ? firstMatchFrom(node->children, name) : nullptr;
}

xmlNodePtr NORVAXMLDocument::getNextSibling(xmlNodePtr node, const NORVAUString& name) {
    return node ? firstMatchFrom(node->next, name) : nullptr;
}

std::vector<xmlNodePtr> NORVAXMLDocument::getChildren(xmlNodePtr node, const NORVAUString& name) {
    std::vector<xmlNodePtr> out;
    for (xmlNodePtr c = getFirstChild(node, name); c; c = getNextSibling(c, name)) out.push_back(c);
    return out;
}

NORVAUString NORVAXMLDocument::getName(xmlNodePtr node) { return node ? fromXml(node->name) : NORVAUString(); }

xmlNodePtr NORVAXMLDocument::addChild(xmlNodePtr parent, const NORVAUString& name) {
    const std::string n = name.toUTF8();
    if (!parent || n.empty()) return nullptr;
    return xmlNewChild(parent, nullptr, xc(n), nullptr);
}

long NORVAXMLDocument::removeNode(xmlNodePtr node) {
    if (!node) return XML_BAD_ARGUMENT;
    xmlUnlinkNode(node);
    xmlFreeNode(node);
    return XML_OK;
}

long NORVAXMLDocument::setAttribute(xmlNodePtr node, const NORVAUString& name, const NORVAUString& value) {
    const std::string n = name.toUTF8();
    if (!node || node->type != XML_ELEMENT_NODE || n.empty()) return XML_BAD_ARGUMENT;
    return xmlSetProp(node, xc(n), xc(value.toUTF8())) ? XML_OK : XML_BAD_ARGUMENT;
}

long NORVAXMLDocument::getAttribute(xmlNodePtr node, const NORVAUString& name, NORVAUString& value) {
    if (!node || node->type != XML_ELEMENT_NODE) return XML_BAD_ARGUMENT;
    xmlChar* v = xmlGetProp(node, xc(name.toUTF8()));
    if (!v) return XML_NOT_FOUND;
    value = fromXml(v);
    xmlFree(v);
    return XML_OK;
}

bool NORVAXMLDocument::hasAttribute(xmlNodePtr node, const NORVAUString& name) {
    return node && node->type == XML_ELEMENT_NODE && xmlHasProp(node, xc(name.toUTF8())) != nullptr;
}

long NORVAXMLDocument::setText(xmlNodePtr node, const NORVAUString& text) {
    if (!node || node->type != XML_ELEMENT_NODE) return XML_BAD_ARGUMENT;
    // xmlNodeSetContent takes entity references; escaping keeps "&" literal.
    xmlChar* escaped = xmlEncodeSpecialChars(node->doc, xc(text.toUTF8()));
    if (!escaped) return XML_BAD_ARGUMENT;
    xmlNodeSetContent(node, escaped);
    xmlFree(escaped);
    return XML_OK;
}

NORVAUString NORVAXMLDocument::getText(xmlNodePtr node) {
    if (!node) return NORVAUString();
    xmlChar* c = xmlNodeGetContent(node);
    NORVAUString out = fromXml(c);
    xmlFree(c);
    return out;
}

void NORVAXMLDocument::print(std::ostream& os) const {
    os << "NORVAXMLDocument(root=" << getName(getRoot()) << ", status=" << m_status << ")";
}
