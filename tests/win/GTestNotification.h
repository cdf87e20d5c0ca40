// GoogleTest's Notification, read before its own: its version waits on std::condition_variable,
// which the win32 thread model of this compiler (the product's) lacks. Only GoogleTest's own
// thread helpers use it; a flag the waiting thread polls does the same.
#pragma once
#include <windows.h>

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
public:
    Notification() = default;
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { notified_.store(true); }
    void WaitForNotification()
    {
        while (!notified_.load()) ::Sleep(1);
    }

private:
    std::atomic<bool> notified_{false};
};

}  // namespace testing::internal
