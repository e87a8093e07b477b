#pragma once
// A tile store on disk: the header s.kps (or s.kts) and the points s.ktf.
#include "platform/core/KIVOExport.h"
#include "platform/kestrin/NORVAKestrinDataIO.h"

class KIVO_EXPORT NORVAKestrinTileDataIO : public NORVAKestrinDataIO {
public:
    // Mode READ opens read-only; UPDATE lets edits and batches reach the file.
    NORVAKestrinTileDataIO(const NORVAUString& path, int mode) : NORVAKestrinDataIO(path, mode == UPDATE) {}
};
