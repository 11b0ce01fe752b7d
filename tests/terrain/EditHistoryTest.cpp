// The history's limits: 100 steps or 4 MB, whichever holds fewer; redo dropped by a new step.
#include "terrain/EditHistory.h"

#include <gtest/gtest.h>

TEST(EditHistoryTest, KeepsTheLast100StepsOr4MBAndDropsRedoOnANewStep) {
    TEditHistory history;
    THeightArray field{};
    history.Start(field);
    for (int i = 0; i < 130; ++i) { // one cell each: the count is the limit
        field[0] = static_cast<uint8_t>(i + 1);
        history.Commit(field);
    }
    EXPECT_EQ(history.Steps(), TEditHistory::MaxSteps);
    while (history.Undo(field) != nullptr) {}
    EXPECT_EQ(field[0], 30); // the oldest 30 steps went
    history.Commit(field);   // nothing changed: no step, the redo stays
    ASSERT_NE(history.Redo(field), nullptr);
    EXPECT_EQ(field[0], 31);
    field[1] = 1;
    history.Commit(field); // a new step drops the 98 that could have been redone
    EXPECT_EQ(history.Steps(), 2u);
    EXPECT_EQ(history.Redo(field), nullptr);

    for (int i = 0; i < 12; ++i) { // whole fields (460,800 bytes a step): the size is the limit
        field.fill(static_cast<uint8_t>(100 + i));
        history.Commit(field);
    }
    EXPECT_LE(history.Bytes(), TEditHistory::MaxBytes);
    EXPECT_EQ(history.Steps(), TEditHistory::MaxBytes / (MapCells * 6u));
}
