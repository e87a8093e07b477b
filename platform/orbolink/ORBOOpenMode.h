#pragma once
// How the data-set layer asks for a data set: 0 reads; the other modes are
// the layer's own and a plug-in that only reads refuses them.
#include <cstdint>

namespace NORVA {

enum OPEN_MODE : int32_t { READ_ONLY = 0, UPDATE = 1, CREATE = 2 };

}  // namespace NORVA
