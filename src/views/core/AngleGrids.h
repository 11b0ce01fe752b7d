// The turned sample grids of the angles seen so far, kept in a store of fixed size so that a
// frame at a known angle is only look-ups.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "views/core/Projection.h"

class TAngleGrids {
  public:
    // A store of budget bytes, made with the first grid and filled as angles are seen; an
    // angle whose grid does not fit is turned every frame instead.
    explicit TAngleGrids(size_t budget);
    // The most bytes one angle's grid takes.
    static constexpr size_t OneGrid = MapCells * sizeof(int32_t);

    // Forgets every grid (the camera or the clip changed).
    void Forget();
    // The frame at this table angle from its grid, built with kernel first if it is new or was
    // turned with other table entries. False when its grid did not fit: the caller turns it.
    bool Project(int32_t angle, const TTurn& turn, TColumnSamples kernel,
                 const THeightArray& field, TProjHeightArray& out);
    // Bytes of the store in use.
    size_t Used() const { return FUsed * sizeof(int32_t); }

  private:
    // One angle's grid: per column the samples from its first to its last one in the clip.
    struct TGrid {
        bool Built = false;
        bool Skipped = false;  // did not fit
        float Cf = 0, Sf = 0;  // the table entries it was turned by
        const int32_t* Entries = nullptr; // field index or SampleOutside, column after column
        size_t Size = 0;
        uint32_t Offset[MapWidth];
        int16_t Lo[MapWidth], Count[MapWidth];
    };
    void Build(const TTurn& turn, TColumnSamples kernel, TGrid& grid);
    void Keep(TGrid& grid);
    static void Gather(const TGrid& grid, const TCameraCache& cache, const THeightArray& field,
                       TProjHeightArray& out);

    size_t FCapacity; // entries
    std::unique_ptr<int32_t[]> FStore;
    size_t FUsed = 0;
    std::unique_ptr<int32_t[]> FScratch; // one angle's grid as it is built
    std::unique_ptr<TGrid[]> FGrids;     // one per table angle
};
