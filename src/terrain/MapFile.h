// "Map.Dat": the 76,800 bytes of the height field in storage order, no header.
#pragma once

#include <memory>
#include <string>

#include "terrain/HeightField.h"

// The file steps, so tests can inject a failure at any one of them. Each returns 0 on success
// or the platform's error number (errno); read and write return a byte count or -errno.
class TFileOps {
  public:
    virtual ~TFileOps() = default;
    virtual int Stat(const std::string& path, bool& isRegularFile, bool& exists) = 0;
    virtual int OpenExisting(const std::string& path, int& fd) = 0; // read and write
    virtual int Size(int fd, long long& size) = 0;
    virtual long Read(int fd, void* buffer, unsigned long count) = 0;
    virtual int CreateTemp(const std::string& directory, std::string& tempPath, int& fd) = 0;
    virtual long Write(int fd, const void* buffer, unsigned long count) = 0;
    virtual int Sync(int fd) = 0;
    virtual int Close(int fd) = 0;
    virtual int Rename(const std::string& from, const std::string& to) = 0;
    virtual int Remove(const std::string& path) = 0;
    virtual int CheckWritable(const std::string& path) = 0; // 0 when absent or readable+writable
};
// The real file system.
TFileOps& SystemFileOps();
// Replaces the file steps (tests); null restores the system's.
void SetFileOps(TFileOps* ops);
TFileOps& FileOps();

// The I/O error code for a platform error number: 2 not found, 3 invalid name, 4 too many open
// files, 5 access denied, 101 disk full; any other number is kept as it is.
int InOutErrorCode(int platformError);

enum class TLoadResult {
    Loaded, // the field holds the file's bytes
    Reset   // no file, or a file of another length: the field was set to 0
};

// Reads the field. A missing file or a folder of that name, or a file whose length is not
// 76,800, resets the field to 0 silently. Failures raise EInOutError and leave the field 0.
TLoadResult LoadHeightArray(const std::string& fileName, THeightArray& field);

// Writes the field through a temporary file in the same folder, synced and renamed over the
// old one: on failure the old file stays as it was, no temporary remains, and EInOutError
// is raised. An existing file the user cannot both read and write (read-only, or one the load
// was refused) fails with "File access denied" and stays as it is.
void SaveHeightArray(const std::string& fileName, const THeightArray& field);

// After a load that failed, the file still holds the user's map although the field is empty.
// Keeps it under "<fileName>.unread" (or ".unread-2", ... when taken) before the next save
// replaces it: a hard link where the file system has them, else a rename. Returns the name
// kept under, or "" when there was no file. Raises EInOutError when it cannot be kept.
std::string KeepUnreadMap(const std::string& fileName);
