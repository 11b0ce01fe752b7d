// The map file on real file systems: a save into one too small for the new map (a tmpfs in a
// mount namespace of the test process alone, so nothing outside sees it), and a file the user
// may not read.
#include "terrain/MapFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/FaultyFileOps.h"
#include "support/TempDir.h"
#include "util/Exceptions.h"

namespace {

bool WriteText(const char* path, const std::string& text) {
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return ok;
}

std::string Failed(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Mounts a tmpfs of this many bytes on folder; returns why not when the machine refuses.
std::string MountSmallTmpfs(const std::string& folder, size_t bytes) {
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWNS) != 0) {
        // Without the privilege, a user namespace of our own may grant it.
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return Failed("unshare");
        if (!WriteText("/proc/self/setgroups", "deny") ||
            !WriteText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !WriteText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
            return Failed("user namespace maps");
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return Failed("private mounts");
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
    if (mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0)
        return Failed("mount tmpfs");
    return "";
}

// Unmounts on every way out of the test.
struct TUnmount {
    std::string Folder;
    ~TUnmount() {
        if (!Folder.empty()) umount2(Folder.c_str(), MNT_DETACH);
    }
};

// Writes until the file system refuses; returns the bytes written.
long long FillUp(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    const std::vector<char> block(4096, 'x');
    long long total = 0;
    for (;;) {
        const ssize_t n = write(fd, block.data(), block.size());
        if (n <= 0) break;
        total += n;
    }
    close(fd);
    return total;
}

} // namespace

TEST(MapFileDiskTest, RealFullDiskSaveKeepsTheOldFileAndLeavesNoTemporary) {
    TTempDir dir;
    const std::string small = dir.File("small");
    std::filesystem::create_directory(small);
    const std::string reason = MountSmallTmpfs(small, 256 * 1024);
    if (!reason.empty())
        GTEST_SKIP() << "this machine allows no tmpfs mount (" << reason
                     << "): the save into a real full disk is not tested here";
    TUnmount unmount{small};

    const std::string mapPath = small + "/Map.Dat";
    const std::string filler = small + "/filler";
    std::vector<uint8_t> original(MapCells);
    for (size_t i = 0; i < original.size(); ++i)
        original[i] = static_cast<uint8_t>(i * 13);
    WriteFileBytes(mapPath, original);
    THeightArray changed;
    changed.fill(200);
    const auto names = [&] {
        std::vector<std::string> result;
        for (const auto& entry : std::filesystem::directory_iterator(small))
            result.push_back(entry.path().filename().string());
        std::sort(result.begin(), result.end());
        return result;
    };

    // No room at all, then room for a part of the new file only.
    const long long filled = FillUp(filler);
    ASSERT_GT(filled, 0);
    for (long long room : {0LL, 40LL * 1024}) {
        SCOPED_TRACE(room);
        ASSERT_EQ(truncate(filler.c_str(), filled - room), 0);
        EXPECT_EQ(MessageOf([&] { SaveHeightArray(mapPath, changed); }), "Disk full");
        EXPECT_EQ(ReadFileBytes(mapPath), original);
        EXPECT_EQ(names(), (std::vector<std::string>{"Map.Dat", "filler"}));
    }

    // Once there is room again, the next save goes through.
    std::filesystem::remove(filler);
    SaveHeightArray(mapPath, changed);
    EXPECT_EQ(ReadFileBytes(mapPath), std::vector<uint8_t>(changed.begin(), changed.end()));
    EXPECT_EQ(names(), (std::vector<std::string>{"Map.Dat", "Map.Dat.bak"}));
    EXPECT_EQ(ReadFileBytes(mapPath + ".bak"), original);
}

// A file its owner may write but not read: the load is refused, and so is the save that would
// otherwise replace it with the empty field the refused load left. Run as an ordinary user (the
// child drops root, which may read anything).
TEST(MapFileDiskTest, FileTheUserMayNotWriteIsNotReplacedBySave) {
    TTempDir dir;
    const std::string mapPath = dir.File("Map.Dat");
    const std::vector<uint8_t> original(MapCells, 42);
    WriteFileBytes(mapPath, original);
    const uid_t user = getuid() == 0 ? 65534 : getuid();
    ASSERT_EQ(chmod(dir.Path().c_str(), 0777), 0);
    ASSERT_EQ(chown(mapPath.c_str(), user, user), 0);
    // Write-only: the load is refused. Read-only: the map loads whole.
    for (const mode_t mode : {0200, 0400}) {
        ASSERT_EQ(chmod(mapPath.c_str(), mode), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (getuid() == 0 &&
                (setgroups(0, nullptr) != 0 || setgid(user) != 0 || setuid(user) != 0))
                _exit(10);
            THeightArray field{};
            const std::string loaded = MessageOf([&] { LoadHeightArray(mapPath, field); });
            const bool whole = std::equal(field.begin(), field.end(), original.begin());
            const std::string saved = MessageOf([&] { SaveHeightArray(mapPath, field); });
            if (mode == 0200 ? loaded != "File access denied" : loaded != "no error" || !whole)
                _exit(11);
            _exit(saved != "File access denied" ? 12 : 0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0)
            << "mode " << std::oct << mode << ": 10 cannot drop root, 11 load, 12 save not refused";
        EXPECT_EQ(ReadFileBytes(mapPath), original);
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"Map.Dat"});
    }
}
