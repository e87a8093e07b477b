#pragma once
// An XML document over libxml2. The document and its nodes are exposed as
// libxml2 handles because callers also edit the tree with libxml2 itself
// (xmlUnlinkNode, xmlFreeNode). Names and values are NORVAUString; every
// operation returns a status (0 ok) and never throws. Parsing never touches
// the network and does not expand entities: the text is untrusted.
#include "platform/core/KIVOExport.h"
#include <libxml/tree.h>

#include <cstddef>
#include <vector>

#include "platform/core/NORVAObject.h"
#include "platform/core/NORVAUString.h"

class KIVO_EXPORT NORVAXMLDocument : public NORVAObject {
public:
    enum Status : long {
        XML_OK = 0,
        XML_NO_DOCUMENT = -1,   // no document or no root where one is needed
        XML_PARSE_FAILED = -2,  // malformed text
        XML_IO_FAILED = -3,     // file could not be read or written
        XML_BAD_ARGUMENT = -4,  // null node, empty name, unknown encoding
        XML_NOT_FOUND = -5,     // attribute absent
    };

    // An empty document without a root.
    NORVAXMLDocument() = default;
    // A new document whose root element has the given name; the status word
    // tells whether it was built.
    explicit NORVAXMLDocument(const NORVAUString& rootName);
    ~NORVAXMLDocument() override;
    NORVAXMLDocument(NORVAXMLDocument&& o) noexcept;
    NORVAXMLDocument& operator=(NORVAXMLDocument&& o) noexcept;
    NORVAXMLDocument(const NORVAXMLDocument&) = delete;
    NORVAXMLDocument& operator=(const NORVAXMLDocument&) = delete;

    // Each replaces the current document only on success.
    long create(const NORVAUString& rootName);
    long load(const NORVAUString& path);
    long loadFromBuffer(const NORVAUString& text);
    // Raw bytes in the encoding their declaration names (UTF-8 by default).
    long loadFromBuffer(const char* data, size_t size);

    // Indented output, written atomically (the old file survives a failure).
    long save(const NORVAUString& path, const NORVAUString& encoding = "UTF-8") const;
    long saveToString(NORVAUString& out) const;

    xmlDocPtr getDocument() const { return m_doc; }
    xmlNodePtr getRoot() const;

    // Element navigation; text, comment and other nodes are skipped. An empty
    // name matches any element. Null when there is none.
    static xmlNodePtr getFirstChild(xmlNodePtr node, const NORVAUString& name = NORVAUString());
    static xmlNodePtr getNextSibling(xmlNodePtr node, const NORVAUString& name = NORVAUString());
    static std::vector<xmlNodePtr> getChildren(xmlNodePtr node, const NORVAUString& name = NORVAUString());
    static NORVAUString getName(xmlNodePtr node);

    // A new last child element of `parent` (null on failure).
    static xmlNodePtr addChild(xmlNodePtr parent, const NORVAUString& name);
    // Unlinks and frees the node with its subtree.
    static long removeNode(xmlNodePtr node);

    static long setAttribute(xmlNodePtr node, const NORVAUString& name, const NORVAUString& value);
    // XML_NOT_FOUND (value unchanged) when the attribute is absent.
    static long getAttribute(xmlNodePtr node, const NORVAUString& name, NORVAUString& value);
    static long getProperty(xmlNodePtr node, const NORVAUString& name, NORVAUString& value) {
        return getAttribute(node, name, value);
    }
    static bool hasAttribute(xmlNodePtr node, const NORVAUString& name);

    // Replaces the node's children by one text node (escaped on output).
    static long setText(xmlNodePtr node, const NORVAUString& text);
    // The concatenated text of the node and its descendants.
    static NORVAUString getText(xmlNodePtr node);

    void print(std::ostream& os) const override;

private:
    long adopt(xmlDocPtr doc);
    void release();

    xmlDocPtr m_doc = nullptr;
};
