#pragma once
// Writes BAG files for the tests straight through the HDF5 C API, following
// the published layout (group "/BAG_root" with elevation, uncertainty,
// tracking list and metadata), and the ISO metadata text they carry. Shares
// no code with the library's reader.
#include <hdf5.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace bagtest {

constexpr float kNull = 1000000.0f;

// The schema folder shipped with the library, for "BAG_HOME".
inline std::string schemaHome() {
    const char* data = std::getenv("KIVO_TEST_DATA");
    std::string root;
    if (data && *data) {
        root = data;
        root = root.substr(0, root.rfind('/'));  // strip "data"
        root = root.substr(0, root.rfind('/'));  // strip "tests"
    } else {
        root = __FILE__;
        // A compiler cache may leave the path relative to the folder the file
        // was compiled in, which is not where the program runs: the library
        // then finds the source tree's copy by itself.
        if (root.empty() || root[0] != '/') return std::string();
        root = root.substr(0, root.rfind("/tests/"));
    }
    return root + "/formats/bag/schema";
}

inline void useSchemaHome() {
    const std::string home = schemaHome();
    if (!home.empty()) setenv("BAG_HOME", home.c_str(), 1);
}
inline void useSchemaHomeIfUnset() {
    const std::string home = schemaHome();
    if (!home.empty()) setenv("BAG_HOME", home.c_str(), 0);
}

// The metadata fields a fixture writes; an empty text leaves its element out.
struct Metadata {
    std::string dimensions = "2";
    std::string rows = "4", columns = "5";
    std::string dx = "2", dy = "3";
    std::string corners = "100,200 108,209";
    std::string projection = "UTM";
    std::string datum = "WGS84";
    std::string zone = "19";
    std::string extraParameters;  // further children of MD_ProjectionParameters
    std::string uncertainty = "Raw Std Dev";
    std::string dateTime = "2008-03-05T12:30:00Z";
    std::string description = "Software: Gridder; Version: 2.1; other notes";
    std::string processor = "A. Surveyor";
};

inline std::string element(const std::string& name, const std::string& text) {
    return text.empty() ? std::string() : "<" + name + ">" + text + "</" + name + ">";
}

inline std::string axis(const std::string& name, const std::string& size, const std::string& spacing) {
    return "<axisDimensionProperties><smXML:MD_Dimension>" + element("dimensionName", name) +
           element("dimensionSize", size) + "<resolution><smXML:Measure>" + element("smXML:value", spacing) +
           "<smXML:uom>metres</smXML:uom></smXML:Measure></resolution></smXML:MD_Dimension></axisDimensionProperties>";
}

inline std::string metadataXML(const Metadata& m) {
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<smXML:MD_Metadata xmlns:smXML=\"http://metadata.dgiwg.org/smXML\" "
                    "xmlns:gml=\"http://www.opengis.net/gml\">\n";
    x += "<fileIdentifier>fixture</fileIdentifier>\n";
    x += "<identificationInfo><smXML:BAG_DataIdentification><abstract>test grid</abstract>" +
         element("verticalUncertaintyType", m.uncertainty) + "</smXML:BAG_DataIdentification></identificationInfo>\n";
    x += "<dataQualityInfo><smXML:DQ_DataQuality><lineage><smXML:LI_Lineage><processStep><smXML:BAG_ProcessStep>" +
         element("description", m.description) + element("dateTime", m.dateTime) +
         (m.processor.empty() ? std::string()
                              : "<processor><smXML:CI_ResponsibleParty>" + element("individualName", m.processor) +
                                    "</smXML:CI_ResponsibleParty></processor>") +
         "</smXML:BAG_ProcessStep></processStep></smXML:LI_Lineage></lineage></smXML:DQ_DataQuality>"
         "</dataQualityInfo>\n";
    x += "<spatialRepresentationInfo><smXML:MD_Georectified>" + element("numberOfDimensions", m.dimensions) +
         axis("row", m.rows, m.dy) + axis("column", m.columns, m.dx) + "<cellGeometry>point</cellGeometry>" +
         (m.corners.empty() ? std::string()
                            : "<cornerPoints><gml:Point><gml:coordinates decimal=\".\" cs=\",\" ts=\" \">" +
                                  m.corners + "</gml:coordinates></gml:Point></cornerPoints>") +
         "</smXML:MD_Georectified></spatialRepresentationInfo>\n";
    x += "<referenceSystemInfo><smXML:MD_CRS>" +
         (m.projection.empty() ? std::string()
                               : "<projection><smXML:RS_Identifier>" + element("code", m.projection) +
                                     "</smXML:RS_Identifier></projection>") +
         (m.datum.empty() ? std::string()
                          : "<datum><smXML:RS_Identifier>" + element("code", m.datum) +
                                "</smXML:RS_Identifier></datum>") +
         "<projectionParameters><smXML:MD_ProjectionParameters>" + element("zone", m.zone) + m.extraParameters +
         "</smXML:MD_ProjectionParameters></projectionParameters></smXML:MD_CRS></referenceSystemInfo>\n";
    x += "</smXML:MD_Metadata>\n";
    return x;
}

enum Compression { NONE, DEFLATE, SZIP };

// One BAG file's content. Grids are row-major with row 0 in the south.
struct Bag {
    uint32_t rows = 4, columns = 5;
    std::vector<float> elevation, uncertainty;
    hsize_t chunkRows = 0, chunkColumns = 0;  // 0: contiguous
    Compression compression = NONE;
    bool float64 = false;
    int rank = 2;
    std::string version = "1.0.0";
    bool variableVersion = false;
    bool tracking = true;
    std::string metadata;
    hsize_t metadataChunk = 1024;  // 0: contiguous
    float minElevation = 0, maxElevation = 0, minUncertainty = 0, maxUncertainty = 0;

    // A grid of rows x columns with elevation -(10 + row * columns + column)
    // and uncertainty 0.5 + column / 10, ranges from the values.
    static Bag grid(uint32_t rows, uint32_t columns) {
        Bag b;
        b.rows = rows;
        b.columns = columns;
        b.elevation.resize(size_t(rows) * columns);
        b.uncertainty.resize(size_t(rows) * columns);
        for (uint32_t r = 0; r < rows; ++r)
            for (uint32_t c = 0; c < columns; ++c) {
                b.elevation[size_t(r) * columns + c] = -(10.0f + float(r * columns + c));
                b.uncertainty[size_t(r) * columns + c] = 0.5f + float(c) / 10.0f;
            }
        Metadata m;
        m.rows = std::to_string(rows);
        m.columns = std::to_string(columns);
        m.corners = "100,200 " + std::to_string(100 + 2 * (columns - 1)) + "," + std::to_string(200 + 3 * (rows - 1));
        b.metadata = metadataXML(m);
        b.computeRanges();
        return b;
    }

    void computeRanges() {
        bool first = true;
        for (size_t i = 0; i < elevation.size(); ++i) {
            if (elevation[i] == kNull) continue;
            if (first || elevation[i] < minElevation) minElevation = elevation[i];
            if (first || elevation[i] > maxElevation) maxElevation = elevation[i];
            if (first || uncertainty[i] < minUncertainty) minUncertainty = uncertainty[i];
            if (first || uncertainty[i] > maxUncertainty) maxUncertainty = uncertainty[i];
            first = false;
        }
    }
    float& at(std::vector<float>& g, uint32_t row, uint32_t column) { return g[size_t(row) * columns + column]; }
};

inline void floatAttribute(hid_t object, const char* name, float value) {
    hid_t space = H5Screate(H5S_SCALAR);
    hid_t a = H5Acreate2(object, name, H5T_IEEE_F32LE, space, H5P_DEFAULT, H5P_DEFAULT);
    H5Awrite(a, H5T_NATIVE_FLOAT, &value);
    H5Aclose(a);
    H5Sclose(space);
}

inline void versionAttribute(hid_t group, const Bag& b) {
    hid_t type = H5Tcopy(H5T_C_S1);
    hid_t space = H5Screate(H5S_SCALAR);
    if (b.variableVersion) {
        H5Tset_size(type, H5T_VARIABLE);
        hid_t a = H5Acreate2(group, "Bag Version", type, space, H5P_DEFAULT, H5P_DEFAULT);
        const char* text = b.version.c_str();
        H5Awrite(a, type, &text);
        H5Aclose(a);
    } else {
        H5Tset_size(type, b.version.size() + 1);
        hid_t a = H5Acreate2(group, "Bag Version", type, space, H5P_DEFAULT, H5P_DEFAULT);
        H5Awrite(a, type, b.version.c_str());
        H5Aclose(a);
    }
    H5Sclose(space);
    H5Tclose(type);
}

inline hid_t gridCreateList(const Bag& b) {
    hid_t dcpl = H5Pcreate(H5P_DATASET_CREATE);
    if (b.chunkRows > 0) {
        hsize_t chunk[3] = {b.chunkRows, b.chunkColumns, 1};
        H5Pset_chunk(dcpl, b.rank, chunk);
        if (b.compression == DEFLATE) H5Pset_deflate(dcpl, 6);
        if (b.compression == SZIP) H5Pset_szip(dcpl, H5_SZIP_NN_OPTION_MASK, 8);
    }
    float fill = kNull;
    H5Pset_fill_value(dcpl, H5T_NATIVE_FLOAT, &fill);
    return dcpl;
}

inline void gridDataset(hid_t group, const char* name, const Bag& b, const std::vector<float>& values,
                        const char* minName, float minimum, const char* maxName, float maximum) {
    hsize_t dims[3] = {b.rows, b.columns, 1};
    hid_t space = H5Screate_simple(b.rank, dims, nullptr);
    hid_t dcpl = gridCreateList(b);
    hid_t d = H5Dcreate2(group, name, b.float64 ? H5T_IEEE_F64LE : H5T_IEEE_F32LE, space, H5P_DEFAULT, dcpl,
                         H5P_DEFAULT);
    if (!values.empty()) H5Dwrite(d, H5T_NATIVE_FLOAT, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data());
    floatAttribute(d, minName, minimum);
    floatAttribute(d, maxName, maximum);
    H5Dclose(d);
    H5Pclose(dcpl);
    H5Sclose(space);
}

inline void trackingList(hid_t group) {
    hid_t type = H5Tcreate(H5T_COMPOUND, 16);
    H5Tinsert(type, "row", 0, H5T_NATIVE_UINT32);
    H5Tinsert(type, "col", 4, H5T_NATIVE_UINT32);
    H5Tinsert(type, "depth", 8, H5T_NATIVE_FLOAT);
    H5Tinsert(type, "uncertainty", 12, H5T_NATIVE_FLOAT);
    hsize_t dims = 0, maxDims = H5S_UNLIMITED, chunk = 10;
    hid_t space = H5Screate_simple(1, &dims, &maxDims);
    hid_t dcpl = H5Pcreate(H5P_DATASET_CREATE);
    H5Pset_chunk(dcpl, 1, &chunk);
    hid_t d = H5Dcreate2(group, "tracking_list", type, space, H5P_DEFAULT, dcpl, H5P_DEFAULT);
    H5Dclose(d);
    H5Pclose(dcpl);
    H5Sclose(space);
    H5Tclose(type);
}

// The metadata as one-byte strings in a chunked, extendible dataset (or a
// contiguous one of fixed size for a chunk of 0).
inline void metadataDataset(hid_t group, const std::string& text, hsize_t chunk = 1024) {
    hid_t type = H5Tcopy(H5T_C_S1);
    H5Tset_size(type, 1);
    hsize_t dims = text.size(), maxDims = chunk > 0 ? H5S_UNLIMITED : dims;
    hid_t space = H5Screate_simple(1, &dims, &maxDims);
    hid_t dcpl = H5Pcreate(H5P_DATASET_CREATE);
    if (chunk > 0) H5Pset_chunk(dcpl, 1, &chunk);
    hid_t d = H5Dcreate2(group, "metadata", type, space, H5P_DEFAULT, dcpl, H5P_DEFAULT);
    if (!text.empty()) H5Dwrite(d, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, text.data());
    H5Dclose(d);
    H5Pclose(dcpl);
    H5Sclose(space);
    H5Tclose(type);
}

inline bool writeBag(const std::string& path, const Bag& b) {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    hid_t f = H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
    if (f < 0) return false;
    hid_t g = H5Gcreate2(f, "/BAG_root", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    versionAttribute(g, b);
    gridDataset(g, "elevation", b, b.elevation, "Minimum Elevation Value", b.minElevation,
                "Maximum Elevation Value", b.maxElevation);
    gridDataset(g, "uncertainty", b, b.uncertainty, "Minimum Uncertainty Value", b.minUncertainty,
                "Maximum Uncertainty Value", b.maxUncertainty);
    if (b.tracking) trackingList(g);
    metadataDataset(g, b.metadata, b.metadataChunk);
    H5Gclose(g);
    return H5Fclose(f) >= 0;
}

// A signature block: "CSNO", version, identifier, counted parts, CRC-32.
inline std::string signatureBlock(uint32_t identifier, const std::vector<std::string>& parts, uint8_t version = 1,
                                  uint8_t countOverride = 0) {
    std::string sig(1, char(countOverride ? countOverride : parts.size()));
    for (const std::string& p : parts) sig += char(p.size()) + p;
    std::string block = "CSNO";
    block += char(version);
    for (int i = 0; i < 4; ++i) block += char(identifier >> (8 * i));
    block += sig;
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(block.data() + 5), uInt(4 + sig.size()));
    for (int i = 0; i < 4; ++i) block += char(crc >> (8 * i));
    block.resize(1024, '\0');
    return block;
}

// Keeps a file as a fuzzing seed when KIVO_FUZZ_SEEDS names a folder.
inline void saveFuzzSeed(const std::string& target, const std::string& name, const std::string& bytes) {
    const char* seeds = std::getenv("KIVO_FUZZ_SEEDS");
    if (!seeds || !*seeds) return;
    const std::string folder = std::string(seeds) + "/" + target;
    mkdir(seeds, 0755);
    mkdir(folder.c_str(), 0755);
    testsupport::writeFile(folder + "/" + name, bytes);
}

inline void appendBytes(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "ab");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

}  // namespace bagtest
