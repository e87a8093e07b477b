#include "formats/bag/BagErrorReporter.h"

#include <xercesc/util/XMLString.hpp>

#include <cstdio>
#include <string>

namespace {

std::string narrow(const XMLCh* text) {
    if (!text) return std::string();
    char* n = xercesc::XMLString::transcode(text);
    std::string out = n ? n : "";
    xercesc::XMLString::release(&n);
    return out;
}

}  // namespace

void BagErrorReporter::report(const char* kind, const xercesc::SAXParseException& e) {
    std::fprintf(stderr, "%s at file \"%s\", line %llu, column %llu\n   Message: %s\n", kind,
                 narrow(e.getSystemId()).c_str(), static_cast<unsigned long long>(e.getLineNumber()),
                 static_cast<unsigned long long>(e.getColumnNumber()), narrow(e.getMessage()).c_str());
}

void BagErrorReporter::warning(const xercesc::SAXParseException& e) { report("Warning", e); }

void BagErrorReporter::error(const xercesc::SAXParseException& e) {
    m_sawErrors = true;
    report("Error", e);
}

void BagErrorReporter::fatalError(const xercesc::SAXParseException& e) {
    m_sawErrors = true;
    m_sawFatal = true;
    report("Fatal Error", e);
}

void BagErrorReporter::resetErrors() {
    m_sawErrors = false;
    m_sawFatal = false;
}
