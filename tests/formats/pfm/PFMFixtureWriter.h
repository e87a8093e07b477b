#pragma once
// Writes PFM structures for the tests: a handle file, its ".data" folder with
// list, line, bin and index files. It shares nothing with the reader in
// formats/pfm (own bit packer, own header text), so a fault in one does not
// hide a fault in the other.
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace pfmfixture {

// One bin as stored: the raw values before scaling.
struct Bin {
    uint32_t count = 0;
    double stdDev = 0.0;
    double avgFiltered = 0.0, minFiltered = 0.0, maxFiltered = 0.0;
    double avg = 0.0, min = 0.0, max = 0.0;
    std::array<double, 3> attr{{0.0, 0.0, 0.0}};
    uint32_t validity = 0;
    // Older files: edited, checked, suspect, data, selected, class 1, class 2.
    std::array<uint32_t, 7> flags{{0, 0, 0, 0, 0, 0, 0}};
    uint32_t projectedX = 0;
    uint64_t head = 0, tail = 0;
};

struct Plan {
    std::string version = "4.73";  // library version in the list and bin files
    bool projected = true;
    double minX = 0.0, minY = 0.0, maxX = 100.0, maxY = 50.0;
    double binSizeXY = 10.0;
    double xBinSize = 0.0, yBinSize = 0.0;  // degrees, geographic only
    int32_t width = 10, height = 5;
    std::string date = "Mon Dec  7 2026";
    float minDepth = 0.0f, maxDepth = 100.0f;
    // Record layout.
    int countBits = 24, stdBits = 32;
    double stdScale = 1000000.0;
    int depthBits = 20;
    double depthScale = 100.0, depthOffset = 1000.0;
    std::array<int, 3> attrBits{{0, 0, 0}};
    std::array<double, 3> attrScale{{1000.0, 1000.0, 1000.0}};
    std::array<std::string, 3> attrNames{{"", "", ""}};
    std::array<float, 3> attrMin{{0.0f, 0.0f, 0.0f}}, attrMax{{0.0f, 0.0f, 0.0f}};
    int validityBits = 16;
    std::array<int, 7> flagBits{{1, 1, 1, 1, 1, 1, 1}};
    int projectedXBits = 0;
    int pointerBits = 36;
    int numAttributes = -1;  // -1: not written
    // Extra lines appended to the text header, e.g. overriding keys.
    std::vector<std::string> extraLines;
    // Keys left out of the header.
    std::vector<std::string> omitKeys;
    std::map<std::pair<int, int>, Bin> bins;  // (column, row) -> bin
    std::vector<std::string> inputFiles;
};

struct Paths {
    std::string handle, dataFolder, list, line, bin, index;
};

// The version code from a version text ("4.73" -> 47).
int versionCode(const std::string& version);
// Bits per bin record and bytes per record.
int recordBits(const Plan& plan);
int recordBytes(const Plan& plan);
// The packed record of one bin.
std::vector<uint8_t> packRecord(const Plan& plan, const Bin& bin);
// The 16,384-byte text header.
std::string headerText(const Plan& plan);
// The complete bin "file" content: header and every record.
std::vector<uint8_t> binFileBytes(const Plan& plan);

// Writes folder/name (handle file) and folder/name.data/...; pieces of the
// bin and index huge files hold at most `pieceSize` bytes each.
Paths write(const std::string& folder, const std::string& name, const Plan& plan,
            uint64_t pieceSize = 2147418111ULL);

// Low-level: writes a huge-file folder with "config" and pieces.
void writeHugeFile(const std::string& folder, const std::vector<uint8_t>& bytes, uint64_t pieceSize);

// Sets `width` bits at bit `first` (bit 0 = most significant bit of byte 0).
void setBits(std::vector<uint8_t>& buffer, uint64_t first, int width, uint64_t value);

}  // namespace pfmfixture
