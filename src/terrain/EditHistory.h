// Undo and redo of the field. A step is one stroke (from the press to the release, or until the
// cursor leaves the map), one reset or one field taken whole. It holds only what is not in the
// field: the values its cells had on the other side of it, cell by cell for a small change, or
// as a whole field (76,800 bytes) when that is smaller; undo and redo swap them in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "terrain/HeightField.h"

class TEditHistory {
  public:
    static constexpr std::size_t MaxSteps = 100;
    // Room for MaxSteps steps of any kind: no step takes more than a whole field.
    static constexpr std::size_t MaxBytes = MaxSteps * MapCells;

    // What a commit, an undo or a redo changed: valid until the next call.
    struct TStep {
        std::vector<uint32_t> Cells; // the cells it changed, in field order
        bool WholeField = false;     // the field was replaced at once (a picture taken)
    };

    // Starts over from this field (after the load): no steps.
    void Start(const THeightArray& field);
    // A tick applied the brush: the field may change until the stroke ends.
    void BrushApplied() { FStroking = true; }
    bool Stroking() const { return FStroking; }
    // Ends the stroke in progress, or takes a change made at once (a reset): the cells that
    // differ from the last step's end make one new step, which drops the steps that could have
    // been redone. No changed cell, no step. Cheap when nothing happened since. Returns the new
    // step, or null. wholeField marks a step that replaced the field.
    const TStep* Commit(const THeightArray& field, bool wholeField = false);

    // Ends a stroke in progress (as Commit), then undoes the last step (redo: does the next
    // undone one) on the field. Returns what changed, or null at the end of the history.
    const TStep* Undo(THeightArray& field);
    const TStep* Redo(THeightArray& field);

    std::size_t Steps() const { return FSteps.size(); }
    // The memory the steps hold.
    std::size_t Bytes() const { return FBytes; }

  private:
    struct TStored {
        bool WholeField = false;
        // Sparse: the cells and, for each, the value the field does not hold now (before while
        // done, after while undone). Dense: Other is the whole field on the other side.
        std::vector<uint32_t> Cells;
        std::vector<uint8_t> Other;
        std::size_t Bytes() const { return Cells.size() * sizeof(uint32_t) + Other.size(); }
    };
    void Push(TStored step);
    // Swaps the step's values with the field's, so the same step serves undo and redo.
    const TStep& Swap(TStored& step, THeightArray& field);

    THeightArray FBase{};       // the field as the last step left it
    bool FStroking = false;
    std::deque<TStored> FSteps; // oldest first; the first FDone are done, the rest undone
    std::size_t FDone = 0;
    std::size_t FBytes = 0;
    TStep FShown;               // what the last call changed
};
