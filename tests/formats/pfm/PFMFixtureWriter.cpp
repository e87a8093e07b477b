#include "PFMFixtureWriter.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace pfmfixture {
namespace {

const uint64_t kSplit = 2147483647ULL;
const size_t kHeaderBytes = 16384;

std::string fileName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void makeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) throw std::runtime_error("mkdir " + path);
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) throw std::runtime_error("write " + path);
}

uint64_t scaled(double value, double scale) { return static_cast<uint64_t>(std::llround(value * scale)); }

struct Packer {
    std::vector<uint8_t>& buffer;
    uint64_t bit = 0;
    void put(int width, uint64_t value) {
        setBits(buffer, bit, width, value);
        bit += static_cast<uint64_t>(width);
    }
    // Fields wider than 31 bits: quotient by 2^31 - 1, then 31 bits of remainder.
    void putWide(int width, uint64_t value) {
        if (width <= 31) {
            put(width, value);
            return;
        }
        put(width - 31, value / kSplit);
        put(31, value % kSplit);
    }
};

std::string number(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.15f", v);
    return text;
}

bool omitted(const Spec& spec, const std::string& key) {
    for (const auto& k : spec.omitKeys)
        if (k == key) return true;
    return false;
}

}  // namespace

void setBits(std::vector<uint8_t>& buffer, uint64_t first, int width, uint64_t value) {
    for (int i = 0; i < width; ++i) {
        const uint64_t bit = first + static_cast<uint64_t>(i);
        const bool on = (value >> (width - 1 - i)) & 1U;
        const uint8_t mask = static_cast<uint8_t>(0x80U >> (bit % 8));
        if (on)
            buffer.at(bit / 8) |= mask;
        else
            buffer.at(bit / 8) &= static_cast<uint8_t>(~mask);
    }
}

int versionCode(const std::string& version) { return static_cast<int>(std::atof(version.c_str()) * 10.0 + 0.05); }

int recordBits(const Spec& spec) {
    int bits = spec.countBits + spec.stdBits + 6 * spec.depthBits;
    if (versionCode(spec.version) >= 40) {
        bits += spec.attrBits[0] + spec.attrBits[1] + spec.attrBits[2] + spec.validityBits;
    } else {
        for (int b : spec.flagBits) bits += b;
        bits += spec.projectedXBits;
    }
    return bits + 2 * spec.pointerBits;
}

int recordBytes(const Spec& spec) { return (recordBits(spec) + 7) / 8; }

std::vector<uint8_t> packRecord(const Spec& spec, const Bin& bin) {
    std::vector<uint8_t> out(static_cast<size_t>(recordBytes(spec)), 0);
    Packer p{out};
    p.put(spec.countBits, bin.count);
    p.put(spec.stdBits, scaled(bin.stdDev, spec.stdScale));
    for (double d : {bin.avgFiltered, bin.minFiltered, bin.maxFiltered, bin.avg, bin.min, bin.max})
        p.put(spec.depthBits, scaled(d + spec.depthOffset, spec.depthScale));
    if (versionCode(spec.version) >= 40) {
        for (int i = 0; i < 3; ++i) p.put(spec.attrBits[i], scaled(bin.attr[i] - spec.attrMin[i], spec.attrScale[i]));
        p.put(spec.validityBits, bin.validity);
    } else {
        for (int i = 0; i < 7; ++i) p.put(spec.flagBits[i], bin.flags[i]);
        p.put(spec.projectedXBits, bin.projectedX);
    }
    p.putWide(spec.pointerBits, bin.head);
    p.putWide(spec.pointerBits, bin.tail);
    return out;
}

std::string headerText(const Spec& spec) {
    const int code = versionCode(spec.version);
    std::ostringstream s;
    auto line = [&](const std::string& key, const std::string& value) {
        if (!omitted(spec, key)) s << key << " = " << value << "\n";
    };
    line("[VERSION]", "PFM Software - PFM I/O library V" + spec.version + " - 08/31/06");
    line("[DATE]", spec.date);
    line("[CLASSIFICATION]", "UNCLASSIFIED");
    line("[MIN Y]", number(spec.minY));
    line("[MIN X]", number(spec.minX));
    line("[MAX Y]", number(spec.maxY));
    line("[MAX X]", number(spec.maxX));
    line("[BIN SIZE XY]", number(spec.binSizeXY));
    line("[X BIN SIZE]", number(spec.xBinSize));
    line("[Y BIN SIZE]", number(spec.yBinSize));
    line("[BIN WIDTH]", std::to_string(spec.width));
    line("[BIN HEIGHT]", std::to_string(spec.height));
    line("[MIN DEPTH]", number(spec.minDepth));
    line("[MAX DEPTH]", number(spec.maxDepth));
    line("[NULL DEPTH]", number(spec.maxDepth + 1.0));
    line("[RECORD LENGTH]", "6");
    line("[COUNT BITS]", std::to_string(spec.countBits));
    line("[STD BITS]", std::to_string(spec.stdBits));
    line("[STD SCALE]", number(spec.stdScale));
    line("[DEPTH BITS]", std::to_string(spec.depthBits));
    line("[DEPTH SCALE]", number(spec.depthScale));
    line("[DEPTH OFFSET]", number(spec.depthOffset));
    line("[RECORD POINTER BITS]", std::to_string(spec.pointerBits));
    line("[OFFSET BITS]", "10");
    if (code >= 40) {
        line("[VALIDITY BITS]", std::to_string(spec.validityBits));
        line("[PROJECTION]", spec.projected ? "1" : "0");
        for (int i = 0; i < 3; ++i) {
            const std::string n = std::to_string(i);
            line("[ATTRIBUTE " + n + "]", spec.attrNames[i]);
            line("[MINIMUM ATTRIBUTE " + n + "]", number(spec.attrMin[i]));
            line("[MAXIMUM ATTRIBUTE " + n + "]", number(spec.attrMax[i]));
            line("[ATTRIBUTE BITS " + n + "]", std::to_string(spec.attrBits[i]));
            line("[ATTRIBUTE SCALE " + n + "]", number(spec.attrScale[i]));
        }
        if (spec.numAttributes >= 0) line("[NUMBER OF ATTRIBUTES]", std::to_string(spec.numAttributes));
    } else {
        const char* flags[7] = {"[EDITED FLAG BITS]", "[CHECKED FLAG BITS]", "[SUSPECT FLAG BITS]",
                                "[DATA FLAG BITS]",   "[SELECTED FLAG BITS]", "[CLASS 1 FLAG BITS]",
                                "[CLASS 2 FLAG BITS]"};
        for (int i = 0; i < 7; ++i) line(flags[i], std::to_string(spec.flagBits[i]));
        line("[PROJECTED X BITS]", std::to_string(spec.projectedXBits));
    }
    for (const auto& extra : spec.extraLines) s << extra << "\n";
    std::string text = s.str();
    if (text.size() > kHeaderBytes) throw std::runtime_error("header too long");
    text.resize(kHeaderBytes, '\0');
    return text;
}

std::vector<uint8_t> binFileBytes(const Spec& spec) {
    const std::string header = headerText(spec);
    std::vector<uint8_t> bytes(header.begin(), header.end());
    const Bin empty;
    for (int row = 0; row < spec.height; ++row) {
        for (int column = 0; column < spec.width; ++column) {
            auto it = spec.bins.find({column, row});
            const std::vector<uint8_t> record = packRecord(spec, it == spec.bins.end() ? empty : it->second);
            bytes.insert(bytes.end(), record.begin(), record.end());
        }
    }
    return bytes;
}

void writeHugeFile(const std::string& folder, const std::vector<uint8_t>& bytes, uint64_t pieceSize) {
    makeFolder(folder);
    writeText(folder + "/config", std::to_string(bytes.size()) + "\n");
    uint64_t done = 0;
    int piece = 0;
    do {
        char name[32];
        std::snprintf(name, sizeof name, "/hugefile.%03d", piece++);
        const uint64_t n = std::min<uint64_t>(pieceSize, bytes.size() - done);
        std::ofstream out(folder + name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data() + done), static_cast<std::streamsize>(n));
        done += n;
    } while (done < bytes.size());
}

Paths write(const std::string& folder, const std::string& name, const Spec& spec, uint64_t pieceSize) {
    Paths p;
    p.handle = folder + "/" + name;
    p.dataFolder = p.handle + ".data";
    const std::string stem = p.dataFolder + "/" + fileName(name);
    p.list = stem + ".ctl";
    p.line = stem + ".lin";
    p.bin = stem + ".bin";
    p.index = stem + ".ndx";
    const std::string versionText = "PFM Software - PFM I/O library V" + spec.version + " - 08/31/06";

    writeText(p.handle, "PFM Handle File - " + versionText + "\n#\n# This is a PFM handle file.\n#\n");
    makeFolder(p.dataFolder);
    std::ostringstream list;
    list << versionText << "\n" << p.bin << "\n" << p.index << "\nNONE\nNONE\n";
    const int code = versionCode(spec.version);
    for (size_t i = 0; i < spec.inputFiles.size(); ++i) {
        if (code < 30)
            list << spec.inputFiles[i] << "\n";
        else if (code < 40)
            list << "  " << i << " " << spec.inputFiles[i] << "\n";
        else
            list << "  " << i << " 2 " << spec.inputFiles[i] << "\n";
    }
    writeText(p.list, list.str());
    writeText(p.line, "");
    writeHugeFile(p.bin, binFileBytes(spec), pieceSize);
    writeHugeFile(p.index, {}, pieceSize);
    return p;
}

}  // namespace pfmfixture
