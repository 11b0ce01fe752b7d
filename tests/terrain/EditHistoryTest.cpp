// The history's limits: 100 steps of any size (no step holds more than a whole field); redo
// dropped by a new step; undo and redo give back each step's cells, also for steps kept whole.
#include "terrain/EditHistory.h"

#include <gtest/gtest.h>

TEST(EditHistoryTest, KeepsTheLast100StepsOfAnySizeAndDropsRedoOnANewStep) {
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

    // 100 whole fields, then 100 strokes over most of the field: each kept in a whole field's
    // room, and every one undone back to where they began.
    const THeightArray first = field;
    for (int i = 0; i < 100; ++i) {
        field.fill(static_cast<uint8_t>(100 + i));
        ASSERT_NE(history.Commit(field, true), nullptr);
    }
    EXPECT_EQ(history.Steps(), TEditHistory::MaxSteps);
    EXPECT_LE(history.Bytes(), TEditHistory::MaxBytes);
    for (int i = 0; i < 100; ++i) history.Undo(field);
    EXPECT_EQ(field, first);
    for (int i = 0; i < 100; ++i) {
        for (std::size_t k = 0; k < MapCells; k += 1 + (k % 3 == 0)) field[k] += 1;
        history.Commit(field);
    }
    const THeightArray last = field;
    EXPECT_EQ(history.Steps(), TEditHistory::MaxSteps);
    EXPECT_LE(history.Bytes(), TEditHistory::MaxBytes);
    for (int i = 0; i < 100; ++i) ASSERT_NE(history.Undo(field), nullptr);
    EXPECT_EQ(history.Undo(field), nullptr);
    for (int i = 0; i < 100; ++i) history.Redo(field);
    EXPECT_EQ(field, last);
}

// What an undo or redo hands back for repainting: exactly the cells that changed, whether the
// step was kept cell by cell or whole; a picture taken is marked to be shown whole.
TEST(EditHistoryTest, UndoAndRedoNameTheCellsTheyChanged) {
    TEditHistory history;
    THeightArray field{};
    history.Start(field);
    field[5] = 1;
    field[9] = 2;
    history.Commit(field); // small: kept cell by cell
    for (std::size_t k = 100; k < MapCells; ++k) field[k] = 3;
    history.Commit(field); // most of the field: kept whole
    field.fill(4);
    history.Commit(field, true);

    const TEditHistory::TStep* step = history.Undo(field);
    ASSERT_NE(step, nullptr);
    EXPECT_TRUE(step->WholeField);
    step = history.Undo(field);
    ASSERT_NE(step, nullptr);
    EXPECT_FALSE(step->WholeField);
    EXPECT_EQ(step->Cells.size(), MapCells - 100);
    EXPECT_EQ(step->Cells.front(), 100u);
    EXPECT_EQ(field[100], 0);
    step = history.Undo(field);
    ASSERT_NE(step, nullptr);
    EXPECT_EQ(step->Cells, (std::vector<uint32_t>{5, 9}));
    EXPECT_EQ(field, THeightArray{});
    step = history.Redo(field);
    EXPECT_EQ(step->Cells, (std::vector<uint32_t>{5, 9}));
    EXPECT_EQ(field[9], 2);
}
