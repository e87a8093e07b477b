#pragma once
// A cell store on disk, always read-only: the header s.kcs and the points s.kcf.
#include "platform/core/KIVOExport.h"
#include "platform/kestrin/NORVAKestrinDataIO.h"

class KIVO_EXPORT NORVAKestrinCellDataIO : public NORVAKestrinDataIO {
public:
    explicit NORVAKestrinCellDataIO(const NORVAUString& path) : NORVAKestrinDataIO(path, false) {}
};
