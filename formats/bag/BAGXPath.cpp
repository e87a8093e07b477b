#include "formats/bag/BAGXPath.h"

#include <cstring>

namespace {

const char* namespaceOf(const std::string& prefix) {
    if (prefix == "smXML") return "http://metadata.dgiwg.org/smXML";
    if (prefix == "gml") return "http://www.opengis.net/gml";
    return nullptr;
}

bool matches(xmlNodePtr node, const std::string& segment) {
    const size_t colon = segment.find(':');
    const std::string local = colon == std::string::npos ? segment : segment.substr(colon + 1);
    if (!node->name || local != reinterpret_cast<const char*>(node->name)) return false;
    if (colon == std::string::npos) return true;
    const char* uri = namespaceOf(segment.substr(0, colon));
    const char* actual = node->ns && node->ns->href ? reinterpret_cast<const char*>(node->ns->href) : nullptr;
    return uri && actual && std::strcmp(uri, actual) == 0;
}

xmlNodePtr childNamed(xmlNodePtr parent, const std::string& segment) {
    for (xmlNodePtr c = parent ? parent->children : nullptr; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE && matches(c, segment)) return c;
    return nullptr;
}

}  // namespace

namespace BAGXPath {

xmlNodePtr getXPathNode(xmlNodePtr start, const std::string& path) {
    xmlNodePtr node = start;
    size_t from = 0;
    while (node) {
        const size_t slash = path.find('/', from);
        node = childNamed(node, path.substr(from, slash == std::string::npos ? std::string::npos : slash - from));
        if (slash == std::string::npos) break;
        from = slash + 1;
    }
    return node;
}

}  // namespace BAGXPath
