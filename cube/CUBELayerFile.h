#pragma once
// Reading one layer-cache file ".vcc": one attribute of one grid as 32-bit
// floats, row by row from the north-west node. The files come from outside
// the library, so the header must name the very grid asked for, with its
// shape, and the file must hold every value the header announces (a header
// without one whole value is a known, empty layer).
#include <cstdint>
#include <cstdio>
#include <vector>

#include "cube/CUBEGridIdx.h"
#include "platform/core/NORVAUString.h"

class CUBELayerFile {
public:
    static constexpr size_t kHeaderBytes = 29;

    CUBELayerFile() = default;
    CUBELayerFile(const CUBELayerFile&) = delete;
    CUBELayerFile& operator=(const CUBELayerFile&) = delete;
    ~CUBELayerFile();

    // False for a missing or foreign file, and for one that does not match
    // `grid` or is shorter than its header says.
    bool open(const NORVAUString& path, const CUBEGridIdx& grid);
    // Values the file holds: rows x columns, or 0 for a file without one whole value.
    uint64_t valueCount() const { return m_count; }
    // Reads all values into `values`, which must hold valueCount() of them.
    bool readValues(std::vector<float>& values);

private:
    bool readHeader(const CUBEGridIdx& grid, uint64_t fileBytes);

    FILE* m_file = nullptr;
    uint64_t m_count = 0;
};
