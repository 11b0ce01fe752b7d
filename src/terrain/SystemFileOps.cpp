// The real file system behind TFileOps: plain POSIX calls, errno passed back as is.
#include "terrain/FileOps.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int Retrying(int (*call)(int, int), int fd, int arg) {
    int r;
    do {
        r = call(fd, arg);
    } while (r != 0 && errno == EINTR);
    return r != 0 ? errno : 0;
}

int OpenWith(const std::string& path, int access, int& fd) {
    do {
        fd = open(path.c_str(), access | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno;
    // Non-blocking only for the open: a FIFO swapped in must not hang it.
    (void)fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return 0;
}

class TSystemFileOps final : public TFileOps {
  public:
    int OpenForReading(const std::string& path, int& fd) override {
        return OpenWith(path, O_RDONLY, fd);
    }

    int OpenExisting(const std::string& path, int& fd) override {
        return OpenWith(path, O_RDWR, fd);
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

    int Close(int fd) override {
        // On Linux the descriptor is gone even when close reports EINTR; never retry.
        return close(fd) != 0 && errno != EINTR ? errno : 0;
    }

    int ReadLink(const std::string& path, std::string& target, bool& isLink) override {
        isLink = false;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
        if (!S_ISLNK(st.st_mode)) return 0;
        std::string text(PATH_MAX, '\0');
        const ssize_t n = readlink(path.c_str(), text.data(), text.size());
        if (n < 0) return errno;
        if (static_cast<size_t>(n) >= text.size()) return ENAMETOOLONG;
        text.resize(static_cast<size_t>(n));
        target = text;
        isLink = true;
        return 0;
    }

    int Inspect(const std::string& path, TFileInfo& info) override {
        info = {};
        struct stat st {};
        if (stat(path.c_str(), &st) != 0) {
            // A missing file or a missing folder on the way is simply "no file".
            return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
        }
        info.Exists = true;
        info.Regular = S_ISREG(st.st_mode);
        info.Mode = st.st_mode & 07777;
        info.Size = static_cast<long long>(st.st_size);
        info.Links = static_cast<unsigned long>(st.st_nlink);
        info.Device = static_cast<unsigned long long>(st.st_dev);
        info.Inode = static_cast<unsigned long long>(st.st_ino);
        info.ModifiedNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL +
                          st.st_mtim.tv_nsec;
        return 0;
    }

    int CheckWritable(const std::string& path) override {
        // Read too: a file the load could not read is never replaced by the empty field it left.
        if (access(path.c_str(), R_OK | W_OK) == 0) return 0;
        return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
    }

    int CheckFolderWritable(const std::string& folder) override {
        return access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
    }

    int CreateTemp(const std::string& folder, const std::string& prefix, std::string& tempPath,
                   int& fd, int& lock) override {
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string pattern = folder + prefix + "XXXXXX";
            fd = mkostemp(pattern.data(), O_CLOEXEC);
            if (fd < 0) return errno;
            // Another copy's clean-up could take the file between its making and its lock:
            // keep it only if the name still leads to the file we locked.
            struct stat mine {}, named {};
            if (Retrying(flock, fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &mine) == 0 &&
                stat(pattern.c_str(), &named) == 0 && mine.st_ino == named.st_ino &&
                mine.st_dev == named.st_dev) {
                lock = fcntl(fd, F_DUPFD_CLOEXEC, 0); // holds the lock past the data's close
                if (lock < 0) {
                    const int err = errno;
                    (void)unlink(pattern.c_str());
                    (void)close(fd);
                    return err;
                }
                tempPath = pattern;
                return 0;
            }
            (void)close(fd);
        }
        return EEXIST;
    }

    int Unlock(int lock) override { return Close(lock); }

    int SetMode(int fd, unsigned mode) override {
        return fchmod(fd, static_cast<mode_t>(mode)) != 0 ? errno : 0;
    }

    long Write(int fd, const void* buffer, unsigned long count) override {
        ssize_t n;
        do {
            n = write(fd, buffer, count);
        } while (n < 0 && errno == EINTR);
        return n < 0 ? -static_cast<long>(errno) : static_cast<long>(n);
    }

    int Truncate(int fd, long long size) override {
        int r;
        do {
            r = ftruncate(fd, static_cast<off_t>(size));
        } while (r != 0 && errno == EINTR);
        return r != 0 ? errno : 0;
    }

    int Sync(int fd) override { return fsync(fd) != 0 ? errno : 0; }

    int Rename(const std::string& from, const std::string& to) override {
        return rename(from.c_str(), to.c_str()) != 0 ? errno : 0;
    }

    int Remove(const std::string& path) override { return unlink(path.c_str()) != 0 ? errno : 0; }

    int SyncFolder(const std::string& folder) override {
        const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return errno;
        const int err = fsync(fd) != 0 ? errno : 0;
        (void)close(fd);
        return err;
    }

    int Link(const std::string& from, const std::string& to) override {
        return link(from.c_str(), to.c_str()) != 0 ? errno : 0;
    }

    int CreateNew(const std::string& path, int& fd) override {
        do {
            fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        } while (fd < 0 && errno == EINTR);
        return fd < 0 ? errno : 0;
    }

    int ListFolder(const std::string& folder, std::vector<std::string>& names) override {
        names.clear();
        DIR* dir = opendir(folder.c_str());
        if (dir == nullptr) return errno;
        while (const dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
        (void)closedir(dir);
        return 0;
    }

    int LockStale(const std::string& path, int& fd) override {
        do {
            fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) return errno;
        if (const int err = Retrying(flock, fd, LOCK_EX | LOCK_NB)) {
            (void)close(fd);
            fd = -1;
            return err;
        }
        return 0;
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
