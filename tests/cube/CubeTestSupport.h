#pragma once
// Shared pieces of the CUBE surface tests: a temporary folder and stored
// CUBE surfaces whose tiles are made small enough to hold many grids.
#include "TempFolder.h"
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "cube/CUBEUtils.h"
#include "cube/KIVOSurfaceCUBEIO.h"
#include "cube_engine/cube_grid.h"
#include "cube_engine/cube_node.h"
#include "platform/core/NORVAByteIO.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/frame/KIVOMetaAttribute.h"
#include "platform/frame/KIVOSurfaceAttributeTable.h"
#include "platform/frame/KIVOSurfaceXMLMetaData.h"

namespace cubetest {

using TempDir = TempFolder;

inline std::vector<uint8_t> readAll(const NORVAUString& path) {
    std::vector<uint8_t> bytes;
    FILE* f = std::fopen(path.toUTF8().c_str(), "rb");
    if (!f) return bytes;
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
    return bytes;
}

inline void writeAll(const NORVAUString& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.toUTF8().c_str(), "wb");
    if (!f) return;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

inline void putU32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The bytes of a layer-cache file ".vcc" of one grid.
inline std::vector<uint8_t> vccBytes(uint16_t row, uint16_t column, uint32_t rows, uint32_t columns,
                                     const std::vector<float>& values, uint16_t reserved = 0) {
    NORVAByteIO::Buffer b;
    const uint8_t magic[13] = {0x89, 'N', 'O', 'R', 'V', 'A', 'V', 'C', 'C', '\r', '\n', 0x1A, '\n'};
    NORVAByteIO::putBytes(b, magic, sizeof magic);
    NORVAByteIO::putU16(b, 1);
    NORVAByteIO::putU16(b, reserved);
    NORVAByteIO::putU16(b, row);
    NORVAByteIO::putU16(b, column);
    NORVAByteIO::putU32(b, rows);
    NORVAByteIO::putU32(b, columns);
    for (float v : values) NORVAByteIO::putF32(b, v);
    return b;
}

// Metadata of a new CUBE surface over (x0, y0) .. (x0 + width, y0 + height).
inline NORVAType<KIVOSurfaceXMLMetaData> cubeMetadata(const NORVAUString& path, double x0, double y0, double width,
                                                      double height, double resolution) {
    std::unique_ptr<KIVODescriptor> descriptor = CUBEUtils::getDescriptor(false);
    auto table = makeNORVAType<KIVOSurfaceAttributeTable>(KIVOMetaAttribute(*descriptor));
    auto meta = makeNORVAType<KIVOSurfaceXMLMetaData>(std::move(table), path);
    meta->setLowerLeft(x0, y0);
    meta->setDimensions(width, height);
    meta->setResolution(resolution);
    return meta;
}

// Creates and stores a surface the way a compound surface makes its
// members; with tile > 0 the stored tile size is replaced so that a small
// surface spans many grids.
inline long createStored(const NORVAUString& path, double width, double height, double resolution,
                         uint32_t tile = 0, double x0 = 1000.0, double y0 = 2000.0) {
    long status = 0;
    {
        auto meta = cubeMetadata(path, x0, y0, width, height, resolution);
        KIVOSurfaceCUBEIO surface(path, meta, CUBEUtils::getParams(0, static_cast<float>(resolution)));
        if (surface.getStatus() != 0) return surface.getStatus();
        status = surface.store(nullptr);
    }
    if (status != 0 || tile == 0) return status;
    std::vector<uint8_t> bytes = readAll(path);
    putU32(bytes, 53, tile);
    writeAll(path, bytes);
    return 0;
}

// A surface stored as createStored stores one of 9 x 9 nodes in grids of 5,
// with grid (row, column) written holding a 12.5 m hypothesis at its first
// node. 0 when done.
inline long storedWithGrid(const NORVAUString& path, uint16_t row = 0, uint16_t column = 0) {
    long status = createStored(path, 9.0, 9.0, 1.0, 5);
    if (status != 0) return status;
    KIVOSurfaceCUBEIO s(path);
    auto entry = s.getGrid(s.makeKey(row, column), status, true, true);
    if (!entry) return status != 0 ? status : -1;
    if (cube_node_add_basic_hypothesis(cube_grid_get_node(entry->grid, 0, 0), 12.5f, 0.25f) != 1) return -1;
    entry->state = KIVOSurfaceCUBEIO::_cubeEntry::kModified;
    return s.flush();
}

}  // namespace cubetest
