#pragma once
// The suite's configuration lookup. Here the configuration is the process
// environment: a key is read as the environment variable of the same name.
#include "platform/core/NORVAUString.h"

namespace NORVAEnvironment {
// Empty when the key is not set.
NORVAUString getVar(const NORVAUString& key);
bool hasVar(const NORVAUString& key);
}  // namespace NORVAEnvironment
