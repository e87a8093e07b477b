#pragma once
// Status codes of the tile store. The file codes are the ones the surface
// formats share, so that a caller sees the same number for the same trouble.
namespace KestrinStatus {
constexpr long OK = 0;
constexpr long BAD_ARGUMENT = -1;        // index out of range, value outside its field, wrong kind
constexpr long CANNOT_OPEN = 146006;     // a file cannot be opened or created
constexpr long BAD_VERSION = 146007;     // header of a version this store does not read
constexpr long WRITE_FAILED = 146020;    // a write, a transaction or a store failed; read-only store
constexpr long DAMAGED = 146021;         // bad magic, short or inconsistent header, damaged points file
}  // namespace KestrinStatus
