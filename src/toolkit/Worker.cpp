// The worker thread, its cancel flag and pipe, and the hand-over to the main thread.
#include "toolkit/Worker.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

#include "toolkit/Application.h"

namespace {

std::atomic<int> gRunning{0};

} // namespace

// One job's state: its thread may still hold it after the worker is gone.
struct TWorker::TState : TWorker::TCancel {
    std::mutex Mutex;
    std::condition_variable Ended;
    bool Done = false;
    TWorker* Owner; // null once the worker is gone (guarded by Mutex)

    explicit TState(TWorker* owner) : Owner(owner) {}
    ~TState() {
        for (const int fd : FPipe)
            if (fd >= 0) close(fd);
    }
    bool Open() { return pipe2(FPipe, O_CLOEXEC | O_NONBLOCK) == 0; }
    void Cancel() {
        FRequested = true;
        const char stop = 1;
        [[maybe_unused]] const ssize_t written = write(FPipe[1], &stop, 1);
    }
};

TWorker::TWorker(QObject* parent, int joinMs) : QObject(parent), FJoinMs(joinMs) {}

TWorker::~TWorker() {
    if (!FThread.joinable()) return;
    FState->Cancel();
    std::unique_lock lock(FState->Mutex);
    FState->Owner = nullptr;
    const bool ended = FState->Ended.wait_for(lock, std::chrono::milliseconds(FJoinMs),
                                              [this] { return FState->Done; });
    lock.unlock();
    if (ended) {
        FThread.join();
    } else {
        FThread.detach(); // it ends on its own, or with the process
    }
}

int TWorker::Running() {
    return gRunning.load();
}

bool TWorker::Start(TJob job) {
    if (Busy()) return false;
    auto state = std::make_shared<TState>(this);
    if (!state->Open()) return false;
    ++gRunning;
    try {
        FThread = std::thread([state, job = std::move(job)]() mutable {
            std::function<void()> then;
            try {
                then = job(*state);
            } catch (...) {
                then = [error = std::current_exception()] { std::rethrow_exception(error); };
            }
            job = nullptr; // what it holds goes before the job counts as ended
            std::lock_guard lock(state->Mutex);
            if (state->Owner != nullptr && !state->Requested()) {
                TWorker* owner = state->Owner;
                // Queued to the owner: dropped if it is destroyed before the loop gets there.
                QMetaObject::invokeMethod(
                    owner, [owner, then = std::move(then)] { owner->Finished(then); },
                    Qt::QueuedConnection);
            }
            then = nullptr;
            state->Done = true;
            --gRunning;
            state->Ended.notify_all();
        });
    } catch (const std::system_error&) {
        --gRunning;
        return false;
    }
    FState = std::move(state);
    return true;
}

void TWorker::Finished(const std::function<void()>& then) {
    FThread.join();
    FState.reset();
    // A result that comes after the close has saved would change a field no one saves, or
    // show a box that keeps the ending process open.
    if (Application != nullptr && Application->Ending()) return;
    try {
        if (then) then();
    } catch (...) {
        Application->HandleException(std::current_exception());
    }
}
