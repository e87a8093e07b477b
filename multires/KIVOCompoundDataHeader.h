#pragma once
// The ".kms" header of a compound (multi-resolution) surface: its bounds,
// the name of the selector attribute and the table of member ranges with
// their resolutions. Little-endian, field by field:
//   12  magic 0x89 "KIVOMRS" CR LF 0x1A LF
//    2  version (1)           2  reserved (0)
//   16  minimum x, y (f64)   16  maximum x, y (f64)
//    4  n, name length in UTF-16 code units, then 2 x n bytes of UTF-16LE
//    4  entry count (signed), then per entry in key order:
//       low (f64), high (f64), resolution (f32)
#include "platform/core/KIVOExport.h"
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/core/NORVAArray.h"
#include "platform/core/NORVAObject.h"
#include "platform/core/NORVAUString.h"
#include "platform/frame/KIVOSurfaceRecords.h"

class KIVO_EXPORT KIVOCompoundDataHeader : public NORVAObject {
public:
    static constexpr long kNoStream = -1;
    static constexpr long kBadVersion = 146007;
    static constexpr long kBadReserved = 146008;
    static constexpr long kWriteFailed = 146020;  // also a table shorter than its count
    static constexpr long kBadHeader = 146021;    // magic, short read, lengths, numbers that are not finite
    static constexpr long kSeekFailed = 146022;
    static constexpr long kBadValue = -1;         // non-finite bounds, ranges or resolutions to be written

    static constexpr uint16_t kVersion = 1;
    static constexpr size_t kMagicSize = 12;
    static const uint8_t kMagic[kMagicSize];

    // A new header; non-finite bounds, keys or resolutions give kBadValue.
    KIVOCompoundDataHeader(const NORVAArray<double>& minimum, const NORVAArray<double>& maximum,
                           const NORVAUString& selector, const KIVOResolutionTable& table);
    // Reads a header file; the result is the status word.
    explicit KIVOCompoundDataHeader(FILE* file);
    // Reads a header from bytes (the whole file's contents).
    KIVOCompoundDataHeader(const uint8_t* data, size_t size);

    // Positions the stream at its start and writes the header.
    long write(FILE* file) const;
    void encode(std::vector<uint8_t>& out) const;

    uint16_t getVersion() const { return m_version; }
    const NORVAArray<double>& getMinimum() const { return m_minimum; }
    const NORVAArray<double>& getMaximum() const { return m_maximum; }
    const NORVAUString& getSelectorAttribute() const { return m_selector; }
    const KIVOResolutionTable& getResolutionTable() const { return m_table; }

    void print(std::ostream& os) const override;

private:
    long decode(const uint8_t* data, size_t size);
    long decodeName(const uint8_t* data, size_t size, size_t& pos);
    long decodeTable(const uint8_t* data, size_t size, size_t& pos);

    uint16_t m_version = kVersion;
    uint16_t m_reserved = 0;
    NORVAArray<double> m_minimum{0.0, 0.0};
    NORVAArray<double> m_maximum{0.0, 0.0};
    NORVAUString m_selector;
    KIVOResolutionTable m_table;
};
