#pragma once
// The definition file ".def" of a weighted-grid surface: a small text file
// of bracketed sections with "KEY = value" lines, read and written in the C
// numeric locale whatever the process locale is.
//
// Reading is strict where a value matters: every count, size, position and
// depth must be a whole number in the C notation (surrounding blanks
// allowed), a key line must hold "=", and an IMAGE SHADING section may hold
// at most nine key lines; anything else is refused with 146142 rather than
// read as 0 or dropped. CR LF line ends are read like LF. Old "Version 1"
// files are refused with 146142.
#include <cfloat>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAUString.h"

class KIVO_EXPORT WGridDefinition {
public:
    // Limits of the text: longer keys, names or values are refused.
    static constexpr size_t kMaxKeyLength = 63;
    static constexpr size_t kMaxLineLength = 2047;
    // A definition is a few hundred bytes; a larger file is not one.
    static constexpr uint64_t kMaxFileSize = 1u << 20;
    static constexpr uint32_t kShadingKeyLimit = 9;

    // Fields the file sets (see the writer for the text of each).
    NORVAUString projectionName;
    NORVAUString projectionDetail;
    double fileVersion = 0.0;
    double currentVersion = 2.1;
    double centerX = 0.0, centerY = 0.0;
    double rotation = 0.0;
    double resolution = 0.0;
    uint32_t pixelsX = 0, pixelsY = 0;
    uint32_t fragmentSize = 0;
    double width = 0.0, height = 0.0;
    double swCorner[2] = {0.0, 0.0};
    double neCorner[2] = {0.0, 0.0};
    double minDepth = DBL_MAX;
    double maxDepth = -DBL_MAX;
    double area = 0.0;
    bool outdated = false;
    NORVAUString representation;
    // Unknown DATA keys, kept as "key = value" in file order.
    std::vector<std::string> extraDataLines;
    // Beam weights in decreasing angle order.
    std::vector<double> grazingAngles;
    std::vector<double> beamWeights;

    // Reads the file at `path` (the full ".def" path). 0, 146141 (cannot
    // open), 146142 (malformed) or 146143 (no section). Fields read before a
    // failure keep their values.
    long parseFile(const NORVAUString& path);
    // Parses definition text already in memory (what `parseFile` does after
    // reading the file).
    long parseText(const std::string& text);
    // Writes the file through a temporary file; 146141 when it cannot be
    // written, the old file then intact.
    long writeMetaData(const NORVAUString& path) const;
    // The text `writeMetaData` writes.
    std::string formatText() const;

private:
    class Cursor;

    long readBlock(Cursor& in, bool& sawSection);
    // One key line: `key` empty at the end of a block. 0 or 146142.
    long getTokenAndData(Cursor& in, std::string& key, std::string& value);
    long readHeader(const std::string& name);
    long readLocationBlock(Cursor& in);
    long readParameterBlock(Cursor& in);
    long readDataBlock(Cursor& in);
    long skipShadingBlock(Cursor& in);
    long readWeightingBlock(Cursor& in);
};
