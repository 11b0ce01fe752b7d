// What the turn keeps of each angle seen so far: per column, the rows from its first to its
// last sample in the clip, so later frames at that angle turn only those rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "views/core/Projection.h"

class TAngleGrids {
  public:
    // Room for the grids of budget bytes, made here; an angle whose grid does not fit is
    // turned over each column's whole reach every frame instead.
    explicit TAngleGrids(size_t budget);
    // The bytes one angle's grid takes.
    static constexpr size_t OneGrid = MapWidth * sizeof(TRows);

    // Forgets every grid (the camera or the clip changed).
    void Forget();
    // The frame at this table angle, turned over its grid's rows, or (new, or turned with
    // other table entries) over each column's reach, keeping the grid if it fits.
    void Project(int32_t angle, const TTurn& turn, const TTurnKernels& kernels,
                 const THeightArray& field, TProjHeightArray& out);

  private:
    struct TGrid {
        float Cf = 0, Sf = 0;  // the table entries it was turned by
        TRows* Rows = nullptr; // of each column; none yet (or no room) when null
    };
    size_t FCapacity; // grids
    size_t FUsed = 0;
    std::unique_ptr<TRows[]> FStore;
    std::unique_ptr<TGrid[]> FGrids; // one per table angle
};
