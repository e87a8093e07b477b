#pragma once
// Lookup of an element by a path of element names below a node of a suite
// XML document: "a/b:c/d", one name at a time, the first child element whose
// name matches at each level. A prefix is matched with the namespace it
// stands for in the BAG metadata, a name without prefix by its local name.
#include <libxml/tree.h>

#include <string>

namespace BAGXPath {
// Null when some level has no match.
xmlNodePtr getXPathNode(xmlNodePtr start, const std::string& path);
}  // namespace BAGXPath
