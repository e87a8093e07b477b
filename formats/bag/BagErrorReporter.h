#pragma once
// The metadata parser's error handler: prints each problem to standard error
// and remembers whether any error or a fatal error was seen.
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>

class BagErrorReporter : public xercesc::ErrorHandler {
public:
    void warning(const xercesc::SAXParseException& e) override;
    void error(const xercesc::SAXParseException& e) override;
    void fatalError(const xercesc::SAXParseException& e) override;
    void resetErrors() override;

    bool getSawErrors() const { return m_sawErrors; }
    bool getSawFatal() const { return m_sawFatal; }

private:
    static void report(const char* kind, const xercesc::SAXParseException& e);

    bool m_sawErrors = false;
    bool m_sawFatal = false;
};
