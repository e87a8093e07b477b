#include "platform/core/NORVAEnvironment.h"

#include <cstdlib>

namespace NORVAEnvironment {

NORVAUString getVar(const NORVAUString& key) {
    const char* v = std::getenv(key.toUTF8().c_str());
    return v ? NORVAUString(v) : NORVAUString();
}

bool hasVar(const NORVAUString& key) { return std::getenv(key.toUTF8().c_str()) != nullptr; }

}  // namespace NORVAEnvironment
