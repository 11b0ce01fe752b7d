// Paths, whole transfers and byte copies for the map file, all through the file steps.
#include "terrain/FileSteps.h"

#include <cerrno>
#include <vector>

namespace FileSteps {

std::string NameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

TIoResult FinalTarget(const std::string& path, std::string& target) noexcept {
    target = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::string text;
        bool isLink = false;
        if (const int err = FileOps().ReadLink(target, text, isLink)) return err;
        if (!isLink) return 0;
        target = !text.empty() && text.front() == '/' ? text : FolderOf(target) + text;
    }
    return ELOOP;
}

void CloseQuietly(int fd) noexcept {
    (void)FileOps().Close(fd);
}

namespace {

// Runs the transfer call until count bytes have moved; a call that moves none is noMore.
template <class TCall> TIoResult Exactly(std::size_t count, TIoResult noMore, TCall call) {
    std::size_t done = 0;
    while (done < count) {
        const long n = call(done, count - done);
        if (n < 0) return static_cast<int>(-n);
        if (n == 0) return noMore;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

} // namespace

TIoResult ReadExactly(int fd, uint8_t* buffer, std::size_t count) noexcept {
    return Exactly(count, ReadBeyondEnd, [&](std::size_t at, std::size_t left) {
        return FileOps().Read(fd, buffer + at, left);
    });
}

TIoResult WriteExactly(int fd, const uint8_t* buffer, std::size_t count) noexcept {
    return Exactly(count, DiskFull, [&](std::size_t at, std::size_t left) {
        return FileOps().Write(fd, buffer + at, left);
    });
}

namespace {

// Moves everything from one descriptor to the other, a block at a time, and syncs the copy.
TIoResult Transfer(int from, int to) noexcept {
    std::vector<uint8_t> block(64 * 1024);
    for (;;) {
        const long n = FileOps().Read(from, block.data(), block.size());
        if (n < 0) return static_cast<int>(-n);
        if (n == 0) return FileOps().Sync(to);
        if (const TIoResult r = WriteExactly(to, block.data(), static_cast<std::size_t>(n)))
            return r;
    }
}

} // namespace

TIoResult CopyBytes(const std::string& from, const std::string& to) noexcept {
    TFileOps& ops = FileOps();
    int in = -1;
    if (const int err = ops.OpenExisting(from, in)) return err;
    int out = -1;
    if (const int err = ops.CreateNew(to, out)) {
        CloseQuietly(in);
        return err;
    }
    TIoResult r = Transfer(in, out);
    const int closeErr = ops.Close(out);
    if (r == 0) r = closeErr;
    CloseQuietly(in);
    if (r != 0) (void)ops.Remove(to);
    return r;
}

} // namespace FileSteps
