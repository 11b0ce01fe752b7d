// The frame timer: takes the application loop's idle step and ticks on every idle pass
// (Interval 0), counting ticks per second over rate windows of at least 1000 ms.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>

#include "present/FrameDeadline.h"

class TCustomDXTimer : public QObject {
    Q_OBJECT
  public:
    using TNotifyEvent = std::function<void(QObject* sender)>;
    using TDXTimerEvent = std::function<void(QObject* sender, int32_t lagCount)>;
    // Unsigned 32-bit millisecond clock that wraps at 2^32.
    using TClock = std::function<uint32_t()>;

    explicit TCustomDXTimer(QObject* owner);
    ~TCustomDXTimer() override; // stops ticking: empties the idle slot

    bool ActiveOnly() const;
    void SetActiveOnly(bool value);
    bool Enabled() const;
    void SetEnabled(bool value); // after Loaded: starts or stops ticking
    uint32_t Interval() const;
    void SetInterval(uint32_t value); // does not restart

    int32_t FramesPerSecond() const;

    // Ticks a second, 1 ... 1000, or 0 (the default): every idle pass ticks and the loop never
    // waits. With a rate, ticks come at its deadlines instead of the interval's, and between
    // them the loop sleeps, serving every message at once.
    void SetFrameRate(uint32_t value);

    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TDXTimerEvent OnTimer;

    // End of reading the design: starts ticking when Enabled.
    void Loaded();

    // The clock; the platform's steady millisecond count by default. Tests inject their own.
    TClock Clock;
    static uint32_t SystemClock();

    // The idle handler this timer puts into the application's slot.
    void IdleTick(bool& done);

  protected:
    void timerEvent(QTimerEvent* event) override; // the wake-up at a deadline
    virtual void NotifyActivate();
    virtual void NotifyDeactivate();
    virtual void NotifyTimer(int32_t lagCount);

  private:
    void StartTicking();
    void StopTicking();
    void AppActivation(bool active);
    void PacedIdleTick(bool& done);
    void Tick(uint32_t now, uint32_t elapsed);
    void StopWaking();

    bool FActiveOnly = true;
    bool FEnabled = true;
    uint32_t FInterval = 1000;
    uint32_t FIntervalDivisor = 1000;
    bool FLoaded = false;
    bool FStarted = false;
    int32_t FFramesPerSecond = 0;
    int32_t FFrameCount = 0;
    uint32_t FLastTickTime = 0;
    uint32_t FRateWindowStart = 0;
    int FActivationId = 0;
    uint32_t FFrameRate = 0;
    TFrameDeadline FDeadline;
    int FWakeTimer = 0; // armed while the loop sleeps towards a deadline
};

class TDXTimer : public TCustomDXTimer {
    Q_OBJECT
  public:
    using TCustomDXTimer::TCustomDXTimer;
};
