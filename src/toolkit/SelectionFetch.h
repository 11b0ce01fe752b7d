// The clipboard's data from another program, asked for on a private X connection in a worker
// thread. Qt's own clipboard waits for each answer with the loop stopped, so an owner that never
// answers (a stopped or hung program) would stop the frames, the close and the signals with it.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <thread>

class TSelectionFetch : public QObject {
  public:
    enum class TOutcome {
        Data,        // Target is the type chosen, Bytes its data (empty when the owner refused)
        Nothing,     // no owner, or none of the types offered is wanted
        NoAnswer,    // the owner made no progress for NoProgressMs: given up, later data dropped
        Unavailable, // no connection of our own to the display
    };
    struct TResult {
        TOutcome Outcome = TOutcome::Nothing;
        QString Target;
        QByteArray Bytes;
    };
    // Picks the type to ask for among the names offered, or "" for none. Runs in the worker.
    using TChoose = std::function<QString(const QStringList& targets)>;
    using TDone = std::function<void(const TResult& result)>;

    static constexpr int NoProgressMs = 5000;
    // What the user is told when a fetch is given up.
    static constexpr const char* NoAnswerText = "The other program did not hand over its data";

    // done runs on the main thread, once per fetch.
    TSelectionFetch(QObject* parent, TDone done);
    // Ends a fetch under way at once and waits for its worker, however stuck the owner.
    ~TSelectionFetch() override;

    // True on an X display, where fetches run; elsewhere Qt's clipboard is all there is.
    static bool Available();
    // Starts fetching the clipboard: the types it offers, then the one chosen, large data in
    // parts. False (nothing started) while a fetch runs or when not Available.
    bool Start(TChoose choose);
    bool Busy() const { return FWorker.joinable(); }

  private:
    void Finished(const TResult& result);
    TDone FDone;
    std::thread FWorker;
    int FCancel[2] = {-1, -1}; // a byte written to [1] ends the worker's fetch
};
