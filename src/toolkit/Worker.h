// One job at a time in a thread of its own, for work that may wait on another program or take
// long (a clipboard transfer, a picture's decoding): the job can be cancelled, its result is
// handed to the main thread, and a job that does not end in time is abandoned, never joined.
#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class TWorker : public QObject {
  public:
    // What a running job is told: Requested() once it is cancelled; Fd() becomes readable
    // then, for a job that waits in poll().
    class TCancel {
      public:
        bool Requested() const { return FRequested.load(); }
        int Fd() const { return FPipe[0]; }

      protected:
        std::atomic<bool> FRequested{false};
        int FPipe[2] = {-1, -1};
    };
    // Runs in the worker; returns what then runs on the main thread (skipped when the job was
    // cancelled, the worker is gone or the application is ending). An exception it throws is
    // shown as an error there.
    using TJob = std::function<std::function<void()>(const TCancel& cancel)>;

    // joinMs: how long the end waits for a cancelled job before it abandons it.
    TWorker(QObject* parent, int joinMs);
    // Cancels a job under way; joins it if it ends within joinMs, else leaves it running.
    ~TWorker() override;

    // False (nothing started) while a job runs, or when no thread can be had.
    bool Start(TJob job);
    bool Busy() const { return FThread.joinable(); }
    // Jobs still running, in any worker, abandoned ones too: while there are any, the process
    // must end without unloading the code or destroying the statics they may use.
    static int Running();

  private:
    struct TState;
    void Finished(const std::function<void()>& then);
    int FJoinMs;
    std::shared_ptr<TState> FState; // shared with the job's thread, which may outlive this
    std::thread FThread;
};
