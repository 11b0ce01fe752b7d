// The steps of the edit history, found by comparing the field with its state at the last step.
#include "terrain/EditHistory.h"

#include <cstring>
#include <utility>

void TEditHistory::Start(const THeightArray& field) {
    FBase = field;
    FStroking = false;
    FSteps.clear();
    FDone = 0;
    FBytes = 0;
}

namespace {

// Calls found(k) for every cell k where the two fields differ, comparing eight cells at a time:
// a whole field takes a few microseconds.
template <class F> void ForEachChange(const uint8_t* field, const uint8_t* base, F found) {
    constexpr std::size_t Word = sizeof(uint64_t);
    for (std::size_t i = 0; i < MapCells; i += Word) {
        uint64_t a, b;
        std::memcpy(&a, field + i, Word);
        std::memcpy(&b, base + i, Word);
        if (a == b) continue;
        for (std::size_t k = i; k < i + Word; ++k)
            if (field[k] != base[k]) found(k);
    }
}

// A cell kept one by one costs its index and its value; past this many, the whole field is
// smaller.
constexpr std::size_t MostSparseCells = MapCells / (sizeof(uint32_t) + 1);

} // namespace

const TEditHistory::TStep* TEditHistory::Commit(const THeightArray& field, bool wholeField) {
    FStroking = false;
    FShown.WholeField = wholeField;
    FShown.Cells.clear();
    ForEachChange(field.data(), FBase.data(),
                  [this](std::size_t k) { FShown.Cells.push_back(static_cast<uint32_t>(k)); });
    const std::size_t changed = FShown.Cells.size();
    if (changed == 0) return nullptr;
    TStored step;
    step.WholeField = wholeField;
    // Exactly its size, so the budget is the memory it takes.
    if (wholeField || changed > MostSparseCells) {
        step.Other.assign(FBase.begin(), FBase.end());
    } else {
        step.Cells = FShown.Cells;
        step.Other.reserve(changed);
        for (const uint32_t k : step.Cells) step.Other.push_back(FBase[k]);
    }
    FBase = field;
    Push(std::move(step));
    return &FShown;
}

void TEditHistory::Push(TStored step) {
    // A new step drops the ones that could have been redone.
    while (FSteps.size() > FDone) {
        FBytes -= FSteps.back().Bytes();
        FSteps.pop_back();
    }
    FBytes += step.Bytes();
    FSteps.push_back(std::move(step));
    ++FDone;
    // No step holds more than a whole field, so the step cap keeps the memory within MaxBytes.
    while (FSteps.size() > MaxSteps) {
        FBytes -= FSteps.front().Bytes();
        FSteps.pop_front();
        --FDone;
    }
}

const TEditHistory::TStep& TEditHistory::Swap(TStored& step, THeightArray& field) {
    FShown.WholeField = step.WholeField;
    FShown.Cells.clear();
    if (step.Cells.empty()) {
        ForEachChange(field.data(), step.Other.data(), [this](std::size_t k) {
            FShown.Cells.push_back(static_cast<uint32_t>(k));
        });
        std::swap_ranges(step.Other.begin(), step.Other.end(), field.begin());
    } else {
        FShown.Cells = step.Cells;
        for (std::size_t i = 0; i < step.Cells.size(); ++i)
            std::swap(field[step.Cells[i]], step.Other[i]);
    }
    FBase = field;
    return FShown;
}

const TEditHistory::TStep* TEditHistory::Undo(THeightArray& field) {
    Commit(field);
    return FDone == 0 ? nullptr : &Swap(FSteps[--FDone], field);
}

const TEditHistory::TStep* TEditHistory::Redo(THeightArray& field) {
    Commit(field);
    return FDone == FSteps.size() ? nullptr : &Swap(FSteps[FDone++], field);
}
