// The real file system behind TFileOps: plain POSIX calls, errno passed back as is.
#include "terrain/MapFile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class TSystemFileOps final : public TFileOps {
  public:
    int Stat(const std::string& path, bool& isRegularFile, bool& exists) override {
        struct stat st {};
        isRegularFile = false;
        exists = false;
        if (stat(path.c_str(), &st) != 0) {
            // A missing file or a missing folder on the way is simply "no file".
            return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
        }
        exists = true;
        isRegularFile = S_ISREG(st.st_mode);
        return 0;
    }

    int OpenExisting(const std::string& path, int& fd) override {
        do {
            fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        return fd < 0 ? errno : 0;
    }

    int Size(int fd, long long& size) override {
        struct stat st {};
        if (fstat(fd, &st) != 0) return errno;
        size = static_cast<long long>(st.st_size);
        return 0;
    }

    long Read(int fd, void* buffer, unsigned long count) override {
        ssize_t n;
        do {
            n = read(fd, buffer, count);
        } while (n < 0 && errno == EINTR);
        return n < 0 ? -static_cast<long>(errno) : static_cast<long>(n);
    }

    int CreateTemp(const std::string& directory, std::string& tempPath, int& fd) override {
        std::string pattern = directory.empty() ? std::string("./") : directory;
        if (pattern.back() != '/') pattern += '/';
        pattern += "Map.Dat.XXXXXX";
        fd = mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0) return errno;
        tempPath = pattern;
        return 0;
    }

    long Write(int fd, const void* buffer, unsigned long count) override {
        ssize_t n;
        do {
            n = write(fd, buffer, count);
        } while (n < 0 && errno == EINTR);
        return n < 0 ? -static_cast<long>(errno) : static_cast<long>(n);
    }

    int Sync(int fd) override { return fsync(fd) != 0 ? errno : 0; }

    int Close(int fd) override {
        // On Linux the descriptor is gone even when close reports EINTR; never retry.
        return close(fd) != 0 && errno != EINTR ? errno : 0;
    }

    int Rename(const std::string& from, const std::string& to) override {
        return rename(from.c_str(), to.c_str()) != 0 ? errno : 0;
    }

    int Remove(const std::string& path) override { return unlink(path.c_str()) != 0 ? errno : 0; }

    int CheckWritable(const std::string& path) override {
        // Read too: the load opens the file for both, so a file it could not read is never
        // replaced by the empty field it left.
        if (access(path.c_str(), R_OK | W_OK) == 0) return 0;
        return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
    }
};

TFileOps* CurrentOps = nullptr;

} // namespace

TFileOps& SystemFileOps() {
    static TSystemFileOps ops;
    return ops;
}

void SetFileOps(TFileOps* ops) {
    CurrentOps = ops;
}

TFileOps& FileOps() {
    return CurrentOps ? *CurrentOps : SystemFileOps();
}
