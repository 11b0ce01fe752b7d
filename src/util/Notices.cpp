// The held notices: a list behind a lock, with a flag the frame reads without taking it.
#include "util/Notices.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

std::mutex Lock;
std::vector<std::string> Held;
std::vector<std::string> Shown; // every text held in this run: each reaches the window once
std::atomic<bool> Waiting{false};

} // namespace

void SayNotice(const std::string& text) {
    std::fprintf(stderr, "voxel: %s\n", text.c_str());
    std::lock_guard guard(Lock);
    if (std::find(Shown.begin(), Shown.end(), text) != Shown.end()) return;
    Shown.push_back(text);
    Held.push_back(text);
    Waiting.store(true, std::memory_order_release);
}

bool NoticesWaiting() noexcept {
    return Waiting.load(std::memory_order_acquire);
}

std::vector<std::string> TakeNotices() {
    std::lock_guard guard(Lock);
    Waiting.store(false, std::memory_order_relaxed);
    std::vector<std::string> taken;
    taken.swap(Held);
    return taken;
}
