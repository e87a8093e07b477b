#pragma once
// Status codes of the tile store's point-cloud adapter, its bands, node
// iterators and plug-in.
namespace KestrinCloudStatus {
constexpr long NO_DATA_IO = 100001;         // no store data-IO, or no point iterator
constexpr long NO_DEPTH_FIELD = 144259;     // the store has no "Depth" field
constexpr long NO_POINT_CONFIG = 146160;    // the store has no point layout
constexpr long NO_RECORD_LAYOUT = 146161;   // the store or a record has no layout
constexpr long NO_CURRENT_POINT = 146162;
constexpr long NO_SUCH_BAND = 146163;
constexpr long NO_RECORD = 146164;
constexpr long NO_VALUE = 146165;           // a requested field holds no value
constexpr long NO_DEPTH_VALUE = 136153;     // no depth for a 3-D position
constexpr long UNSUPPORTED_MODE = 146153;   // the plug-in only reads
constexpr long NOT_OFFERED = 700028;
constexpr long FAILED = -1;                 // no coordinate system; a query geometry that is no area
}  // namespace KestrinCloudStatus
