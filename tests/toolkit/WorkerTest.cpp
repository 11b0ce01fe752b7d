// The worker: a result comes back on the main thread; its end cancels a job that waits and
// abandons one that will not stop, without waiting for it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>

#include <poll.h>

#include "support/QtHelpers.h"
#include "toolkit/Application.h"
#include "toolkit/Worker.h"

namespace {

void ProcessUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 2000 && !done(); ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
}

} // namespace

TEST(Worker, HandsTheResultToTheMainThreadOnceThenTakesAnotherJob) {
    QObject owner;
    auto* worker = new TWorker(&owner, 500);
    QThread* ranOn = nullptr;
    int runs = 0;
    ASSERT_TRUE(worker->Start([&](const TWorker::TCancel&) {
        const int value = 42;
        return std::function<void()>([&, value] {
            ranOn = QThread::currentThread();
            runs += value;
        });
    }));
    EXPECT_TRUE(worker->Busy());
    EXPECT_FALSE(worker->Start([](const TWorker::TCancel&) { return std::function<void()>(); }));
    ProcessUntil([&] { return !worker->Busy(); });
    EXPECT_EQ(ranOn, QThread::currentThread());
    EXPECT_EQ(runs, 42);
    EXPECT_EQ(TWorker::Running(), 0);
    EXPECT_TRUE(worker->Start([](const TWorker::TCancel&) { return std::function<void()>(); }));
    ProcessUntil([&] { return !worker->Busy(); });
}

// A job that waits in poll() on the cancel descriptor ends at the worker's end; its result is
// dropped.
TEST(Worker, ItsEndCancelsAWaitingJobAndDropsTheResult) {
    auto* owner = new QObject;
    auto* worker = new TWorker(owner, 10000);
    std::atomic<bool> cancelled = false, handed = false;
    ASSERT_TRUE(worker->Start([&](const TWorker::TCancel& cancel) {
        pollfd fd = {cancel.Fd(), POLLIN, 0};
        poll(&fd, 1, 20000);
        cancelled = cancel.Requested();
        return std::function<void()>([&] { handed = true; });
    }));
    delete owner;
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(TWorker::Running(), 0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(handed);
}

// A job that does not look at its cancel (a decoder) is left running: the end does not wait
// for it, Running() counts it until it ends, and its result never comes.
TEST(Worker, ItsEndAbandonsAJobThatWillNotStop) {
    auto* owner = new QObject;
    auto* worker = new TWorker(owner, 0);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> handed = false;
    ASSERT_TRUE(worker->Start([&handed, released](const TWorker::TCancel&) {
        released.wait_for(std::chrono::seconds(30));
        return std::function<void()>([&handed] { handed = true; });
    }));
    delete owner; // would wait for the release, which comes only after it
    EXPECT_EQ(TWorker::Running(), 1);
    release.set_value();
    for (int i = 0; i < 5000 && TWorker::Running() != 0; ++i)
        QThread::msleep(1);
    EXPECT_EQ(TWorker::Running(), 0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(handed);
}

// The close has saved and asked the loop to end: a result still waiting in the queue is dropped
// and an error shows no box, either of which would hold the ending process open or change a
// field no one saves.
TEST(Worker, AResultWaitingWhenTheQuitIsAskedIsDroppedAndNoBoxShows) {
    TModalBoxCloser watcher; // a box that did show is closed, and counted
    QObject owner;
    auto* worker = new TWorker(&owner, 500);
    bool handed = false;
    ASSERT_TRUE(worker->Start([&handed](const TWorker::TCancel&) {
        return std::function<void()>([&handed] { handed = true; });
    }));
    for (int i = 0; i < 5000 && TWorker::Running() != 0; ++i)
        QThread::msleep(1); // ended, its result queued
    Application->Terminate();
    EXPECT_TRUE(Application->Ending());
    Application->HandleException(std::make_exception_ptr(std::runtime_error("Late")));
    ProcessUntil([&] { return !worker->Busy(); });
    EXPECT_FALSE(worker->Busy());
    EXPECT_FALSE(handed);
    EXPECT_TRUE(watcher.Texts.empty());
}
