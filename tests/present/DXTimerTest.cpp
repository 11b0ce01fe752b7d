// The frame timer on an injected clock, driven through the application's real idle step.
#include <gtest/gtest.h>

#include <QWidget>

#include <memory>
#include <stdexcept>
#include <vector>

#include "present/DXTimer.h"
#include "support/QtHelpers.h"
#include "toolkit/Application.h"

namespace {

// A timer designed as the main window's: not active-only, interval 0, started.
class DXTimerTest : public ::testing::Test {
  protected:
    void Start(uint32_t startTime, uint32_t interval = 0) {
        Now = startTime;
        Timer = std::make_unique<TDXTimer>(nullptr);
        Timer->Clock = [this] { return Now; };
        Timer->SetActiveOnly(false);
        Timer->SetInterval(interval);
        Timer->OnTimer = [this](QObject* sender, int32_t lag) {
            EXPECT_EQ(sender, Timer.get());
            Lags.push_back(lag);
        };
        Timer->Loaded();
    }
    void TearDown() override {
        Timer.reset();
        Application->SetOnIdle({});
    }
    // One idle step of the application at the given clock reading.
    void IdleAt(uint32_t time) {
        Now = time;
        Application->Idle();
    }

    uint32_t Now = 0;
    std::unique_ptr<TDXTimer> Timer;
    std::vector<int32_t> Lags;
};

TEST_F(DXTimerTest, NewTimerDefaultsAndTheIdleSlotFromLoadedToDestruction) {
    auto timer = std::make_unique<TDXTimer>(nullptr);
    EXPECT_TRUE(timer->ActiveOnly() && timer->Enabled());
    EXPECT_EQ(timer->Interval(), 1000u);
    EXPECT_EQ(timer->FramesPerSecond(), 0);
    timer->SetActiveOnly(false);
    EXPECT_FALSE(Application->OnIdle());
    timer->Loaded();
    EXPECT_TRUE(Application->OnIdle());
    timer->SetEnabled(false);
    EXPECT_FALSE(Application->OnIdle());
    timer->SetEnabled(true);
    EXPECT_TRUE(Application->OnIdle());
    timer.reset();
    EXPECT_FALSE(Application->OnIdle());
}

TEST_F(DXTimerTest, ActiveOnlyTakesTheIdleSlotWhenTheApplicationBecomesActive) {
    if (Application->Active()) GTEST_SKIP() << "needs an application that is not active yet";
    TDXTimer timer(nullptr);
    int activations = 0;
    timer.OnActivate = [&](QObject* sender) {
        EXPECT_EQ(sender, &timer);
        ++activations;
    };
    timer.Loaded();
    EXPECT_FALSE(Application->OnIdle());
    QWidget window;
    window.show();
    QApplication::setActiveWindow(&window);
    for (int i = 0; i < 100 && !Application->Active(); ++i)
        QApplication::processEvents();
    EXPECT_EQ(activations, 1);
    EXPECT_TRUE(Application->OnIdle());
}

TEST_F(DXTimerTest, IntervalZeroTicksOnEveryIdleStepWithLagInWholeMilliseconds) {
    Start(5000);
    IdleAt(5000);
    IdleAt(5000); // two ticks within one millisecond
    IdleAt(5016);
    IdleAt(10016); // after a 5 s pause (an error box, say)
    EXPECT_EQ(Lags, (std::vector<int32_t>{1, 1, 16, 5000}));
}

TEST_F(DXTimerTest, DoneIsClearedOnEveryCallEvenWithoutATick) {
    Start(0, 1000);
    for (uint32_t t : {0u, 999u, 1000u, 1500u, 3100u}) {
        bool done = true;
        Now = t;
        Application->OnIdle()(done);
        EXPECT_FALSE(done);
    }
    EXPECT_EQ(Lags, (std::vector<int32_t>{1, 2})); // at 1000 (one interval) and 3100 (2100 ms)
}

// From a start at 0 and from one where the clock wraps at the 16th tick.
TEST_F(DXTimerTest, RateIsCountedOverWindowsOfAtLeastOneSecond) {
    for (const uint32_t start : {0u, 0xFFFFFF00u}) {
        SCOPED_TRACE(start);
        Lags.clear();
        Start(start);
        for (uint32_t i = 1; i <= 59; ++i) {
            IdleAt(start + i * 16);
            EXPECT_EQ(Timer->FramesPerSecond(), 0);
        }
        IdleAt(start + 1003);
        EXPECT_EQ(Timer->FramesPerSecond(), 60); // 59.82
        EXPECT_EQ(Lags.size(), 60u);
        EXPECT_EQ(Lags[14], 16);
        EXPECT_EQ(Lags[15], 16);
        // The next window opened at that tick, with the count back at 0.
        IdleAt(start + 2003);
        EXPECT_EQ(Timer->FramesPerSecond(), 1);
    }
}

TEST_F(DXTimerTest, RateRoundsHalfToEven) {
    struct TRow {
        int TicksBefore;
        int32_t Expected;
    };
    for (const TRow& row : {TRow{4, 2} /* 2.5 */, TRow{6, 4} /* 3.5 */, TRow{1, 1} /* 1.0 */}) {
        Lags.clear();
        Start(0);
        for (int i = 1; i <= row.TicksBefore; ++i)
            IdleAt(static_cast<uint32_t>(i) * 100);
        IdleAt(2000);
        EXPECT_EQ(Timer->FramesPerSecond(), row.Expected) << row.TicksBefore + 1 << " ticks";
    }
}

TEST_F(DXTimerTest, ErrorFromOnTimerLeavesAfterTheBookkeeping) {
    Start(0);
    Timer->OnTimer = [](QObject*, int32_t) { throw std::runtime_error("tick failed"); };
    bool done = true;
    Now = 1000;
    EXPECT_THROW(Application->OnIdle()(done), std::runtime_error);
    EXPECT_FALSE(done);
    EXPECT_EQ(Timer->FramesPerSecond(), 1);
    // The application's idle step shows it and goes on; the next tick measures from the failed one.
    {
        TModalBoxCloser boxes;
        const int before = Application->ErrorBoxCount();
        IdleAt(1007);
        EXPECT_EQ(Application->ErrorBoxCount(), before + 1);
    }
    Timer->OnTimer = [this](QObject*, int32_t lag) { Lags.push_back(lag); };
    IdleAt(1010);
    EXPECT_EQ(Lags, (std::vector<int32_t>{3}));
}

TEST_F(DXTimerTest, HugeIntervalDividesByOne) {
    Start(0, 0x80000000u);
    IdleAt(0x7FFFFFFFu);
    EXPECT_TRUE(Lags.empty());
    IdleAt(0xFFFFFFFFu);
    EXPECT_EQ(Lags, (std::vector<int32_t>{1})); // 2^32 - 1 read as signed is below 1
}

// With a frame rate the deadlines carry their remainders: N ticks a second on average, each gap
// the whole or the next millisecond, also across the clock's wrap; between deadlines the idle
// step lets the loop sleep (done stays true).
TEST_F(DXTimerTest, FrameRateTicksAtAccumulatingDeadlines) {
    struct TRow {
        uint32_t Rate, Start;
        size_t Ticks; // in 10 s, one at the start included
        int32_t ShortGap;
    };
    for (const TRow& row : {TRow{60, 0, 600, 16}, TRow{60, 0xFFFFF000u, 600, 16},
                            TRow{7, 5, 70, 142}, TRow{1000, 0, 10000, 1}, TRow{1, 0, 10, 1000}}) {
        SCOPED_TRACE(row.Rate);
        Lags.clear();
        Start(row.Start);
        Timer->SetFrameRate(row.Rate);
        size_t sleeps = 0;
        for (uint32_t t = 0; t < 10000; ++t) {
            bool done = true;
            Now = row.Start + t;
            Application->OnIdle()(done);
            sleeps += done;
        }
        EXPECT_EQ(Lags.size(), row.Ticks);
        EXPECT_EQ(sleeps, 10000 - row.Ticks);
        EXPECT_EQ(Timer->FramesPerSecond(), static_cast<int32_t>(row.Rate));
        for (size_t i = 1; i < Lags.size(); ++i)
            ASSERT_TRUE(Lags[i] == row.ShortGap || Lags[i] == row.ShortGap + 1)
                << i << ": " << Lags[i];
    }
}

// A pause (an error box, a slow frame) is not caught up with a burst of ticks.
TEST_F(DXTimerTest, FrameRateStartsAfreshAfterAPause) {
    Start(0);
    Timer->SetFrameRate(50);
    for (uint32_t t : {0u, 20u, 5000u, 5001u, 5019u, 5020u, 5040u}) {
        bool done = true;
        Now = t;
        Application->OnIdle()(done);
    }
    EXPECT_EQ(Lags, (std::vector<int32_t>{1, 20, 4980, 20, 20}));
    Timer->SetFrameRate(0); // back to a tick on every idle pass
    IdleAt(5040);
    EXPECT_EQ(Lags.size(), 6u);
}

} // namespace
