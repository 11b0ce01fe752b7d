// The steps of the edit history, found by comparing the field with its state at the last step.
#include "terrain/EditHistory.h"

#include <cstring>

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
template <class F> void ForEachChange(const THeightArray& field, const THeightArray& base, F found) {
    constexpr std::size_t Word = sizeof(uint64_t);
    for (std::size_t i = 0; i < field.size(); i += Word) {
        uint64_t a, b;
        std::memcpy(&a, field.data() + i, Word);
        std::memcpy(&b, base.data() + i, Word);
        if (a == b) continue;
        for (std::size_t k = i; k < i + Word; ++k)
            if (field[k] != base[k]) found(k);
    }
}

} // namespace

const TEditHistory::TStep* TEditHistory::Commit(const THeightArray& field, bool wholeField) {
    FStroking = false;
    // Counted first, so each step holds exactly its cells: the budget is the memory it takes.
    std::size_t changed = 0;
    ForEachChange(field, FBase, [&changed](std::size_t) { ++changed; });
    if (changed == 0) return nullptr;
    TStep step;
    step.WholeField = wholeField;
    step.Cells.reserve(changed);
    step.Before.reserve(changed);
    step.After.reserve(changed);
    ForEachChange(field, FBase, [&](std::size_t k) {
        step.Cells.push_back(static_cast<uint32_t>(k));
        step.Before.push_back(FBase[k]);
        step.After.push_back(field[k]);
    });
    for (const uint32_t k : step.Cells) FBase[k] = field[k];
    Push(std::move(step));
    return &FSteps.back();
}

void TEditHistory::Push(TStep step) {
    // A new step drops the ones that could have been redone.
    while (FSteps.size() > FDone) {
        FBytes -= FSteps.back().Bytes();
        FSteps.pop_back();
    }
    FBytes += step.Bytes();
    FSteps.push_back(std::move(step));
    ++FDone;
    while (FSteps.size() > MaxSteps || FBytes > MaxBytes) {
        FBytes -= FSteps.front().Bytes();
        FSteps.pop_front();
        --FDone;
    }
}

const TEditHistory::TStep& TEditHistory::Apply(const TStep& step, bool forward,
                                                THeightArray& field) {
    const std::vector<uint8_t>& values = forward ? step.After : step.Before;
    for (std::size_t i = 0; i < step.Cells.size(); ++i)
        field[step.Cells[i]] = FBase[step.Cells[i]] = values[i];
    return step;
}

const TEditHistory::TStep* TEditHistory::Undo(THeightArray& field) {
    Commit(field);
    return FDone == 0 ? nullptr : &Apply(FSteps[--FDone], false, field);
}

const TEditHistory::TStep* TEditHistory::Redo(THeightArray& field) {
    Commit(field);
    return FDone == FSteps.size() ? nullptr : &Apply(FSteps[FDone++], true, field);
}
