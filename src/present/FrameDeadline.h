// Deadlines N a second on a millisecond clock: each 1000 / N ms after the one before, the
// remainders carried, so that N ticks take one second on average (60 gives 60, not the 62.5 of
// a whole 16 ms). Differences are taken modulo 2^32, as the clock wraps.
#pragma once

#include <cstdint>

class TFrameDeadline {
  public:
    // rate: 1 ... 1000 a second.
    void Start(uint32_t rate, uint32_t now) {
        FRate = rate;
        FNext = now;
        FCarry = 0;
    }
    // Milliseconds until the next deadline; 0 when it is due.
    uint32_t Wait(uint32_t now) const {
        const auto left = static_cast<int32_t>(FNext - now);
        return left > 0 ? static_cast<uint32_t>(left) : 0;
    }
    // After a tick at now: the next deadline. A tick a whole period or more behind its deadline
    // (a pause, a slow frame) starts the schedule afresh from now, so that no burst of ticks
    // catches up with the time lost and no rate window counts more than N.
    void Advance(uint32_t now) {
        if (static_cast<int32_t>(now - FNext) >= static_cast<int32_t>(1000 / FRate)) {
            FNext = now;
            FCarry = 0;
        }
        FNext += 1000 / FRate;
        FCarry += 1000 % FRate;
        if (FCarry >= FRate) {
            FCarry -= FRate;
            ++FNext;
        }
    }

  private:
    uint32_t FRate = 1;
    uint32_t FNext = 0;
    uint32_t FCarry = 0;
};
