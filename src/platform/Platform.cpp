#include "platform/Platform.h"

namespace {
Platform* current = nullptr;
}

Platform& Sys() { return *current; }
void SetPlatform(Platform* platform) { current = platform; }
