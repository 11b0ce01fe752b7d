// The signal closer under real signals, where timing matters and the end-to-end tests cannot
// aim: a signal during a close's save, and the signal that follows a failed close.
#include <gtest/gtest.h>

#include <QWidget>

#include <csignal>
#include <unistd.h>

#include "toolkit/Application.h"
#include "toolkit/SignalCloser.h"

namespace {

void Pass(int passes = 100) {
    for (int i = 0; i < passes; ++i)
        Application->ProcessMessage();
}

} // namespace

// A second signal while the save runs neither ends the process nor starts another close; after
// a failed close whose box was dismissed, a signal is a close request again.
TEST(SignalCloser, SignalsDuringACloseWaitForItAndADismissedFailureRearms) {
    QWidget window;
    window.show();
    int closes = 0;
    TSignalCloser* closer = nullptr;
    TSignalCloser signalCloser(&window, [&] {
        raise(SIGTERM);
        if (++closes == 1) return closer->CloseFailed(); // its box was shown and dismissed
        window.hide();
    });
    closer = &signalCloser;
    raise(SIGINT);
    Pass();
    EXPECT_EQ(closes, 1);
    raise(SIGHUP);
    Pass();
    EXPECT_EQ(closes, 2);
    EXPECT_FALSE(window.isVisible());
}

// Once a signal's close has failed, the next signal ends the process from its handler, even
// though the loop never runs again.
TEST(SignalCloserDeathTest, AfterAFailedCloseTheNextSignalEndsTheProcessAtOnce) {
    EXPECT_EXIT(
        {
            QWidget window;
            window.show();
            TSignalCloser* closer = nullptr;
            TSignalCloser signalCloser(&window, [&] {
                closer->CloseFailed();
                raise(SIGHUP);
                _exit(3);
            });
            closer = &signalCloser;
            raise(SIGTERM);
            Pass();
            _exit(4);
        },
        testing::ExitedWithCode(128 + SIGHUP), "");
}
