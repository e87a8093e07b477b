#pragma once
// Status codes of the tile-store surface classes.
namespace KestrinStatusCodes {
constexpr long FAILED = -1;                  // no store, no data-IO, wrong type, metadata not XML
constexpr long INDEX_OUT_OF_RANGE = 146166;  // string-table index not below the count
constexpr long NOT_OFFERED = 700028;         // an operation the class does not offer
}  // namespace KestrinStatusCodes
