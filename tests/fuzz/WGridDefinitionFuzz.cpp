// The weighted-grid definition text ".def". Any input gives one of the
// reader's statuses; a text it accepts is written back by the library's
// writer, and from the second round on writing and reading are stable.
#include <string>

#include "formats/wgrid/WGridDefinition.h"
#include "fuzz/FuzzSupport.h"

namespace {

std::string roundTrip(const std::string& text, long& status) {
    WGridDefinition d;
    status = d.parseText(text);
    return d.formatText();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    long status = 0;
    const std::string first = roundTrip(text, status);
    FUZZ_CHECK(status == 0 || status == 146142 || status == 146143);
    if (status != 0) return 0;
    fuzzsupport::noteAccepted();
    const std::string second = roundTrip(first, status);
    FUZZ_CHECK(status == 0);
    const std::string third = roundTrip(second, status);
    FUZZ_CHECK(status == 0);
    FUZZ_CHECK(third == second);
    return 0;
}

void kivoFuzzWriteSeeds(fuzzsupport::SeedWriter& seeds) {
    WGridDefinition d;
    d.centerX = 500000.25;
    d.centerY = 6000000.5;
    d.width = 250.0;
    d.height = 150.0;
    d.resolution = 2.5;
    d.pixelsX = 100;
    d.pixelsY = 60;
    d.fragmentSize = 50;
    seeds.add("minimal", d.formatText());
    d.projectionName = "UTM - WGS84";
    d.projectionDetail = "UTM-31N";
    d.minDepth = 1.5;
    d.maxDepth = 42.125;
    d.area = 12.0;
    d.outdated = true;
    d.extraDataLines = {"COMMENT = hello", "SOURCE = a,b"};
    d.representation = "Intensity";
    d.grazingAngles = {30, 20, 10};
    d.beamWeights = {0.5, 0.25, 1};
    const std::string full = d.formatText();
    seeds.add("full", full);
    std::string crlf;
    for (char c : full) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    seeds.add("crlf", crlf);
    seeds.add("shading", full + "[IMAGE SHADING]\nSUN ANGLE = 45\nELEVATION = 30\n");
}
