// The signal closer under real signals, where the timing is ours to choose: a signal during a
// close's save, and the signals after a failed close.
#include <gtest/gtest.h>

#include <QWidget>

#include <csignal>
#include <unistd.h>

#include "toolkit/Application.h"
#include "toolkit/SignalCloser.h"

// Each close receives a signal while it runs; the first one's save fails (its box dismissed).
// Neither signal ends the process or starts another close; after the dismissed failure a
// signal is a close request again.
TEST(SignalCloser, SignalsDuringACloseWaitForItAndADismissedFailureRearms) {
    QWidget window;
    window.show();
    int closes = 0;
    TSignalCloser* closer = nullptr;
    TSignalCloser signalCloser(&window, [&] {
        raise(SIGTERM);
        if (++closes == 1) return closer->CloseFailed();
        window.hide();
    });
    closer = &signalCloser;
    const auto passes = [] {
        for (int i = 0; i < 100; ++i)
            Application->ProcessMessage();
    };
    raise(SIGINT);
    passes();
    EXPECT_EQ(closes, 1);
    raise(SIGHUP);
    passes();
    EXPECT_EQ(closes, 2);
}

// While a failed close's box is up, the next signal ends the process from its handler, even
// with the loop stuck, and says what was lost.
TEST(SignalCloserDeathTest, AfterAFailedCloseTheNextSignalEndsTheProcessAtOnce) {
    QWidget window;
    TSignalCloser* closer = nullptr;
    auto failedClose = [&] {
        closer->CloseFailed("voxel: the changes were not saved to m.dat.\n");
        raise(SIGHUP);
        _exit(3);
    };
    EXPECT_EXIT(
        {
            window.show();
            TSignalCloser signalCloser(&window, failedClose);
            closer = &signalCloser;
            raise(SIGTERM);
            Application->ProcessMessage();
        },
        testing::ExitedWithCode(128 + SIGHUP),
        "^voxel: the changes were not saved to m\\.dat\\.\n$");
}
