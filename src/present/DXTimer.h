// The frame timer: takes the application loop's idle step and ticks on every idle pass
// (Interval 0), counting ticks per second over rate windows of at least 1000 ms.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>

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
    virtual void NotifyActivate();
    virtual void NotifyDeactivate();
    virtual void NotifyTimer(int32_t lagCount);

  private:
    void StartTicking();
    void StopTicking();
    void AppActivation(bool active);

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
};

class TDXTimer : public TCustomDXTimer {
    Q_OBJECT
  public:
    using TCustomDXTimer::TCustomDXTimer;
};
