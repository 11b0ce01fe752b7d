// SIGTERM, SIGHUP and SIGINT as messages of the loop: the handlers only write the signal's
// number to a pipe, which a socket notifier reads in whatever loop runs (ours or a modal box's).
#pragma once

#include <QObject>

#include <functional>
#include <string_view>

class QSocketNotifier;

class TSignalBridge : public QObject {
    Q_OBJECT
  public:
    using TSignalEvent = std::function<void(int signo)>;

    // Installs the handlers of SIGTERM, SIGHUP and SIGINT (a shutdown, a logout, Ctrl+C);
    // onSignal then runs in the loop, once for the signals received since it last ran, with
    // the latest one's number. One bridge at a time.
    explicit TSignalBridge(TSignalEvent onSignal, QObject* parent = nullptr);
    // Puts the previous handlers back.
    ~TSignalBridge() override;

    // While on, a signal ends the process at once with 128 + its number, from the handler
    // itself, so it works even when the loop is stuck; said (up to 1,023 bytes) is written to
    // standard error first.
    static void SetExitAtOnce(bool on, std::string_view said = {});
    // Drops the signals received that the loop has not taken yet.
    void Discard();

  private:
    void Take();
    TSignalEvent FOnSignal;
    QSocketNotifier* FNotifier;
};
