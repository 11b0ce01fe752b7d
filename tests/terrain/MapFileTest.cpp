// Tests of loading and saving "Map.Dat" on real files, with failures injected through TFileOps.
#include "terrain/MapFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/FaultyFileOps.h"
#include "support/TempDir.h"
#include "util/Exceptions.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> VariedBytes(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 240);
    return bytes;
}
std::vector<uint8_t> BytesOf(const THeightArray& field) {
    return {field.begin(), field.end()};
}
bool AllZero(const THeightArray& field) {
    return BytesOf(field) == std::vector<uint8_t>(MapCells);
}
THeightArray Dirty() {
    THeightArray field;
    field.fill(0xAB);
    return field;
}
unsigned ModeOf(const std::string& path) {
    return static_cast<unsigned>(fs::status(path).permissions() & fs::perms::all);
}
ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}
class MapFileTest : public ::testing::Test {
  protected:
    TTempDir Dir;
    std::string MapPath = Dir.File("Map.Dat");
    THeightArray Field = Dirty();
    // Besides the map only its .bak, holding the map a save replaced: no temporary left.
    void ExpectOnlyMapAndBackup(const std::vector<uint8_t>& backup) const {
        for (const std::string& name : Dir.Names()) {
            if (name == "Map.Dat.bak") {
                EXPECT_EQ(ReadFileBytes(MapPath + ".bak"), backup);
            } else {
                EXPECT_EQ(name, "Map.Dat");
            }
        }
    }
};

} // namespace

TEST_F(MapFileTest, NoFileResetsAndSaveWritesANewFileWithTheUsualMode) {
    EXPECT_EQ(LoadHeightArray(MapPath, Field), TLoadResult::Reset);
    EXPECT_TRUE(AllZero(Field));
    Field[CellIndex(3, 4)] = 9;
    const mode_t oldMask = umask(027);
    SaveHeightArray(MapPath, Field);
    umask(oldMask);
    EXPECT_EQ(ReadFileBytes(MapPath), BytesOf(Field));
    EXPECT_EQ(Dir.Names(), std::vector<std::string>{"Map.Dat"});
    EXPECT_EQ(ModeOf(MapPath), 0640u);
}

// Only the file the load found is replaced: any other file that is not a map never is.
TEST_F(MapFileTest, WrongLengthResetsSilentlyAndSaveRestoresTheLength) {
    for (size_t size : {size_t{0}, size_t{MapCells - 1}, size_t{MapCells + 1}}) {
        WriteFileBytes(MapPath, VariedBytes(size));
        Field = Dirty();
        TFileStamp found;
        ASSERT_EQ(StampFile(MapPath, found), 0);
        EXPECT_EQ(LoadHeightArray(MapPath, Field), TLoadResult::Reset) << size;
        EXPECT_TRUE(AllZero(Field)) << size;
        EXPECT_EQ(MessageOf([&] { SaveHeightArray(MapPath, Field); }), "File access denied");
        EXPECT_EQ(ReadFileBytes(MapPath), VariedBytes(size));
        bool keepUnread = false;
        EXPECT_EQ(WriteHeightArray(MapPath, Field, keepUnread, nullptr, &found), 0);
        EXPECT_EQ(ReadFileBytes(MapPath), std::vector<uint8_t>(MapCells, 0)) << size;
    }
}

TEST_F(MapFileTest, ByteAt240xPlusYIsCellXY) {
    for (auto [x, y] : {std::pair{0, 239}, {1, 0}, {123, 45}, {319, 239}}) {
        std::vector<uint8_t> bytes(MapCells, 0);
        bytes[240 * x + y] = 255;
        WriteFileBytes(MapPath, bytes);
        ASSERT_EQ(LoadHeightArray(MapPath, Field), TLoadResult::Loaded);
        EXPECT_EQ(Field[CellIndex(x, y)], 255) << x << ',' << y;
        EXPECT_EQ(std::count(Field.begin(), Field.end(), 0), MapCells - 1);
    }
}

TEST_F(MapFileTest, LoadThenSaveReproducesTheFileAndItsMode) {
    const auto original = VariedBytes(MapCells);
    WriteFileBytes(MapPath, original);
    fs::permissions(MapPath, fs::perms(0604));
    ASSERT_EQ(LoadHeightArray(MapPath, Field), TLoadResult::Loaded);
    EXPECT_EQ(BytesOf(Field), original);
    SaveHeightArray(MapPath, Field);
    EXPECT_EQ(ReadFileBytes(MapPath), original);
    EXPECT_EQ(ModeOf(MapPath), 0604u);
}

TEST_F(MapFileTest, TimeStampsIn1970And2200LoadNormally) {
    const auto original = VariedBytes(MapCells);
    WriteFileBytes(MapPath, original);
    for (time_t stamp : {time_t{0}, time_t{7258118400}}) {
        const timespec times[2] = {{stamp, 0}, {stamp, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, MapPath.c_str(), times, 0), 0);
        Field = Dirty();
        EXPECT_EQ(LoadHeightArray(MapPath, Field), TLoadResult::Loaded) << stamp;
        EXPECT_EQ(BytesOf(Field), original) << stamp;
    }
}

TEST_F(MapFileTest, RealFolderNamedMapDatCountsAsNoFileAndSaveOntoItFails) {
    fs::create_directory(MapPath);
    WriteFileBytes(MapPath + "/keep", {1, 2, 3});
    EXPECT_EQ(LoadHeightArray(MapPath, Field), TLoadResult::Reset);
    EXPECT_TRUE(AllZero(Field));
    EXPECT_EQ(MessageOf([&] { SaveHeightArray(MapPath, Field); }), "File access denied");
    EXPECT_EQ(ReadFileBytes(MapPath + "/keep"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(Dir.Names(), std::vector<std::string>{"Map.Dat"});
}

TEST_F(MapFileTest, RealMissingFolderSaveIsFileNotFoundAndCreatesNothing) {
    const std::string inMissing = Dir.File("missing/Map.Dat");
    EXPECT_EQ(MessageOf([&] { SaveHeightArray(inMissing, Field); }), "File not found");
    try {
        RaiseIoResultFor(ENOENT, inMissing);
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, 2);
        EXPECT_EQ(e.what(), "File not found.\n" + inMissing + ": the folder " +
                                Dir.File("missing") + " does not exist");
    }
    EXPECT_TRUE(Dir.Names().empty());
}

// What a save would meet, asked at start-up without writing anything; and which named files
// are something other than a map (a save would replace them).
TEST_F(MapFileTest, CheckSavableSaysWhatASaveWouldMeetAndWritesNothing) {
    WriteFileBytes(MapPath, std::vector<uint8_t>(MapCells, 1));
    WriteFileBytes(Dir.File("short"), {1, 2, 3});
    fs::create_directory(Dir.File("folder"));
    ASSERT_EQ(mkfifo(Dir.File("fifo").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", Dir.File("device"));
    fs::create_symlink("loop-b", Dir.File("loop-a"));
    fs::create_symlink("loop-a", Dir.File("loop-b"));
    // A map that loads, in a path whose save's temporary name would pass PATH_MAX.
    std::string deep = Dir.Path();
    deep.pop_back();
    while (deep.size() + 200 + 9 + 14 < PATH_MAX) deep.append("/").append(199, 'd');
    const size_t last = PATH_MAX - 14 - 9 - deep.size(); // "/", "/Map.Dat": 14 short of PATH_MAX
    deep.append("/").append(last, 'e');
    fs::create_directories(deep);
    const std::string deepMap = deep + "/Map.Dat";
    WriteFileBytes(deepMap, std::vector<uint8_t>(MapCells, 1));
    const auto before = Dir.Names();
    const std::string notAFile = "File access denied: it is not a file but a folder, a FIFO or "
                                 "a device";
    const std::pair<std::string, std::string> rows[] = {
        {MapPath, "no error"},
        {Dir.File("new.dat"), "no error"},
        {Dir.File("folder"), notAFile},
        {Dir.File("fifo"), notAFile},
        {Dir.File("device"), notAFile},
        {Dir.File("none/Map.Dat"), "File not found: the folder " + Dir.File("none") +
                                       " does not exist"},
        {Dir.File("loop-a"), "I/O error 40: its symbolic links form a loop"},
        {deepMap, "Invalid filename: its path is too long for the save's temporary file beside "
                  "it"}};
    for (const auto& [path, said] : rows) {
        const TIoResult r = CheckSavable(path);
        EXPECT_EQ(r == 0 ? std::string("no error") : IoFailureLine(r, path), said) << path;
    }
    THeightArray loaded;
    EXPECT_EQ(LoadHeightArray(deepMap, loaded), TLoadResult::Loaded);
    // A folder that takes no new file: the in-place save serves an existing, singly linked file.
    TFaultyOps ops;
    ops.FailAt = TStep::FolderWritable;
    ops.Error = EACCES;
    SetFileOps(&ops);
    EXPECT_EQ(CheckSavable(MapPath), 0);
    ops.Clear();
    ops.FailAt = TStep::FolderWritable;
    ops.Error = EACCES;
    EXPECT_EQ(IoFailureLine(CheckSavable(Dir.File("new.dat")), Dir.File("new.dat")),
              "File access denied: you may not make files in " +
                  Dir.Path().substr(0, Dir.Path().size() - 1));
    ops.Clear();
    ops.FailAt = TStep::Writable;
    ops.Error = EACCES;
    EXPECT_EQ(IoFailureLine(CheckSavable(MapPath), MapPath),
              "File access denied: you may not both read and write it");
    SetFileOps(nullptr);
    EXPECT_EQ(Dir.Names(), before);

    EXPECT_TRUE(IsOtherThanAMap(Dir.File("short")));
    for (const std::string& path : {MapPath, Dir.File("new.dat"), Dir.File("folder"),
                                   Dir.File("fifo"), Dir.File("device")})
        EXPECT_FALSE(IsOtherThanAMap(path)) << path;
}

TEST_F(MapFileTest, SaveThroughASymbolicLinkReplacesItsTarget) {
    fs::create_directory(Dir.File("data"));
    WriteFileBytes(Dir.File("data/terrain.bin"), std::vector<uint8_t>(MapCells, 1));
    fs::create_symlink("data/terrain.bin", MapPath);
    ASSERT_EQ(LoadHeightArray(MapPath, Field), TLoadResult::Loaded);
    Field[0] = 77;
    SaveHeightArray(MapPath, Field);
    EXPECT_TRUE(fs::is_symlink(MapPath));
    EXPECT_EQ(ReadFileBytes(Dir.File("data/terrain.bin")), BytesOf(Field));
    EXPECT_EQ(ReadFileBytes(Dir.File("data/terrain.bin.bak")), std::vector<uint8_t>(MapCells, 1));
    EXPECT_EQ(Dir.Names(), (std::vector<std::string>{"Map.Dat", "data"}));
}

// One generation: each save keeps the file it replaces, as a hard link (the very same file)
// where the file system has them, else as a byte copy; failing to keep it does not fail the save.
TEST_F(MapFileTest, SaveKeepsTheReplacedFileAsBakByLinkOrCopy) {
    const auto first = VariedBytes(MapCells);
    WriteFileBytes(MapPath, first);
    const ino_t firstFile = InodeOf(MapPath);
    THeightArray second{};
    second[5] = 5;
    SaveHeightArray(MapPath, second);
    EXPECT_EQ(InodeOf(MapPath + ".bak"), firstFile);
    THeightArray third{};
    third[6] = 6;
    SaveHeightArray(MapPath, third);
    EXPECT_EQ(ReadFileBytes(MapPath + ".bak"), BytesOf(second));

    TFaultyOps ops;
    SetFileOps(&ops);
    ops.FailAt = TStep::Link;
    ops.Error = EPERM; // a file system without hard links
    SaveHeightArray(MapPath, second);
    EXPECT_EQ(ReadFileBytes(MapPath + ".bak"), BytesOf(third));
    EXPECT_NE(InodeOf(MapPath + ".bak"), InodeOf(MapPath));

    ops.Clear();
    ops.FailAt = TStep::Link;
    ops.Error = EIO;
    testing::internal::CaptureStderr();
    SaveHeightArray(MapPath, third);
    const std::string said = testing::internal::GetCapturedStderr();
    SetFileOps(nullptr);
    EXPECT_EQ(ReadFileBytes(MapPath), BytesOf(third));
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("Map.Dat.bak"), std::string::npos) << said;
    EXPECT_EQ(Dir.Names(), std::vector<std::string>{"Map.Dat"});

    SetFileOps(&ops); // a byte copy failing part way leaves no partial .bak either
    ops.Clear();
    ops.FailAt = TStep::Link;
    ops.Error = EPERM;
    ops.AlsoFailAt = TStep::Write;
    ops.AlsoError = ENOSPC;
    ops.AlsoFailOnCall = 2; // the first writes the new map
    testing::internal::CaptureStderr();
    SaveHeightArray(MapPath, second);
    testing::internal::GetCapturedStderr();
    SetFileOps(nullptr);
    EXPECT_EQ(ops.CallsOf(TStep::Write), 2);
    EXPECT_EQ(ReadFileBytes(MapPath), BytesOf(second));
    EXPECT_EQ(Dir.Names(), std::vector<std::string>{"Map.Dat"});
}

// Where no temporary may be made in the folder, the file itself is overwritten after a byte copy
// to .bak; never when another name shares the file (it could be the .bak or .unread).
TEST_F(MapFileTest, InPlaceSaveOnlyWhenTheFolderRefusesTheTemporary) {
    const auto original = VariedBytes(MapCells);
    WriteFileBytes(MapPath, original);
    const ino_t file = InodeOf(MapPath);
    TFaultyOps ops;
    SetFileOps(&ops);
    for (int refusal : {EACCES, EPERM}) {
        ops.Clear();
        ops.FailAt = TStep::Temp;
        ops.Error = refusal;
        Field[0] = static_cast<uint8_t>(refusal);
        SaveHeightArray(MapPath, Field);
        EXPECT_EQ(ReadFileBytes(MapPath), BytesOf(Field));
        EXPECT_EQ(InodeOf(MapPath), file);
    }
    EXPECT_EQ(ReadFileBytes(MapPath + ".bak")[0], EACCES); // the copy taken before the second
    EXPECT_EQ(fs::hard_link_count(MapPath), 1u);

    fs::create_hard_link(MapPath, Dir.File("other"));
    const auto before = ReadFileBytes(MapPath);
    ops.Clear();
    ops.FailAt = TStep::Temp;
    ops.Error = EACCES;
    EXPECT_EQ(MessageOf([&] { SaveHeightArray(MapPath, Dirty()); }), "File access denied");
    EXPECT_EQ(ReadFileBytes(MapPath), before);
    fs::remove(Dir.File("other"));

    ops.Clear(); // any other refusal is reported as it is
    ops.FailAt = TStep::Temp;
    ops.Error = ENOSPC;
    EXPECT_EQ(MessageOf([&] { SaveHeightArray(MapPath, Dirty()); }), "Disk full");
    EXPECT_EQ(ReadFileBytes(MapPath), before);

    // A failure on this path is reported; the .bak copy taken first holds the old map. (The
    // copy opens, writes, syncs and closes first: the overwrite's own call comes after.)
    const std::pair<TStep, int> steps[] = {{TStep::Open, 2},     {TStep::Write, 3},
                                           {TStep::Truncate, 1}, {TStep::Sync, 2},
                                           {TStep::Close, 3}};
    for (auto [step, call] : steps) {
        SCOPED_TRACE(static_cast<int>(step));
        WriteFileBytes(MapPath, before);
        ops.Clear();
        ops.FailAt = TStep::Temp;
        ops.Error = EACCES;
        ops.AlsoFailAt = step;
        ops.AlsoFailOnCall = call;
        ops.AlsoError = EIO;
        EXPECT_EQ(MessageOf([&] { SaveHeightArray(MapPath, Dirty()); }), "I/O error 5");
        EXPECT_EQ(ReadFileBytes(MapPath + ".bak"), before);
    }
    SetFileOps(nullptr);
}

TEST(InOutErrorCode, PlatformErrorsMapToTheRuntimeCodes) {
    const std::pair<int, int> rows[] = {
        {ENOENT, 2}, {ENOTDIR, 2},  {EINVAL, 3},   {ENAMETOOLONG, 3}, {EMFILE, 4},
        {ENFILE, 4}, {EACCES, 5},   {EPERM, 5},    {EROFS, 5},        {EISDIR, 5},
        {EEXIST, 5}, {ENOSPC, 101}, {EDQUOT, 101}, {EXDEV, EXDEV},    {ELOOP, ELOOP}};
    for (auto [platform, code] : rows)
        EXPECT_EQ(InOutErrorCode(platform), code) << platform;
}

// ---- Failures injected at one step through the seam ----------------------------------------

namespace {

struct TFaultRow {
    TStep Step;
    int Error;
    const char* Message;
};

size_t OpenDescriptors() {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

class MapFileSeamTest : public MapFileTest {
  protected:
    TFaultyOps Ops;
    std::vector<uint8_t> Original = VariedBytes(MapCells);
    size_t Descriptors = 0;
    void SetUp() override {
        WriteFileBytes(MapPath, Original);
        Descriptors = OpenDescriptors();
        SetFileOps(&Ops);
    }
    void TearDown() override {
        SetFileOps(nullptr);
        EXPECT_EQ(OpenDescriptors(), Descriptors); // error paths close what they opened
        ExpectOnlyMapAndBackup(Original);
    }
    void Inject(const TFaultRow& row) {
        Ops.Clear();
        Ops.FailAt = row.Step;
        Ops.Error = row.Error;
    }
};

} // namespace

TEST_F(MapFileSeamTest, SeamLoadFailureAtEachStepLeavesTheFieldZero) {
    const TFaultRow rows[] = {{TStep::Inspect, ELOOP, "I/O error 40"},
                              {TStep::OpenRead, EACCES, "File access denied"},
                              {TStep::OpenRead, EMFILE, "Too many open files"},
                              {TStep::Size, EOVERFLOW, "I/O error 75"},
                              {TStep::Read, EBADF, "I/O error 9"},
                              {TStep::Read, EIO, "I/O error 5"}, // not the table's code 5
                              {TStep::ZeroRead, 0, "Read beyond end of file"},
                              {TStep::Close, ENOSPC, "Disk full"}};
    for (const auto& row : rows) {
        Inject(row);
        Field = Dirty();
        EXPECT_EQ(MessageOf([&] { LoadHeightArray(MapPath, Field); }), row.Message);
        EXPECT_TRUE(AllZero(Field)) << row.Message;
    }
}

TEST_F(MapFileSeamTest, SeamSaveFailureAtEachStepKeepsTheOldFileByteForByte) {
    const TFaultRow rows[] = {{TStep::Target, ELOOP, "I/O error 40"},
                              {TStep::Inspect, EIO, "I/O error 5"},
                              {TStep::Writable, EACCES, "File access denied"},
                              {TStep::Writable, EROFS, "File access denied"},
                              {TStep::Temp, EMFILE, "Too many open files"},
                              {TStep::Temp, ENAMETOOLONG, "Invalid filename"},
                              {TStep::Write, ENOSPC, "Disk full"},
                              {TStep::ZeroWrite, 0, "Disk full"},
                              {TStep::Sync, EDQUOT, "Disk full"},
                              {TStep::Close, ENOSPC, "Disk full"},
                              {TStep::Rename, EXDEV, "I/O error 18"}};
    const THeightArray changed{};
    for (const auto& row : rows) {
        Inject(row);
        EXPECT_EQ(MessageOf([&] { SaveHeightArray(MapPath, changed); }), row.Message);
        EXPECT_EQ(ReadFileBytes(MapPath), Original) << row.Message;
        ExpectOnlyMapAndBackup(Original);
    }
}

TEST_F(MapFileSeamTest, SeamPartialTransfersStillMoveEveryByteInOrder) {
    Ops.MaxTransfer = 1000;
    ASSERT_EQ(LoadHeightArray(MapPath, Field), TLoadResult::Loaded);
    EXPECT_EQ(BytesOf(Field), Original);
    std::reverse(Field.begin(), Field.end());
    SaveHeightArray(MapPath, Field);
    EXPECT_EQ(ReadFileBytes(MapPath), BytesOf(Field));
}

// Transfers cut to 4 KiB take 19 calls each way; each call of each step fails in turn, plain
// and as a zero-byte transfer, and the very next try succeeds. The steps that only keep the
// .bak, copy the mode, sync the folder or clear old temporaries let the save go on.
TEST_F(MapFileSeamTest, SeamEveryCallOfEveryStepFailsCleanlyAndTheNextTrySucceeds) {
    Ops.MaxTransfer = 4096;
    ASSERT_EQ(LoadHeightArray(MapPath, Field), TLoadResult::Loaded);
    const auto loadCalls = Ops.Calls;
    Ops.Clear();
    WriteFileBytes(Dir.File("Map.Dat.saving-dead01"), {1}); // so the clean-up has work
    SaveHeightArray(MapPath, Field);
    const auto saveCalls = Ops.Calls;
    ASSERT_EQ(loadCalls[static_cast<int>(TStep::Read)], 19);
    ASSERT_EQ(saveCalls[static_cast<int>(TStep::Write)], 19);

    struct TKind {
        TStep Step;
        int Error;
        const char* Message; // "no error": the save goes on
    };
    const TKind kinds[] = {{TStep::OpenRead, EIO, "I/O error 5"},
                           {TStep::Size, EIO, "I/O error 5"},
                           {TStep::Read, EIO, "I/O error 5"},
                           {TStep::ZeroRead, 0, "Read beyond end of file"},
                           {TStep::Target, EIO, "I/O error 5"},
                           {TStep::Inspect, EIO, "I/O error 5"},
                           {TStep::Writable, EACCES, "File access denied"},
                           {TStep::List, EIO, "no error"},
                           {TStep::LockStale, EIO, "no error"},
                           {TStep::Temp, ENOSPC, "Disk full"},
                           {TStep::Mode, EPERM, "no error"},
                           {TStep::Write, EIO, "I/O error 5"},
                           {TStep::ZeroWrite, 0, "Disk full"},
                           {TStep::Sync, EIO, "I/O error 5"},
                           {TStep::Close, EIO, "I/O error 5"},
                           {TStep::Remove, EIO, "no error"},
                           {TStep::Link, EIO, "no error"},
                           {TStep::Rename, EIO, "I/O error 5"},
                           {TStep::FolderSync, EIO, "no error"}};
    THeightArray changed = Field;
    std::reverse(changed.begin(), changed.end());
    int injected = 0;
    testing::internal::CaptureStderr(); // the backups that could not be kept say so
    for (bool load : {true, false}) {
        const auto& calls = load ? loadCalls : saveCalls;
        for (const TKind& kind : kinds) {
            const TStep call = kind.Step == TStep::ZeroRead    ? TStep::Read
                               : kind.Step == TStep::ZeroWrite ? TStep::Write
                                                               : kind.Step;
            const bool goesOn = std::string(kind.Message) == "no error";
            for (int k = 1; k <= calls[static_cast<int>(call)]; ++k, ++injected) {
                SCOPED_TRACE(testing::Message() << (load ? "load " : "save ") << kind.Message
                                                << " at call " << k << " of step "
                                                << static_cast<int>(call));
                WriteFileBytes(Dir.File("Map.Dat.saving-dead01"), {1});
                Ops.Clear();
                Ops.FailAt = kind.Step;
                Ops.Error = kind.Error;
                Ops.FailOnCall = k;
                Field = Dirty();
                EXPECT_EQ(MessageOf([&] {
                              if (load) {
                                  LoadHeightArray(MapPath, Field);
                              } else {
                                  SaveHeightArray(MapPath, changed);
                              }
                          }),
                          kind.Message);
                if (load) {
                    EXPECT_TRUE(AllZero(Field));
                }
                EXPECT_EQ(ReadFileBytes(MapPath), goesOn ? BytesOf(changed) : Original);
                fs::remove(Dir.File("Map.Dat.saving-dead01"));
                ExpectOnlyMapAndBackup(Original);

                Ops.Clear();
                if (load) {
                    EXPECT_EQ(LoadHeightArray(MapPath, Field), TLoadResult::Loaded);
                    EXPECT_EQ(BytesOf(Field), Original);
                } else {
                    SaveHeightArray(MapPath, changed);
                    EXPECT_EQ(ReadFileBytes(MapPath), BytesOf(changed));
                    WriteFileBytes(MapPath, Original);
                    WriteFileBytes(MapPath + ".bak", Original);
                }
            }
        }
    }
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(injected, 94); // 42 in the load, 52 in the save
    RecordProperty("FaultsInjected", injected);
}
