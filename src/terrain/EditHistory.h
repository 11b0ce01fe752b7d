// Undo and redo of the field: each step holds only the cells it changed, before and after.
// A step is one stroke (from the press to the release, or until the cursor leaves the map) or
// one reset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "terrain/HeightField.h"

class TEditHistory {
  public:
    static constexpr std::size_t MaxSteps = 100;
    static constexpr std::size_t MaxBytes = 4 * 1024 * 1024;

    // The cells one step changed, in field order.
    struct TStep {
        std::vector<uint32_t> Cells;
        std::vector<uint8_t> Before;
        std::vector<uint8_t> After;
        bool WholeField = false; // the field was replaced at once (a picture taken)
        std::size_t Bytes() const { return Cells.size() * (sizeof(uint32_t) + 2); }
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

    // Ends a stroke in progress (as Commit), then undoes the last step (redo: does the next undone one)
    // on the field. Returns the step whose cells changed, or null at the end of the history.
    const TStep* Undo(THeightArray& field);
    const TStep* Redo(THeightArray& field);

    std::size_t Steps() const { return FSteps.size(); }
    std::size_t UndoableSteps() const { return FDone; }
    std::size_t Bytes() const { return FBytes; }

  private:
    void Push(TStep step);
    // Sets the step's cells to its Before (undo) or After (redo) values.
    const TStep& Apply(const TStep& step, bool forward, THeightArray& field);

    THeightArray FBase{};       // the field as the last step left it
    bool FStroking = false;
    std::deque<TStep> FSteps;   // oldest first; the first FDone are done, the rest undone
    std::size_t FDone = 0;
    std::size_t FBytes = 0;
};
