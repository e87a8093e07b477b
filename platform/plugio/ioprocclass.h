#pragma once
// NorvaPlugIO stand-in: reads the raster header "*.des" that lies beside a
// raster and makes its coordinate system.
//
// A ".des" file is UTF-8 text, LF or CR LF line ends, at most 64 KiB:
//
//   NORVA RASTER HEADER 1
//   # lines starting with '#' and empty lines are ignored
//   COORDINATE SYSTEM = EPSG:32631
//   NAME = WGS 84 / UTM zone 31N
//
// The first line names the format and its version (1). Every other line is
// "KEY = value" (blanks around both trimmed). "COORDINATE SYSTEM" is required
// and holds any definition PROJ accepts (authority code, WKT on one line, or a
// PROJ string); "NAME" is optional and names the system. Other keys are
// ignored, so later versions may add some. A key given twice is refused.
#include <map>
#include <string>

#include "platform/core/NORVAObject.h"
#include "platform/core/NORVAType.h"
#include "platform/core/NORVAUString.h"
#include "platform/proj/NORVACoordSystem.h"

class ioprocclass : public NORVAObject {
public:
    enum Status : long {
        IOPROC_OK = 0,
        IOPROC_CANNOT_OPEN = -2,     // the file is missing, unreadable or too large
        IOPROC_BAD_HEADER = -3,      // not a raster header, or a malformed line
        IOPROC_NOT_READ = -4,        // `getHeader` before `open`, or `makeCosys` before `getHeader`
        IOPROC_BAD_COSYS = -5,       // no coordinate system, or one PROJ does not accept
    };
    static constexpr const char* kMagic = "NORVA RASTER HEADER";
    static constexpr long kVersion = 1;
    static constexpr size_t kMaxSize = 64 * 1024;

    explicit ioprocclass(const NORVAUString& path) : m_path(path) {}

    // Reads the file into memory.
    long open();
    // Parses what `open` read.
    long getHeader();
    // The header's coordinate system; an empty handle and a status on failure.
    NORVAType<NORVACoordSystem> makeCosys(long& status) const;
    long close();

    const NORVAUString& getPath() const { return m_path; }
    // The value of a key of the parsed header; empty when absent.
    NORVAUString getValue(const std::string& key) const;
    void print(std::ostream& os) const override;

private:
    NORVAUString m_path;
    std::string m_text;
    bool m_opened = false;
    bool m_parsed = false;
    std::map<std::string, std::string> m_values;
};
