// When a close writes the map, and what it keeps first. (Two copies on one file, a reset saved
// over the map and wrong lengths run end to end in test_mapsafety.py.)
#include "terrain/MapStore.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "support/FaultyFileOps.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using TCloseSave = TMapStore::TCloseSave;

// An edit undone is no change; a missing file or one of another length counts as changed.
TEST(MapStoreTest, CloseJudgesChangeByContent) {
    TTempDir dir;
    const std::string mapPath = dir.File("Map.Dat");
    WriteFileBytes(mapPath, std::vector<uint8_t>(MapCells, 7));
    TMapStore store;
    store.SetFileName(mapPath);
    THeightArray field;
    testing::internal::CaptureStderr();
    ASSERT_EQ(store.Load(field), TLoadResult::Loaded);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), ""); // a writable map: not a word
    field[10] = 99;
    field[10] = 7;
    EXPECT_EQ(store.SaveOnClose(field), TCloseSave::Unchanged);
    for (const std::vector<uint8_t>& onDisk : {std::vector<uint8_t>{}, {1, 2, 3}}) {
        fs::remove(mapPath);
        if (!onDisk.empty()) WriteFileBytes(mapPath, onDisk);
        EXPECT_EQ(store.SaveOnClose(field), TCloseSave::Written);
        EXPECT_EQ(ReadFileBytes(mapPath), std::vector<uint8_t>(MapCells, 7));
    }
    // A folder in the map's place held none of the user's bytes: a file put there later is no
    // unread map to keep.
    fs::remove(mapPath);
    fs::create_directory(mapPath);
    ASSERT_EQ(store.Load(field), TLoadResult::Reset);
    fs::remove(mapPath);
    WriteFileBytes(mapPath, {1, 2, 3});
    EXPECT_EQ(store.SaveOnClose(field), TCloseSave::Written);
    EXPECT_FALSE(fs::exists(mapPath + ".unread"));
}

// A map that failed to load is kept once, even when the save after keeping it fails; the close
// without exceptions (a lost display) reports a failure by its code and message.
TEST(MapStoreTest, UnreadMapIsKeptOnceAcrossAFailedSave) {
    TTempDir dir;
    const std::string mapPath = dir.File("Map.Dat");
    WriteFileBytes(mapPath, std::vector<uint8_t>(MapCells, 4));
    TFaultyOps ops;
    ops.FailAt = TStep::Read;
    ops.Error = EIO;
    SetFileOps(&ops);
    TMapStore store;
    store.SetFileName(mapPath);
    THeightArray field{};
    EXPECT_EQ(MessageOf([&] { store.Load(field); }), "I/O error 5");
    ops.Clear();
    ops.FailAt = TStep::Rename;
    ops.Error = EACCES;
    TCloseSave outcome;
    const TIoResult failed = store.TrySaveOnClose(field, outcome);
    EXPECT_EQ(IoResultCode(failed), 5);
    EXPECT_EQ(IoResultMessage(failed), "File access denied");
    ops.Clear();
    EXPECT_EQ(store.SaveOnClose(field), TCloseSave::Written);
    SetFileOps(nullptr);
    EXPECT_EQ(ReadFileBytes(mapPath + ".unread"), std::vector<uint8_t>(MapCells, 4));
    EXPECT_FALSE(fs::exists(mapPath + ".unread-2"));
}

