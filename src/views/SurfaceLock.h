// Scoped lock of a back surface: unlocks on every way out, errors included.
#pragma once

#include "present/DXDraw.h"

class TSurfaceLock {
  public:
    explicit TSurfaceLock(TDirectDrawSurface* surface)
        : FSurface(surface), FLocked(LockSurface(surface, FDesc)) {}
    ~TSurfaceLock() {
        if (FLocked) UnlockSurface(FSurface, FDesc.Bits);
    }
    TSurfaceLock(const TSurfaceLock&) = delete;
    TSurfaceLock& operator=(const TSurfaceLock&) = delete;

    bool Locked() const { return FLocked; }
    const TLockedSurface& Surface() const { return FDesc; }

  private:
    TDirectDrawSurface* FSurface;
    TLockedSurface FDesc;
    bool FLocked;
};
