// The application object: the message loop with its one idle-handler slot, the quit
// request, activation notices, the title, and the top-level handler for escaped errors.
#pragma once

#include <QApplication>

#include <concepts>
#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "toolkit/ErrorBox.h"

class TApplication : public QApplication {
    Q_OBJECT
  public:
    // Idle handler: called with done = true; leaving it true lets the loop block.
    using TIdleEvent = std::function<void(bool& done)>;
    using TActivationEvent = std::function<void(bool active)>;

    TApplication(int& argc, char** argv);
    ~TApplication() override;

    // The single idle-handler slot; an empty function empties it.
    void SetOnIdle(TIdleEvent handler);
    const TIdleEvent& OnIdle() const;

    // Runs passes until the quit request has been taken.
    void Run();
    // One pass: handle what is waiting without blocking, or else run the idle step.
    void HandleMessage();
    // Non-blocking: handles waiting messages; true when anything was handled.
    bool ProcessMessage();
    // The idle step: idle bookkeeping, then the slot with done = true; blocks for the
    // next message when done stays true. Errors from the slot are shown, then the test goes on.
    void Idle();

    // Posts the quit request; the loop ends when it takes it.
    void Terminate();
    bool Terminated() const;
    // True from Terminate() on: the close has saved, so what the messages still waiting would
    // start (a worker's result, an error box) is dropped, and no box holds the process open.
    bool Ending() const { return FQuitAsked; }

    // True while one of the application's windows is active.
    bool Active() const;
    // Subscribes to activation and deactivation; returns an id for RemoveActivationHandler.
    int AddActivationHandler(TActivationEvent handler);
    void RemoveActivationHandler(int id);

    // Program file name without folder, cut at its first full stop, the rest after the first
    // character in lower case.
    QString Title() const;

    // Top-level handler: shows the error box for the current exception (EAbort shows nothing);
    // once ending, the text goes to standard error instead.
    void HandleException(std::exception_ptr error);
    // The box of a close whose save failed with error (see AskAfterFailedClose), naming
    // fileName below the message unless the message names it; Cancel without a box for
    // EAbort, and once ending (the text then goes to standard error).
    TCloseChoice AskAfterFailedClose(std::exception_ptr error, const QString& fileName);
    // Number of error boxes shown so far (for tests and diagnostics).
    int ErrorBoxCount() const;

    // Catches errors escaping event handlers so the loop carries on.
    bool notify(QObject* receiver, QEvent* event) override;

  protected:
    bool event(QEvent* event) override;
    // Protected so that the tests' one application object can start each test afresh.
    bool FTerminated = false;
    bool FQuitAsked = false; // Terminate() was called; the loop ends once FTerminated is set
    int FErrorBoxCount = 0;

  private:
    TIdleEvent FOnIdle;
    int FNextActivationId = 1;
    std::vector<std::pair<int, TActivationEvent>> FActivationHandlers;
};

// The one application object, set by its constructor.
extern TApplication* Application;

// Wraps a handler that Qt calls (a slot, a callback) so that its errors are shown right there.
// Qt's widget code is built without exception support: an error unwinding through it to
// notify() skips its clean-ups.
template <class F> auto Guarded(F handler) {
    // Constrained, so Qt's connect sees only the argument counts the handler takes.
    return [handler = std::move(handler)]<class... A>
    requires std::invocable<const F&, A...>(A && ... args)
    ->void {
        try {
            handler(std::forward<A>(args)...);
        } catch (...) {
            Application->HandleException(std::current_exception());
        }
    };
}
