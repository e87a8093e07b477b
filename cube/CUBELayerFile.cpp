#include "cube/CUBELayerFile.h"

#include <cstring>

#include "cube/CUBEFileMagic.h"
#include "platform/core/NORVAByteIO.h"
#include "platform/core/NORVAFileUtils.h"

namespace {

const auto& kMagic = CUBEFileMagic::kLayer;

bool hostIsLittleEndian() {
    const uint16_t probe = 1;
    uint8_t first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

void swapBytes(std::vector<float>& values) {
    for (float& v : values) {
        uint8_t b[4];
        std::memcpy(b, &v, 4);
        std::swap(b[0], b[3]);
        std::swap(b[1], b[2]);
        std::memcpy(&v, b, 4);
    }
}

}  // namespace

CUBELayerFile::~CUBELayerFile() {
    if (m_file != nullptr) std::fclose(m_file);
}

bool CUBELayerFile::open(const NORVAUString& path, const CUBEGridIdx& grid) {
    uint64_t fileBytes = 0;
    if (!NORVAFileUtils::fileSize(path, fileBytes)) return false;
    m_file = NORVAFileUtils::openRegularFile(path);
    if (m_file == nullptr) return false;
    return readHeader(grid, fileBytes);
}

bool CUBELayerFile::readHeader(const CUBEGridIdx& grid, uint64_t fileBytes) {
    uint8_t header[kHeaderBytes];
    if (std::fread(header, 1, kHeaderBytes, m_file) != kHeaderBytes) return false;
    if (std::memcmp(header, kMagic, sizeof kMagic) != 0) return false;
    size_t pos = sizeof kMagic;
    uint16_t version = 0, reserved = 0, row = 0, column = 0;
    uint32_t rows = 0, columns = 0;
    NORVAByteIO::getU16(header, kHeaderBytes, pos, version);
    NORVAByteIO::getU16(header, kHeaderBytes, pos, reserved);
    NORVAByteIO::getU16(header, kHeaderBytes, pos, row);
    NORVAByteIO::getU16(header, kHeaderBytes, pos, column);
    NORVAByteIO::getU32(header, kHeaderBytes, pos, rows);
    NORVAByteIO::getU32(header, kHeaderBytes, pos, columns);
    if (version != 1 || reserved != 0) return false;
    // Nodes are indexed with the grid's own shape, so a layer of any other
    // grid or shape would hand out values of the wrong nodes.
    if (row != grid.row || column != grid.column || rows != grid.rows || columns != grid.columns) return false;
    const uint64_t count = static_cast<uint64_t>(rows) * columns;
    if (fileBytes < kHeaderBytes) return false;  // shrank since its size was taken
    // Divided, not multiplied: four times 2^62 values wraps to 0.
    const uint64_t whole = (fileBytes - kHeaderBytes) / 4;
    if (whole == 0) {
        // Not one whole value: a known, empty layer, however many stray bytes.
        m_count = 0;
        return true;
    }
    if (count > whole) return false;
    m_count = count;
    return true;
}

bool CUBELayerFile::readValues(std::vector<float>& values) {
    if (m_file == nullptr || values.size() != m_count) return false;
    if (m_count == 0) return true;
    if (std::fread(values.data(), 4, values.size(), m_file) != values.size()) return false;
    if (!hostIsLittleEndian()) swapBytes(values);
    return true;
}
