// The clipboard's data from another program, asked for in a worker thread (on X, on a private
// connection). Qt's own clipboard waits for each answer with the loop stopped, so an owner that never
// answers (a stopped or hung program) would stop the frames, the close and the signals with it.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

#include "toolkit/Worker.h"

class TSelectionFetch : public QObject {
  public:
    enum class TOutcome {
        Data,         // Target is the type chosen, Bytes its data
        Refused,      // Target is the type chosen, which the owner would not hand over
        Nothing,      // no owner, or none of the types offered is wanted
        NoAnswer,     // the owner made no progress for NoProgressMs: given up, later data dropped
        TooSlow,      // the transfer took longer than DeadlineMs: given up
        TooLarge,     // the data is larger than TransferCap: given up
        TooManyTypes, // the owner offers more than MaxTargets types
        Unavailable,  // no connection of our own to the display
    };
    struct TResult {
        TOutcome Outcome = TOutcome::Nothing;
        QString Target;
        QByteArray Bytes;
    };
    // Picks the type to ask for among the names offered, or "" for none. Runs in the worker.
    using TChoose = std::function<QString(const QStringList& targets)>;
    using TDone = std::function<void(const TResult& result)>;

    // The limits of one transfer: no progress for 5 s, or 30 s in all, or more than 256 MB,
    // or a list of more than 4,096 types ends it.
    static constexpr int NoProgressMs = 5000;
    static constexpr int DeadlineMs = 30000;
    static constexpr qsizetype TransferCap = qsizetype(256) << 20;
    static constexpr int MaxTargets = 4096;
    // What the user is told when a fetch is given up.
    static constexpr const char* NoAnswerText = "The other program did not hand over its data";
    // What the user is told of an outcome, or null for Data, Refused and Nothing.
    static const char* Problem(TOutcome outcome);

    // done runs on the main thread, once per fetch.
    TSelectionFetch(QObject* parent, TDone done);
    // Ends a fetch under way (it answers within half a second, however stuck the owner).
    ~TSelectionFetch() override;

    // How a fetch reaches the display, run in the worker: set by the platform that offers one
    // (on X), reset to none as it closes.
    using TSource = std::function<TResult(const TWorker::TCancel& cancel, const TChoose& choose)>;
    static void SetSource(TSource source);
    // True while a source is set, where fetches run; elsewhere Qt's clipboard is all there is.
    static bool Available();
    // Starts fetching the clipboard: the types it offers, then the one chosen, large data in
    // parts. False (nothing started) while a fetch runs or when not Available.
    bool Start(TChoose choose);
    bool Busy() const;

  private:
    TDone FDone;
    TWorker* FWorker;
};
