// The clipboard asked for on a connection of its own to an X display, in a worker thread: the
// selection worker's job.
#pragma once

#include <string>

#include "toolkit/SelectionFetch.h"
#include "toolkit/Worker.h"

// Opens a connection to display for this one fetch and closes it after: it reads and drops
// every event that comes to it, so it cannot be one the presenter waits on.
TSelectionFetch::TResult RequestSelection(const std::string& display,
                                          const TWorker::TCancel& cancel,
                                          const TSelectionFetch::TChoose& choose);
