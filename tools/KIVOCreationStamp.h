#pragma once
// Creation date and time of a new surface's metadata, in GMT so that
// surfaces made in different time zones compare and sort alike.
#include "platform/core/NORVAUString.h"

namespace KIVOCreationStamp {

// "dd-MM-yyyy" of now in GMT; empty when ICU cannot format it.
NORVAUString date();
// "HH:mm:ss" of now in GMT; empty when ICU cannot format it.
NORVAUString time();

}  // namespace KIVOCreationStamp
