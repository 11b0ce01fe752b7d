// OpenRegularFile: only a regular file is opened, and nothing else is even opened, so a FIFO
// or a device named by another program cannot block the caller.
#include "util/RegularFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/TempDir.h"

TEST(RegularFile, OpensOnlyRegularFilesAndNeverBlocks) {
    TTempDir dir;
    WriteFileBytes(dir.File("a.png"), {1, 2, 3});
    ASSERT_EQ(mkfifo(dir.File("p.png").c_str(), 0600), 0);
    ASSERT_EQ(mkdir(dir.File("folder").c_str(), 0700), 0);
    ASSERT_EQ(symlink(dir.File("a.png").c_str(), dir.File("to-a").c_str()), 0);
    ASSERT_EQ(symlink(dir.File("p.png").c_str(), dir.File("to-p").c_str()), 0);
    const struct {
        std::string Path;
        TOpenedFile::TKind Kind;
    } rows[] = {
        {dir.File("a.png"), TOpenedFile::Regular},
        {dir.File("to-a"), TOpenedFile::Regular},  // a link to a regular file is one
        {dir.File("p.png"), TOpenedFile::Other},   // a FIFO with no writer: open would block
        {dir.File("to-p"), TOpenedFile::Other},    // nor through a link
        {"/dev/null", TOpenedFile::Other},         // a device
        {dir.File("folder"), TOpenedFile::Folder}, //
        {dir.Path(), TOpenedFile::Folder},         // with its slash
        {dir.File("none.png"), TOpenedFile::Missing},
        {dir.File("a.png/x"), TOpenedFile::Missing}, // a file taken for a folder
        {"", TOpenedFile::Missing},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Path);
        const TOpenedFile file = OpenRegularFile(row.Path);
        EXPECT_EQ(file.Kind, row.Kind);
        if (row.Kind != TOpenedFile::Regular) {
            EXPECT_EQ(file.Fd, -1);
            continue;
        }
        ASSERT_GE(file.Fd, 0);
        // Read-only, closed on exec, and it reads the file.
        EXPECT_EQ(fcntl(file.Fd, F_GETFL) & O_ACCMODE, O_RDONLY);
        EXPECT_NE(fcntl(file.Fd, F_GETFD) & FD_CLOEXEC, 0);
        char bytes[4] = {};
        EXPECT_EQ(read(file.Fd, bytes, sizeof bytes), 3);
        EXPECT_EQ(bytes[2], 3);
        close(file.Fd);
    }
}

TEST(RegularFile, AFileThatCannotBeReadSaysWhy) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    TTempDir dir;
    WriteFileBytes(dir.File("secret.png"), {1});
    ASSERT_EQ(chmod(dir.File("secret.png").c_str(), 0), 0);
    const TOpenedFile file = OpenRegularFile(dir.File("secret.png"));
    EXPECT_EQ(file.Kind, TOpenedFile::Unreadable);
    EXPECT_EQ(file.Error, EACCES);
    EXPECT_EQ(file.Fd, -1);
}
