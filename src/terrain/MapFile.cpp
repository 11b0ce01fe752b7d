// Loading and saving "Map.Dat": whole-file reads, and saves that never leave a partial file.
#include "terrain/MapFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "toolkit/Exceptions.h"

namespace {

constexpr int ReadBeyondEnd = 100;
constexpr int DiskFull = 101;

[[noreturn]] void RaiseIo(int code) {
    throw EInOutError(code);
}
// Errors the table names get its message; any other keeps the platform's number, so EIO (5)
// reads "I/O error 5" rather than the table's "File access denied".
[[noreturn]] void RaisePlatform(int platformError) {
    const int code = InOutErrorCode(platformError);
    if (code != platformError || platformError == ENOENT) RaiseIo(code);
    throw EInOutError(platformError, "I/O error " + std::to_string(platformError));
}

// Closes a descriptor on an error path; the error already being raised is the one reported.
void CloseQuietly(int fd) noexcept {
    (void)FileOps().Close(fd);
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

// Follows symbolic links so a save replaces the file the link points at, not the link.
std::string FinalTarget(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = readlink(path.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) return path;
        target.resize(static_cast<size_t>(n));
        path = target.front() == '/' ? target : FolderOf(path) + target;
    }
    return path; // a loop of links: the later calls report ELOOP
}

// The file a save creates keeps the mode of the one it replaces, or gets the usual new-file mode.
mode_t ModeForNewFile(const std::string& target) {
    struct stat st {};
    if (stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Makes the rename itself durable; a folder that cannot be synced costs nothing but that.
void SyncFolder(const std::string& folder) noexcept {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)fsync(fd);
    (void)close(fd);
}

void ReadAll(int fd, THeightArray& buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const long n = FileOps().Read(fd, buffer.data() + done, buffer.size() - done);
        if (n < 0) RaisePlatform(static_cast<int>(-n));
        if (n == 0) RaiseIo(ReadBeyondEnd);
        done += static_cast<std::size_t>(n);
    }
}

void WriteAll(int fd, const THeightArray& field) {
    std::size_t done = 0;
    while (done < field.size()) {
        const long n = FileOps().Write(fd, field.data() + done, field.size() - done);
        if (n < 0) RaisePlatform(static_cast<int>(-n));
        if (n == 0) RaiseIo(DiskFull);
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

int InOutErrorCode(int platformError) {
    switch (platformError) {
    case ENOENT:
    case ENOTDIR:
        return 2;
    case EINVAL:
    case ENAMETOOLONG:
        return 3;
    case EMFILE:
    case ENFILE:
        return 4;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EEXIST:
        return 5;
    case ENOSPC:
    case EDQUOT:
        return DiskFull;
    default:
        return platformError;
    }
}

TLoadResult LoadHeightArray(const std::string& fileName, THeightArray& field) {
    field.fill(0); // whatever happens below, a failure leaves no partly read field
    TFileOps& ops = FileOps();

    bool isRegularFile = false;
    bool exists = false;
    if (const int err = ops.Stat(fileName, isRegularFile, exists)) RaisePlatform(err);
    if (!exists || !isRegularFile) return TLoadResult::Reset;

    int fd = -1;
    if (const int err = ops.OpenExisting(fileName, fd)) RaisePlatform(err);

    THeightArray scratch;
    bool complete = false;
    try {
        long long size = 0;
        if (const int err = ops.Size(fd, size)) RaisePlatform(err);
        if (size == MapCells) {
            ReadAll(fd, scratch);
            complete = true;
        }
    } catch (...) {
        CloseQuietly(fd);
        throw;
    }
    if (const int err = ops.Close(fd)) RaisePlatform(err);

    if (!complete) return TLoadResult::Reset; // another length: treated as no map
    field = scratch;
    return TLoadResult::Loaded;
}

void SaveHeightArray(const std::string& fileName, const THeightArray& field) {
    TFileOps& ops = FileOps();
    const std::string target = FinalTarget(fileName);

    // A file the user made read-only stays as it is.
    if (const int err = ops.CheckWritable(target)) RaisePlatform(err);

    const mode_t mode = ModeForNewFile(target);
    const std::string folder = FolderOf(target);
    std::string tempPath;
    int fd = -1;
    if (const int err = ops.CreateTemp(folder, tempPath, fd)) RaisePlatform(err);

    try {
        (void)fchmod(fd, mode); // best effort: the data matters more than the mode
        WriteAll(fd, field);
        if (const int err = ops.Sync(fd)) RaisePlatform(err);
        const int closeErr = ops.Close(fd);
        fd = -1;
        if (closeErr) RaisePlatform(closeErr);
        if (const int err = ops.Rename(tempPath, target)) RaisePlatform(err);
    } catch (...) {
        if (fd >= 0) CloseQuietly(fd);
        (void)ops.Remove(tempPath);
        throw;
    }
    SyncFolder(folder);
}

std::string KeepUnreadMap(const std::string& fileName) {
    struct stat info {};
    if (lstat(fileName.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return "";
    for (int n = 1;; ++n) {
        const std::string kept = fileName + ".unread" + (n == 1 ? "" : "-" + std::to_string(n));
        if (link(fileName.c_str(), kept.c_str()) == 0) return kept;
        if (errno == EEXIST) continue;
        // No hard links here: move the file aside; the save then writes a new one.
        struct stat taken {};
        if (lstat(kept.c_str(), &taken) == 0) continue;
        if (rename(fileName.c_str(), kept.c_str()) == 0) return kept;
        RaisePlatform(errno);
    }
}
