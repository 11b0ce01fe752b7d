// The frame timer: ticks from the application's idle slot and measures the tick rate.
#include "present/DXTimer.h"

#include <chrono>
#include <cmath>

#include <QTimerEvent>

#include "toolkit/Application.h"

namespace {

// Interval read as a signed number, at least 1: 2^31 and more give 1.
uint32_t DivisorOf(uint32_t interval) {
    const auto asSigned = static_cast<int32_t>(interval);
    return asSigned < 1 ? 1u : static_cast<uint32_t>(asSigned);
}

} // namespace

TCustomDXTimer::TCustomDXTimer(QObject* owner) : QObject(owner), Clock(&SystemClock) {
    if (Application != nullptr)
        FActivationId =
            Application->AddActivationHandler([this](bool active) { AppActivation(active); });
}

TCustomDXTimer::~TCustomDXTimer() {
    StopTicking();
    if (Application != nullptr && FActivationId != 0)
        Application->RemoveActivationHandler(FActivationId);
}

uint32_t TCustomDXTimer::SystemClock() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    // Kept modulo 2^32, like the platform's millisecond counter.
    return static_cast<uint32_t>(ms.count());
}

bool TCustomDXTimer::ActiveOnly() const {
    return FActiveOnly;
}

void TCustomDXTimer::SetActiveOnly(bool value) {
    if (FActiveOnly == value) return;
    FActiveOnly = value;
    // Takes or leaves the idle slot as the new setting asks.
    if (FStarted) StartTicking();
}

bool TCustomDXTimer::Enabled() const {
    return FEnabled;
}

void TCustomDXTimer::SetEnabled(bool value) {
    if (FEnabled == value) return;
    FEnabled = value;
    if (!FLoaded) return;
    if (FEnabled)
        StartTicking();
    else
        StopTicking();
}

uint32_t TCustomDXTimer::Interval() const {
    return FInterval;
}

void TCustomDXTimer::SetInterval(uint32_t value) {
    FInterval = value;
    FIntervalDivisor = DivisorOf(value);
}

int32_t TCustomDXTimer::FramesPerSecond() const {
    return FFramesPerSecond;
}

void TCustomDXTimer::SetFrameRate(uint32_t value) {
    FFrameRate = value > 1000 ? 1000 : value; // a millisecond clock spaces no finer
    // The idle slot gets the handler for the new rate.
    if (FStarted) StartTicking();
}

void TCustomDXTimer::Loaded() {
    FLoaded = true;
    if (FEnabled) StartTicking();
}

void TCustomDXTimer::StartTicking() {
    StopTicking();
    if (!FActiveOnly || (Application != nullptr && Application->Active())) {
        const uint32_t now = Clock();
        FLastTickTime = now;
        FRateWindowStart = now;
        if (FFrameRate != 0) FDeadline.Start(FFrameRate, now);
        // Chosen here, so a timer without a rate pays nothing for it on each pass.
        if (Application != nullptr) {
            if (FFrameRate == 0)
                Application->SetOnIdle([this](bool& done) { IdleTick(done); });
            else
                Application->SetOnIdle([this](bool& done) { PacedIdleTick(done); });
        }
    }
    FStarted = true;
}

void TCustomDXTimer::StopTicking() {
    if (!FStarted) return;
    if (Application != nullptr) Application->SetOnIdle({});
    StopWaking();
    FStarted = false;
}

void TCustomDXTimer::IdleTick(bool& done) {
    // First, tick or not: the loop must never wait while the timer holds the slot.
    done = false;
    const uint32_t now = Clock();
    // Differences modulo 2^32, so the clock's wrap changes nothing.
    const uint32_t elapsed = now - FLastTickTime;
    if (elapsed < FInterval) return;
    Tick(now, elapsed);
}

// The loop may wait (done stays true) until the next deadline, which a precise timer marks by
// an event; any other message wakes it earlier and is served at once.
void TCustomDXTimer::PacedIdleTick(bool& done) {
    const uint32_t now = Clock();
    if (const uint32_t wait = FDeadline.Wait(now); wait > 0) {
        if (FWakeTimer == 0) FWakeTimer = startTimer(static_cast<int>(wait), Qt::PreciseTimer);
        return;
    }
    done = false; // the next pass arms the wake-up for the deadline after this one
    StopWaking();
    FDeadline.Advance(now);
    Tick(now, now - FLastTickTime);
}

void TCustomDXTimer::StopWaking() {
    if (FWakeTimer != 0) killTimer(FWakeTimer);
    FWakeTimer = 0;
}

void TCustomDXTimer::timerEvent(QTimerEvent* event) {
    if (event->timerId() == FWakeTimer) StopWaking();
}

void TCustomDXTimer::Tick(uint32_t now, uint32_t elapsed) {
    FLastTickTime = now;

    int32_t lagCount = static_cast<int32_t>(elapsed / FIntervalDivisor);
    if (lagCount < 1) lagCount = 1;

    FFrameCount = static_cast<int32_t>(static_cast<uint32_t>(FFrameCount) + 1u);
    int32_t window = static_cast<int32_t>(now - FRateWindowStart);
    if (window < 1) window = 1;
    if (window >= 1000) {
        // The product wraps in 32 bits; the quotient is rounded half to even.
        const auto product = static_cast<int32_t>(static_cast<uint32_t>(FFrameCount) * 1000u);
        FFramesPerSecond = static_cast<int32_t>(
            std::nearbyintl(static_cast<long double>(product) / static_cast<long double>(window)));
        FFrameCount = 0;
        FRateWindowStart = now;
    }
    NotifyTimer(lagCount);
}

void TCustomDXTimer::AppActivation(bool active) {
    if (active) {
        if (FActiveOnly && FLoaded && FEnabled) StartTicking();
        NotifyActivate();
    } else {
        if (FActiveOnly) StopTicking();
        NotifyDeactivate();
    }
}

void TCustomDXTimer::NotifyActivate() {
    if (OnActivate) OnActivate(this);
}

void TCustomDXTimer::NotifyDeactivate() {
    if (OnDeactivate) OnDeactivate(this);
}

void TCustomDXTimer::NotifyTimer(int32_t lagCount) {
    if (OnTimer) OnTimer(this, lagCount);
}
