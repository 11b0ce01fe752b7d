// When a close writes the map, and what it keeps first. (Two copies on one file, a reset saved
// over the map and wrong lengths run end to end in test_mapsafety.py.)
#include "terrain/MapStore.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "support/FaultyFileOps.h"
#include "support/TempDir.h"
#include "util/Exceptions.h"
#include "util/Notices.h"

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
    fs::remove(mapPath);
    EXPECT_EQ(store.SaveOnClose(field), TCloseSave::Written);
    EXPECT_EQ(ReadFileBytes(mapPath), std::vector<uint8_t>(MapCells, 7));
    // A file of another length put there since is never replaced, only kept as .other.
    fs::remove(mapPath);
    WriteFileBytes(mapPath, {1, 2, 3});
    EXPECT_THROW(store.SaveOnClose(field), EInOutError);
    EXPECT_EQ(ReadFileBytes(mapPath), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(ReadFileBytes(mapPath + ".other-1"), (std::vector<uint8_t>{1, 2, 3}));
    // A folder in the map's place held none of the user's bytes: a file put there later is no
    // unread map to keep, nor one to replace.
    fs::remove(mapPath);
    fs::create_directory(mapPath);
    ASSERT_EQ(store.Load(field), TLoadResult::Reset);
    fs::remove(mapPath);
    WriteFileBytes(mapPath, {1, 2, 3});
    EXPECT_THROW(store.SaveOnClose(field), EInOutError);
    EXPECT_FALSE(fs::exists(mapPath + ".unread"));
    EXPECT_EQ(ReadFileBytes(mapPath), (std::vector<uint8_t>{1, 2, 3}));
}

// The map found at start with another length is said at once, and it alone of such files is
// replaced: kept as .unread first, which the save says too.
TEST(MapStoreTest, AMapOfAnotherLengthIsSaidAtStartAndKeptAtTheFirstSave) {
    TTempDir dir;
    const std::string mapPath = dir.File("Map.Dat");
    WriteFileBytes(mapPath, {1, 2, 3});
    TMapStore store;
    store.SetFileName(mapPath);
    THeightArray field;
    (void)TakeNotices(); // none of another test's
    ASSERT_EQ(store.Load(field), TLoadResult::Reset);
    std::vector<std::string> notices = TakeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], mapPath + " holds 3 bytes, not a map of 76,800: the field starts "
                                    "flat, and the file is kept as " +
                              mapPath + ".unread (or .unread-2, ...) when the map is first saved.");
    field[0] = 1;
    EXPECT_EQ(store.SaveOnClose(field), TCloseSave::Written);
    EXPECT_EQ(ReadFileBytes(mapPath + ".unread"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(ReadFileBytes(mapPath)[0], 1);
    notices = TakeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], mapPath + " was not read at start; it is kept as " + mapPath +
                              ".unread.");
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
    EXPECT_EQ(MessageOf([&] { store.Load(field); }),
              "I/O error 5.\n" + mapPath + ": " + std::strerror(EIO));
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


// A file replaced since this copy loaded or saved it (another copy's save, a program writing it
// in place) is kept as .other-n before the save: once per version, never over one kept before.
// This copy's own saves are no replacement.
TEST(MapStoreTest, AMapReplacedOnDiskIsKeptAsOtherBeforeTheSave) {
    TTempDir dir;
    const std::string mapPath = dir.File("Map.Dat");
    const auto bytes = [](uint8_t v) { return std::vector<uint8_t>(MapCells, v); };
    WriteFileBytes(mapPath, bytes(7));
    TMapStore store;
    store.SetFileName(mapPath);
    THeightArray field;
    ASSERT_EQ(store.Load(field), TLoadResult::Loaded);
    THeightArray other;
    other.fill(8);
    SaveHeightArray(mapPath, other); // another copy's save: a new file in the map's place
    field[0] = 1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(store.SaveOnClose(field), TCloseSave::Written);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("kept as " + mapPath + ".other-1."), std::string::npos) << said;
    EXPECT_EQ(ReadFileBytes(mapPath + ".other-1"), bytes(8));
    EXPECT_EQ(ReadFileBytes(mapPath)[0], 1);

    field[0] = 2;
    EXPECT_EQ(store.SaveOnClose(field), TCloseSave::Written);
    EXPECT_FALSE(fs::exists(mapPath + ".other-2"));

    // Written in place by another program: same file, same length, another time.
    WriteFileBytes(mapPath, bytes(9));
    fs::last_write_time(mapPath, fs::last_write_time(mapPath) + std::chrono::seconds(5));
    field[0] = 3;
    TFaultyOps ops;
    ops.FailAt = TStep::Rename;
    ops.Error = EIO;
    SetFileOps(&ops);
    EXPECT_EQ(MessageOf([&] { store.SaveOnClose(field); }),
              "I/O error 5.\n" + mapPath + ": " + std::strerror(EIO));
    ops.Clear();
    EXPECT_EQ(store.SaveOnClose(field), TCloseSave::Written); // the retry keeps it only once
    SetFileOps(nullptr);
    EXPECT_EQ(ReadFileBytes(mapPath + ".other-1"), bytes(8));
    EXPECT_EQ(ReadFileBytes(mapPath + ".other-2"), bytes(9));
    EXPECT_FALSE(fs::exists(mapPath + ".other-3"));
    EXPECT_EQ(ReadFileBytes(mapPath)[0], 3);

    // Replaced by a link to a text file: kept as .other-3 as before, but never written over,
    // at the first save nor at any retry.
    const std::vector<uint8_t> text = {'n', 'o', 't', 'e', 's', '\n'};
    WriteFileBytes(dir.File("notes.txt"), text);
    fs::remove(mapPath);
    fs::create_symlink("notes.txt", mapPath);
    field[0] = 4;
    (void)TakeNotices();
    for (int attempt = 0; attempt < 2; ++attempt)
        EXPECT_EQ(MessageOf([&] { store.SaveOnClose(field); }),
                  "File access denied.\n" + mapPath +
                      ": it is not a map of 76,800 bytes, so it is not replaced");
    EXPECT_EQ(ReadFileBytes(dir.File("notes.txt")), text);
    EXPECT_EQ(ReadFileBytes(dir.File("notes.txt.other-1")), text);
    EXPECT_FALSE(fs::exists(dir.File("notes.txt.other-2")));
    EXPECT_FALSE(fs::exists(dir.File("notes.txt.bak")));
    const std::vector<std::string> notices = TakeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("kept as " + dir.File("notes.txt.other-1")), std::string::npos);
}

// A missing map the user named is made only by a save with something to keep: a change, or a
// save asked for. The default map is made by any close, as always.
TEST(MapStoreTest, AMissingNamedMapIsMadeOnlyByASaveWithSomethingToKeep) {
    TTempDir dir;
    const std::string named = dir.File("new.dat");
    TMapStore store;
    store.SetFileName(named);
    store.SetNamedByUser(true);
    THeightArray field;
    ASSERT_EQ(store.Load(field), TLoadResult::Reset);
    EXPECT_EQ(store.SaveOnClose(field), TCloseSave::Unchanged);
    EXPECT_FALSE(fs::exists(named));
    EXPECT_EQ(store.SaveOnClose(field, true), TCloseSave::Written);
    EXPECT_EQ(ReadFileBytes(named), std::vector<uint8_t>(MapCells, 0));
    fs::remove(named);
    field[5] = 1;
    EXPECT_EQ(store.SaveOnClose(field), TCloseSave::Written);
    EXPECT_EQ(ReadFileBytes(named)[5], 1);

    TMapStore plain;
    plain.SetFileName(dir.File("Map.Dat"));
    ASSERT_EQ(plain.Load(field), TLoadResult::Reset);
    EXPECT_EQ(plain.SaveOnClose(field), TCloseSave::Written);
    EXPECT_TRUE(fs::exists(dir.File("Map.Dat")));
}

// A change is judged against the field as loaded (or reset) or last saved; Save As makes the
// chosen file the map for every later save, and a failed one changes nothing.
TEST(MapStoreTest, SaveAsMakesTheChosenFileTheMap) {
    TTempDir dir;
    const std::string mapPath = dir.File("Map.Dat");
    WriteFileBytes(mapPath, std::vector<uint8_t>(MapCells, 7));
    TMapStore store;
    store.SetFileName(mapPath);
    THeightArray field;
    ASSERT_EQ(store.Load(field), TLoadResult::Loaded);
    EXPECT_FALSE(store.Changed(field));
    field[0] = 1;
    EXPECT_TRUE(store.Changed(field));
    EXPECT_EQ(MessageOf([&] { store.SaveAs(dir.File("none/kept.dat"), field); }),
              "File not found.\n" + dir.File("none/kept.dat") + ": the folder " +
                  dir.File("none") + " does not exist");
    EXPECT_EQ(store.FileName(), mapPath);
    EXPECT_TRUE(store.Changed(field));

    const std::string kept = dir.File("kept.dat");
    store.SaveAs(kept, field);
    EXPECT_EQ(store.FileName(), kept);
    EXPECT_FALSE(store.Changed(field));
    field[0] = 2;
    EXPECT_EQ(store.SaveOnClose(field), TCloseSave::Written);
    EXPECT_EQ(ReadFileBytes(kept)[0], 2);
    EXPECT_EQ(ReadFileBytes(mapPath), std::vector<uint8_t>(MapCells, 7));
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"Map.Dat", "kept.dat", "kept.dat.bak"}));
}
