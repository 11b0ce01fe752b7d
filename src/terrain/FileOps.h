// The file steps of loading and saving the map, behind one interface so tests can inject a
// failure at any one of them. Each returns 0 on success or the platform's error number (errno);
// read and write return a byte count or -errno.
#pragma once

#include <string>
#include <vector>

// What a status query (following links) tells about a path.
struct TFileInfo {
    bool Exists = false;
    bool Regular = false;
    unsigned Mode = 0;         // permission bits
    long long Size = 0;
    unsigned long Links = 0;   // hard links to the file
    unsigned long long Device = 0;
    unsigned long long Inode = 0;
    long long ModifiedNs = 0; // last modification, in nanoseconds since the epoch
};

class TFileOps {
  public:
    virtual ~TFileOps() = default;

    // Reading. Inspect follows links; a missing path is Exists = false and 0.
    virtual int Inspect(const std::string& path, TFileInfo& info) = 0;
    virtual int OpenForReading(const std::string& path, int& fd) = 0; // read only: the load
    virtual int Size(int fd, long long& size) = 0;
    virtual long Read(int fd, void* buffer, unsigned long count) = 0;
    virtual int Close(int fd) = 0;

    // Saving.
    virtual int OpenExisting(const std::string& path, int& fd) = 0; // read and write
    // The link's target text when path is a symbolic link; isLink false (and 0) otherwise.
    virtual int ReadLink(const std::string& path, std::string& target, bool& isLink) = 0;
    virtual int CheckWritable(const std::string& path) = 0; // 0 when absent or readable+writable
    // 0 when new files may be made in the folder; a missing folder is ENOENT.
    virtual int CheckFolderWritable(const std::string& folder) = 0;
    // A new file "<prefix>XXXXXX" in the folder, locked (flock) until lock is released, so no
    // other copy's clean-up takes it while this save lives.
    virtual int CreateTemp(const std::string& folder, const std::string& prefix,
                           std::string& tempPath, int& fd, int& lock) = 0;
    virtual int Unlock(int lock) = 0;
    virtual int SetMode(int fd, unsigned mode) = 0;
    virtual long Write(int fd, const void* buffer, unsigned long count) = 0;
    virtual int Truncate(int fd, long long size) = 0;
    virtual int Sync(int fd) = 0;
    virtual int Rename(const std::string& from, const std::string& to) = 0;
    virtual int Remove(const std::string& path) = 0;
    virtual int SyncFolder(const std::string& folder) = 0;

    // Keeping copies (.bak, .unread) and clearing what killed saves left.
    virtual int Link(const std::string& from, const std::string& to) = 0;
    virtual int CreateNew(const std::string& path, int& fd) = 0; // fails with EEXIST if taken
    virtual int ListFolder(const std::string& folder, std::vector<std::string>& names) = 0;
    // Opens and locks without waiting: EWOULDBLOCK while a live save holds the file. Unlock
    // releases it.
    virtual int LockStale(const std::string& path, int& fd) = 0;
};

// The real file system.
TFileOps& SystemFileOps();
// Replaces the file steps (tests); null restores the system's.
void SetFileOps(TFileOps* ops);
TFileOps& FileOps();
