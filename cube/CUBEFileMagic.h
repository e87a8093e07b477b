#pragma once
// The 13-byte signatures that open every CUBE file: 0x89, the name, CR LF,
// 0x1A, LF — so that a text-mode transfer or a truncated copy shows at once.
#include <cstdint>

namespace CUBEFileMagic {
constexpr uint8_t kLength = 13;
// Surface headers ".vcs" and grid-set files "vcg.idx".
constexpr uint8_t kSurface[kLength] = {0x89, 'N', 'O', 'R', 'V', 'A', 'V', 'C', 'S', '\r', '\n', 0x1A, '\n'};
// Grid files ".vcg".
constexpr uint8_t kGrid[kLength] = {0x89, 'N', 'O', 'R', 'V', 'A', 'V', 'C', 'G', '\r', '\n', 0x1A, '\n'};
// Layer-cache files ".vcc".
constexpr uint8_t kLayer[kLength] = {0x89, 'N', 'O', 'R', 'V', 'A', 'V', 'C', 'C', '\r', '\n', 0x1A, '\n'};
}  // namespace CUBEFileMagic
