// When a close writes the map, and what it keeps first: two copies of the program on one file,
// an edit undone, a reset field, wrong-length and unreadable files.
#include "terrain/MapStore.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "support/FaultyFileOps.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

using TCloseSave = TMapStore::TCloseSave;

std::vector<uint8_t> Bytes(uint8_t value) {
    return std::vector<uint8_t>(MapCells, value);
}

class MapStoreTest : public ::testing::Test {
  protected:
    TTempDir Dir;
    std::string MapPath = Dir.File("Map.Dat");
    THeightArray Field{};
    TMapStore Open() {
        TMapStore store;
        store.SetFileName(MapPath);
        return store;
    }
};

} // namespace

// A close that changed nothing writes nothing (an edit undone is no change); a changed field is
// written and the replaced file kept as .bak.
TEST_F(MapStoreTest, CloseWritesOnlyAChangedField) {
    WriteFileBytes(MapPath, Bytes(7));
    TMapStore store = Open();
    ASSERT_EQ(store.Load(Field), TLoadResult::Loaded);
    Field[10] = 99;
    Field[10] = 7;
    EXPECT_EQ(store.SaveOnClose(Field), TCloseSave::Unchanged);
    EXPECT_EQ(Dir.Names(), std::vector<std::string>{"Map.Dat"});

    Field.fill(0); // one press of the reset button
    EXPECT_EQ(store.SaveOnClose(Field), TCloseSave::Written);
    EXPECT_EQ(ReadFileBytes(MapPath), Bytes(0));
    EXPECT_EQ(ReadFileBytes(MapPath + ".bak"), Bytes(7)); // the map a user can take back
}

// Two copies on one file: A saves its work; B, unchanged since it loaded, leaves A's work
// standing. Had B changed its field, B's work is written and A's is the .bak.
TEST_F(MapStoreTest, AnotherCopysSaveStandsUnlessThisCopyChangedTheField) {
    WriteFileBytes(MapPath, Bytes(1));
    TMapStore a = Open();
    TMapStore b = Open();
    THeightArray fieldA{};
    THeightArray fieldB{};
    a.Load(fieldA);
    b.Load(fieldB);
    fieldA[0] = 2;
    EXPECT_EQ(a.SaveOnClose(fieldA), TCloseSave::Written);
    EXPECT_EQ(b.SaveOnClose(fieldB), TCloseSave::Unchanged);
    const std::vector<uint8_t> workOfA(fieldA.begin(), fieldA.end());
    EXPECT_EQ(ReadFileBytes(MapPath), workOfA);

    fieldB[1] = 3;
    EXPECT_EQ(b.SaveOnClose(fieldB), TCloseSave::Written);
    EXPECT_EQ(ReadFileBytes(MapPath + ".bak"), workOfA);

    // A file that is no whole map counts as different: the unchanged field is written.
    for (const std::vector<uint8_t>& onDisk : {std::vector<uint8_t>{}, Bytes(0)}) {
        fs::remove(MapPath);
        if (!onDisk.empty()) WriteFileBytes(MapPath, {1, 2, 3});
        EXPECT_EQ(a.SaveOnClose(fieldA), TCloseSave::Written);
        EXPECT_EQ(ReadFileBytes(MapPath), workOfA);
    }
}

// A file of another length, or one that could not be read, is kept as .unread (beside a link's
// target) before the first save replaces it, and only once; a sparse 4 GB file is not read.
TEST_F(MapStoreTest, WrongLengthOrUnreadFileIsKeptAsUnreadBeforeTheFirstSave) {
    fs::create_directory(Dir.File("data"));
    const std::string target = Dir.File("data/terrain.bin");
    const std::pair<long long, bool> rows[] = {{MapCells - 1, false},
                                               {20LL * 1024 * 1024, true},
                                               {4LL * 1024 * 1024 * 1024, true}};
    for (auto [length, throughLink] : rows) {
        SCOPED_TRACE(length);
        const std::string file = throughLink ? target : MapPath;
        fs::remove_all(Dir.File("data"));
        fs::remove(MapPath);
        fs::create_directory(Dir.File("data"));
        WriteFileBytes(file, {5, 6, 7});
        fs::resize_file(file, static_cast<uintmax_t>(length));
        if (throughLink) fs::create_symlink("data/terrain.bin", MapPath);
        TMapStore store = Open();
        Field.fill(9);
        EXPECT_EQ(store.Load(Field), TLoadResult::Reset);
        EXPECT_EQ(store.SaveOnClose(Field), TCloseSave::Written);
        EXPECT_EQ(fs::file_size(file + ".unread"), static_cast<uintmax_t>(length));
        EXPECT_EQ(ReadFileBytes(file).size(), static_cast<size_t>(MapCells));
        Field[0] = 1;
        EXPECT_EQ(store.SaveOnClose(Field), TCloseSave::Written);
        EXPECT_FALSE(fs::exists(file + ".unread-2"));
    }

    fs::remove(MapPath);
    fs::remove(MapPath + ".unread");
    WriteFileBytes(MapPath, Bytes(4));
    TFaultyOps ops;
    ops.FailAt = TStep::Read;
    ops.Error = EIO;
    SetFileOps(&ops);
    TMapStore store = Open();
    EXPECT_EQ(MessageOf([&] { store.Load(Field); }), "I/O error 5");
    ops.Clear();
    // The save fails after the map was kept: the retry keeps no second copy.
    ops.FailAt = TStep::Rename;
    ops.Error = EIO;
    EXPECT_EQ(MessageOf([&] { store.SaveOnClose(Field); }), "I/O error 5");
    ops.Clear();
    EXPECT_EQ(store.SaveOnClose(Field), TCloseSave::Written);
    SetFileOps(nullptr);
    EXPECT_EQ(ReadFileBytes(MapPath + ".unread"), Bytes(4));
    EXPECT_FALSE(fs::exists(MapPath + ".unread-2"));
}

// The close without exceptions (a lost display) decides and writes the same way.
TEST_F(MapStoreTest, TheCloseWithoutExceptionsReportsTheFailure) {
    fs::create_directory(MapPath);
    TMapStore store = Open();
    store.Load(Field);
    TCloseSave outcome = TCloseSave::Written;
    const TIoResult r = store.TrySaveOnClose(Field, outcome);
    EXPECT_EQ(IoResultMessage(r), "File access denied");
    EXPECT_EQ(IoResultCode(r), 5);
    fs::remove(MapPath);
    EXPECT_EQ(store.TrySaveOnClose(Field, outcome), 0);
    EXPECT_EQ(outcome, TCloseSave::Written);
    EXPECT_EQ(store.TrySaveOnClose(Field, outcome), 0);
    EXPECT_EQ(outcome, TCloseSave::Unchanged);
}
