// The signal handlers (async-signal-safe: a flag test, write or _exit) and the pipe's reader.
#include "toolkit/SignalBridge.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace {

constexpr int Signals[] = {SIGTERM, SIGHUP, SIGINT};
int gPipe[2] = {-1, -1};
volatile std::sig_atomic_t gExitAtOnce = 0;
// What a signal that ends the process at once says first; written only while that is off.
char gSaid[1024];
volatile std::sig_atomic_t gSaidLength = 0;
struct sigaction gPrevious[std::size(Signals)];

extern "C" void OnSignalReceived(int signo) {
    if (gExitAtOnce) {
        [[maybe_unused]] const ssize_t said = write(STDERR_FILENO, gSaid, gSaidLength);
        _exit(128 + signo);
    }
    const int savedErrno = errno; // the interrupted code may be about to read errno
    const unsigned char number = static_cast<unsigned char>(signo);
    // Non-blocking: a full pipe already holds notices enough.
    [[maybe_unused]] const ssize_t written = write(gPipe[1], &number, 1);
    errno = savedErrno;
}

} // namespace

TSignalBridge::TSignalBridge(TSignalEvent onSignal, QObject* parent)
    : QObject(parent), FOnSignal(std::move(onSignal)) {
    // Without a pipe (no descriptors left) the signals keep ending the program as before.
    if (pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        gPipe[0] = gPipe[1] = -1;
        FNotifier = nullptr;
        return;
    }
    FNotifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TSignalBridge::Take);
    struct sigaction action = {};
    action.sa_handler = OnSignalReceived;
    sigemptyset(&action.sa_mask);
    // Restarted, so a save the signal interrupts carries on rather than failing with EINTR.
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(Signals); ++i)
        sigaction(Signals[i], &action, &gPrevious[i]);
}

TSignalBridge::~TSignalBridge() {
    if (FNotifier == nullptr) return;
    for (size_t i = 0; i < std::size(Signals); ++i)
        sigaction(Signals[i], &gPrevious[i], nullptr);
    gExitAtOnce = 0;
    delete FNotifier;
    close(gPipe[0]);
    close(gPipe[1]);
    gPipe[0] = gPipe[1] = -1;
}

void TSignalBridge::SetExitAtOnce(bool on, std::string_view said) {
    gExitAtOnce = 0;
    const size_t length = std::min(said.size(), sizeof gSaid - 1);
    if (length > 0) std::memcpy(gSaid, said.data(), length);
    gSaidLength = static_cast<std::sig_atomic_t>(length);
    gExitAtOnce = on;
}

void TSignalBridge::Discard() {
    unsigned char numbers[64];
    while (read(gPipe[0], numbers, sizeof numbers) > 0) {
    }
}

// The pipe is emptied before the handler runs: it may run a modal loop, which must not find
// the same notice again; signals that came together are one request.
void TSignalBridge::Take() {
    unsigned char numbers[64];
    int latest = 0;
    ssize_t count;
    while ((count = read(gPipe[0], numbers, sizeof numbers)) > 0)
        latest = numbers[count - 1];
    if (latest != 0) FOnSignal(latest);
}
