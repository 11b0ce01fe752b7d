// The real file system behind TFileOps with one chosen step failing, on its first call or a
// later one, and every call counted: the fault injector of the map file's tests.
#pragma once

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "terrain/MapFile.h"
#include "util/Exceptions.h"

enum class TStep {
    None,
    OpenRead, // the load's open
    Open,     // the read-and-write open of the in-place save and the copies
    Size,
    Read,
    ZeroRead, // a read that returns no byte
    Temp,
    Write,
    ZeroWrite, // a write that stores no byte
    Sync,
    Close,
    Rename,
    Writable,
    Target,     // the symbolic-link lookup
    Inspect,    // the status of a file: the load's, the one a save replaces
    Mode,       // the mode copied to the new file
    Truncate,
    FolderSync,
    Remove,
    Link,       // the hard link of .bak or .unread
    CreateNew,  // the byte copy's new file
    List,       // the folder listing of the temporaries' clean-up
    LockStale,
    FolderWritable, // whether the folder takes new files (asked at start-up)
    Count
};

class TFaultyOps final : public TFileOps {
  public:
    TStep FailAt = TStep::None;
    int Error = 0;
    int FailOnCall = 1;               // which call of the step fails: 1 is the first
    unsigned long MaxTransfer = ~0ul; // cuts every read and write short
    // A second step that fails as well, with its own error (a path taken after a first failure).
    TStep AlsoFailAt = TStep::None;
    int AlsoError = 0;
    int AlsoFailOnCall = 1;
    std::array<int, static_cast<int>(TStep::Count)> Calls{};

    // Fails nothing from now on and forgets the counts.
    void Clear() {
        FailAt = TStep::None;
        FailOnCall = 1;
        AlsoFailAt = TStep::None;
        AlsoFailOnCall = 1;
        Calls.fill(0);
    }
    int CallsOf(TStep step) const { return Calls[static_cast<int>(step)]; }

    int OpenForReading(const std::string& p, int& fd) override {
        return Fails(TStep::OpenRead) ? FailedWith : Sys().OpenForReading(p, fd);
    }
    int OpenExisting(const std::string& p, int& fd) override {
        return Fails(TStep::Open) ? FailedWith : Sys().OpenExisting(p, fd);
    }
    int Size(int fd, long long& size) override {
        return Fails(TStep::Size) ? FailedWith : Sys().Size(fd, size);
    }
    long Read(int fd, void* to, unsigned long count) override {
        if (Fails(TStep::Read)) return FailAt == TStep::ZeroRead ? 0 : -FailedWith;
        return Sys().Read(fd, to, std::min(count, MaxTransfer));
    }
    int CreateTemp(const std::string& dir, const std::string& prefix, std::string& temp, int& fd,
                   int& lock) override {
        return Fails(TStep::Temp) ? FailedWith : Sys().CreateTemp(dir, prefix, temp, fd, lock);
    }
    int Unlock(int lock) override { return Sys().Unlock(lock); }
    long Write(int fd, const void* from, unsigned long count) override {
        if (Fails(TStep::Write)) return FailAt == TStep::ZeroWrite ? 0 : -FailedWith;
        return Sys().Write(fd, from, std::min(count, MaxTransfer));
    }
    int Sync(int fd) override { return Fails(TStep::Sync) ? FailedWith : Sys().Sync(fd); }
    int Close(int fd) override { // the descriptor goes even when close reports an error
        const bool fails = Fails(TStep::Close);
        const int err = Sys().Close(fd);
        return fails ? FailedWith : err;
    }
    int Rename(const std::string& from, const std::string& to) override {
        return Fails(TStep::Rename) ? FailedWith : Sys().Rename(from, to);
    }
    int Remove(const std::string& p) override {
        return Fails(TStep::Remove) ? FailedWith : Sys().Remove(p);
    }
    int CheckWritable(const std::string& p) override {
        return Fails(TStep::Writable) ? FailedWith : Sys().CheckWritable(p);
    }
    int CheckFolderWritable(const std::string& p) override {
        return Fails(TStep::FolderWritable) ? FailedWith : Sys().CheckFolderWritable(p);
    }
    int ReadLink(const std::string& p, std::string& target, bool& isLink) override {
        return Fails(TStep::Target) ? FailedWith : Sys().ReadLink(p, target, isLink);
    }
    int Inspect(const std::string& p, TFileInfo& info) override {
        return Fails(TStep::Inspect) ? FailedWith : Sys().Inspect(p, info);
    }
    int SetMode(int fd, unsigned mode) override {
        return Fails(TStep::Mode) ? FailedWith : Sys().SetMode(fd, mode);
    }
    int Truncate(int fd, long long size) override {
        return Fails(TStep::Truncate) ? FailedWith : Sys().Truncate(fd, size);
    }
    int SyncFolder(const std::string& p) override {
        return Fails(TStep::FolderSync) ? FailedWith : Sys().SyncFolder(p);
    }
    int Link(const std::string& from, const std::string& to) override {
        return Fails(TStep::Link) ? FailedWith : Sys().Link(from, to);
    }
    int CreateNew(const std::string& p, int& fd) override {
        return Fails(TStep::CreateNew) ? FailedWith : Sys().CreateNew(p, fd);
    }
    int ListFolder(const std::string& p, std::vector<std::string>& names) override {
        return Fails(TStep::List) ? FailedWith : Sys().ListFolder(p, names);
    }
    int LockStale(const std::string& p, int& fd) override {
        return Fails(TStep::LockStale) ? FailedWith : Sys().LockStale(p, fd);
    }

  private:
    // Counts the call; a zero-byte transfer is a failure of the read or write call itself.
    bool Fails(TStep call) {
        const int n = ++Calls[static_cast<int>(call)];
        const TStep failing = FailAt == TStep::ZeroRead    ? TStep::Read
                              : FailAt == TStep::ZeroWrite ? TStep::Write
                                                           : FailAt;
        FailedWith = failing == call && n == FailOnCall ? Error : AlsoError;
        return (failing == call && n == FailOnCall) || (AlsoFailAt == call && n == AlsoFailOnCall);
    }
    int FailedWith = 0;
    static TFileOps& Sys() { return SystemFileOps(); }
};

// The message of the EInOutError the action raises, or "no error".
inline std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EInOutError& e) {
        return e.what();
    }
    return "no error";
}
