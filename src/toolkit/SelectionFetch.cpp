// The fetch in a worker of its own; the platform says how a fetch reaches the display.
#include "toolkit/SelectionFetch.h"

#include <utility>

#include "toolkit/Worker.h"

namespace {

// Null where the platform offers no clipboard of other programs to fetch.
TSelectionFetch::TSource& Source() {
    static TSelectionFetch::TSource source;
    return source;
}

} // namespace

const char* TSelectionFetch::Problem(TOutcome outcome) {
    switch (outcome) {
    case TOutcome::NoAnswer:
        return NoAnswerText;
    case TOutcome::TooSlow:
        return "The other program did not hand over its data within 30 seconds";
    case TOutcome::TooLarge:
        return "The other program's data is larger than 256 MB";
    case TOutcome::TooManyTypes:
        return "The other program offers more than 4096 types";
    case TOutcome::Unavailable:
        return "The clipboard cannot be reached";
    default:
        return nullptr;
    }
}

// A worker that answers its cancel at once is joined; half a second more is the most a close
// waits for one.
TSelectionFetch::TSelectionFetch(QObject* parent, TDone done)
    : QObject(parent), FDone(std::move(done)), FWorker(new TWorker(this, 500)) {}

TSelectionFetch::~TSelectionFetch() {
    delete FWorker; // ends the fetch while this object is whole
}

void TSelectionFetch::SetSource(TSource source) {
    Source() = std::move(source);
}

bool TSelectionFetch::Available() {
    return static_cast<bool>(Source());
}

bool TSelectionFetch::Busy() const {
    return FWorker->Busy();
}

bool TSelectionFetch::Start(TChoose choose) {
    if (!Available()) return false;
    return FWorker->Start([this, choose = std::move(choose),
                           source = Source()](const TWorker::TCancel& cancel) {
        TResult result = source(cancel, choose);
        // Run on the main thread by the worker, a child of this object.
        return std::function<void()>([this, result = std::move(result)] { FDone(result); });
    });
}
