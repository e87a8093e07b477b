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

bool omitted(const Plan& plan, const std::string& key) {
    for (const auto& k : plan.omitKeys)
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

int recordBits(const Plan& plan) {
    int bits = plan.countBits + plan.stdBits + 6 * plan.depthBits;
    if (versionCode(plan.version) >= 40) {
        bits += plan.attrBits[0] + plan.attrBits[1] + plan.attrBits[2] + plan.validityBits;
    } else {
        for (int b : plan.flagBits) bits += b;
        bits += plan.projectedXBits;
    }
    return bits + 2 * plan.pointerBits;
}

int recordBytes(const Plan& plan) { return (recordBits(plan) + 7) / 8; }

std::vector<uint8_t> packRecord(const Plan& plan, const Bin& bin) {
    std::vector<uint8_t> out(static_cast<size_t>(recordBytes(plan)), 0);
    Packer p{out};
    p.put(plan.countBits, bin.count);
    p.put(plan.stdBits, scaled(bin.stdDev, plan.stdScale));
    for (double d : {bin.avgFiltered, bin.minFiltered, bin.maxFiltered, bin.avg, bin.min, bin.max})
        p.put(plan.depthBits, scaled(d + plan.depthOffset, plan.depthScale));
    if (versionCode(plan.version) >= 40) {
        for (int i = 0; i < 3; ++i) p.put(plan.attrBits[i], scaled(bin.attr[i] - plan.attrMin[i], plan.attrScale[i]));
        p.put(plan.validityBits, bin.validity);
    } else {
        for (int i = 0; i < 7; ++i) p.put(plan.flagBits[i], bin.flags[i]);
        p.put(plan.projectedXBits, bin.projectedX);
    }
    p.putWide(plan.pointerBits, bin.head);
    p.putWide(plan.pointerBits, bin.tail);
    return out;
}

std::string headerText(const Plan& plan) {
    const int code = versionCode(plan.version);
    std::ostringstream s;
    auto line = [&](const std::string& key, const std::string& value) {
        if (!omitted(plan, key)) s << key << " = " << value << "\n";
    };
    line("[VERSION]", "PFM Software - PFM I/O library V" + plan.version + " - 08/31/06");
    line("[DATE]", plan.date);
    line("[CLASSIFICATION]", "UNCLASSIFIED");
    line("[MIN Y]", number(plan.minY));
    line("[MIN X]", number(plan.minX));
    line("[MAX Y]", number(plan.maxY));
    line("[MAX X]", number(plan.maxX));
    line("[BIN SIZE XY]", number(plan.binSizeXY));
    line("[X BIN SIZE]", number(plan.xBinSize));
    line("[Y BIN SIZE]", number(plan.yBinSize));
    line("[BIN WIDTH]", std::to_string(plan.width));
    line("[BIN HEIGHT]", std::to_string(plan.height));
    line("[MIN DEPTH]", number(plan.minDepth));
    line("[MAX DEPTH]", number(plan.maxDepth));
    line("[NULL DEPTH]", number(plan.maxDepth + 1.0));
    line("[RECORD LENGTH]", "6");
    line("[COUNT BITS]", std::to_string(plan.countBits));
    line("[STD BITS]", std::to_string(plan.stdBits));
    line("[STD SCALE]", number(plan.stdScale));
    line("[DEPTH BITS]", std::to_string(plan.depthBits));
    line("[DEPTH SCALE]", number(plan.depthScale));
    line("[DEPTH OFFSET]", number(plan.depthOffset));
    line("[RECORD POINTER BITS]", std::to_string(plan.pointerBits));
    line("[OFFSET BITS]", "10");
    if (code >= 40) {
        line("[VALIDITY BITS]", std::to_string(plan.validityBits));
        line("[PROJECTION]", plan.projected ? "1" : "0");
        for (int i = 0; i < 3; ++i) {
            const std::string n = std::to_string(i);
            line("[ATTRIBUTE " + n + "]", plan.attrNames[i]);
            line("[MINIMUM ATTRIBUTE " + n + "]", number(plan.attrMin[i]));
            line("[MAXIMUM ATTRIBUTE " + n + "]", number(plan.attrMax[i]));
            line("[ATTRIBUTE BITS " + n + "]", std::to_string(plan.attrBits[i]));
            line("[ATTRIBUTE SCALE " + n + "]", number(plan.attrScale[i]));
        }
        if (plan.numAttributes >= 0) line("[NUMBER OF ATTRIBUTES]", std::to_string(plan.numAttributes));
    } else {
        const char* flags[7] = {"[EDITED FLAG BITS]", "[CHECKED FLAG BITS]", "[SUSPECT FLAG BITS]",
                                "[DATA FLAG BITS]",   "[SELECTED FLAG BITS]", "[CLASS 1 FLAG BITS]",
                                "[CLASS 2 FLAG BITS]"};
        for (int i = 0; i < 7; ++i) line(flags[i], std::to_string(plan.flagBits[i]));
        line("[PROJECTED X BITS]", std::to_string(plan.projectedXBits));
    }
    for (const auto& extra : plan.extraLines) s << extra << "\n";
    std::string text = s.str();
    if (text.size() > kHeaderBytes) throw std::runtime_error("header too long");
    text.resize(kHeaderBytes, '\0');
    return text;
}

std::vector<uint8_t> binFileBytes(const Plan& plan) {
    const std::string header = headerText(plan);
    std::vector<uint8_t> bytes(header.begin(), header.end());
    const Bin empty;
    for (int row = 0; row < plan.height; ++row) {
        for (int column = 0; column < plan.width; ++column) {
            auto it = plan.bins.find({column, row});
            const std::vector<uint8_t> record = packRecord(plan, it == plan.bins.end() ? empty : it->second);
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

Paths write(const std::string& folder, const std::string& name, const Plan& plan, uint64_t pieceSize) {
    Paths p;
    p.handle = folder + "/" + name;
    p.dataFolder = p.handle + ".data";
    const std::string stem = p.dataFolder + "/" + fileName(name);
    p.list = stem + ".ctl";
    p.line = stem + ".lin";
    p.bin = stem + ".bin";
    p.index = stem + ".ndx";
    const std::string versionText = "PFM Software - PFM I/O library V" + plan.version + " - 08/31/06";

    writeText(p.handle, "PFM Handle File - " + versionText + "\n#\n# This is a PFM handle file.\n#\n");
    makeFolder(p.dataFolder);
    std::ostringstream list;
    list << versionText << "\n" << p.bin << "\n" << p.index << "\nNONE\nNONE\n";
    const int code = versionCode(plan.version);
    for (size_t i = 0; i < plan.inputFiles.size(); ++i) {
        if (code < 30)
            list << plan.inputFiles[i] << "\n";
        else if (code < 40)
            list << "  " << i << " " << plan.inputFiles[i] << "\n";
        else
            list << "  " << i << " 2 " << plan.inputFiles[i] << "\n";
    }
    writeText(p.list, list.str());
    writeText(p.line, "");
    writeHugeFile(p.bin, binFileBytes(plan), pieceSize);
    writeHugeFile(p.index, {}, pieceSize);
    return p;
}

}  // namespace pfmfixture
