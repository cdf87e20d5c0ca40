#include "platform/Platform.h"

namespace {
Platform* current = nullptr;
}

Platform& Sys() { return *current; }
void SetPlatform(Platform* platform) { current = platform; }

Platform::~Platform() { delete currentDirectoryLock_.load(); }

Lock& Platform::CurrentDirectoryLock() {
    Lock* lock = currentDirectoryLock_.load();
    if (lock) return *lock;
    std::unique_ptr<Lock> made = NewLock();
    if (currentDirectoryLock_.compare_exchange_strong(lock, made.get())) return *made.release();
    return *lock;   // another thread's came first
}
