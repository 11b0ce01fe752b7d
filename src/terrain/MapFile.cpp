// Loading and saving "Map.Dat": whole-file reads, and saves that never leave a partial file.
#include "terrain/MapFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "terrain/FileSteps.h"
#include "util/Exceptions.h"
#include "util/Notices.h"

using namespace FileSteps;

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
        return 101;
    default:
        return platformError;
    }
}

// Errors the table names get its message; any other keeps the platform's number, so EIO (5)
// reads "I/O error 5" rather than the table's "File access denied".
int IoResultCode(TIoResult result) {
    return result < 0 ? -result % 1000 : InOutErrorCode(result);
}

std::string IoResultMessage(TIoResult result) {
    const int code = IoResultCode(result);
    if (result < 0 || code != result || result == ENOENT)
        return EInOutError::InOutErrorMessage(code);
    return std::string("I/O error ").append(std::to_string(result));
}

void RaiseIoResult(TIoResult result) {
    throw EInOutError(IoResultCode(result), IoResultMessage(result));
}

namespace {

// The folder of the file a path leads to, without its final separator (but "/").
std::string FolderShown(const std::string& fileName) {
    std::string target;
    if (FinalTarget(fileName, target) != 0) target = fileName;
    const std::string folder = FolderOf(target);
    return folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder;
}

} // namespace

std::string IoFailureCause(TIoResult result, const std::string& fileName) {
    switch (result) {
    case NotRegularFile: return "it is not a file but a folder, a FIFO or a device";
    case NotAMapFile: return "it is not a map of 76,800 bytes, so it is not replaced";
    case TempNameTooLong: return "its path is too long for the save's temporary file beside it";
    case FolderTakesNoFile: return "you may not make files in " + FolderShown(fileName);
    case FileNotWritable: return "you may not both read and write it";
    case ELOOP: return "its symbolic links form a loop";
    case ENAMETOOLONG: return "its path is too long";
    case ENOTDIR: return "a part of its path is not a folder";
    case EROFS: return "the file system is read-only";
    case ENOENT:
        // The user is making the file: what is missing is its folder.
        if (FileOps().CheckFolderWritable(FolderOf(fileName)) != ENOENT) return {};
        return "the folder " + FolderShown(fileName) + " does not exist";
    default:
        // A number the table does not name: the system's words for it.
        if (result > 0 && IoResultCode(result) == result) return std::strerror(result);
        return {};
    }
}

std::string IoFailureLine(TIoResult result, const std::string& fileName) {
    const std::string cause = IoFailureCause(result, fileName);
    return IoResultMessage(result) + (cause.empty() ? "" : ": " + cause);
}

void RaiseIoResultFor(TIoResult result, const std::string& fileName) {
    const std::string cause = IoFailureCause(result, fileName);
    throw EInOutError(IoResultCode(result), IoResultMessage(result) + ".\n" + fileName +
                                                (cause.empty() ? "" : ": " + cause));
}

TIoResult ReadHeightArray(const std::string& fileName, THeightArray& field,
                          TLoadResult& result) noexcept {
    TFileOps& ops = FileOps();
    result = TLoadResult::Reset;
    TFileInfo info;
    if (const int err = ops.Inspect(fileName, info)) return err;
    if (!info.Exists || !info.Regular) return 0;

    int fd = -1;
    if (const int err = ops.OpenForReading(fileName, fd)) return err;
    long long size = 0;
    TIoResult r = ops.Size(fd, size);
    if (r == 0 && size == MapCells) r = ReadExactly(fd, field.data(), field.size());
    if (r != 0) {
        CloseQuietly(fd);
        return r;
    }
    if (const int err = ops.Close(fd)) return err;
    if (size == MapCells) result = TLoadResult::Loaded; // another length: treated as no map
    return 0;
}

TIoResult TryLoadHeightArray(const std::string& fileName, THeightArray& field,
                             TLoadResult& result) noexcept {
    field.fill(0); // whatever happens below, a failure leaves no partly read field
    THeightArray scratch;
    if (const TIoResult r = ReadHeightArray(fileName, scratch, result)) return r;
    if (result == TLoadResult::Loaded) field = scratch;
    return 0;
}

TLoadResult LoadHeightArray(const std::string& fileName, THeightArray& field) {
    TLoadResult result;
    if (const TIoResult r = TryLoadHeightArray(fileName, field, result)) RaiseIoResult(r);
    return result;
}

TFileStamp StampOf(const TFileInfo& info) {
    if (!info.Exists) return {};
    return {true, info.Device, info.Inode, info.Size, info.ModifiedNs};
}

TIoResult StampFile(const std::string& fileName, TFileStamp& stamp) noexcept {
    TFileInfo info;
    stamp = {};
    if (const int err = FileOps().Inspect(fileName, info)) return err;
    stamp = StampOf(info);
    return 0;
}

bool IsOtherThanAMap(const std::string& fileName) noexcept {
    TFileInfo info;
    return FileOps().Inspect(fileName, info) == 0 && info.Exists && info.Regular &&
           info.Size != MapCells;
}

namespace {

// A folder that refuses new files leaves the in-place save, for a file no other name shares.
bool InPlaceAllowed(int folderError, const TFileInfo& old) {
    return (folderError == EACCES || folderError == EPERM) && old.Exists && old.Links == 1;
}

// The file a save of fileName replaces (target) and what is there now (old); an error where
// that is not a regular file we may write: a folder, a FIFO or a device is never replaced, and
// a file the user made read-only, or one the load was refused, stays as it is.
TIoResult ReplaceableTarget(const std::string& fileName, std::string& target,
                            TFileInfo& old) noexcept {
    TFileOps& ops = FileOps();
    if (const TIoResult r = FinalTarget(fileName, target)) return r;
    if (const int err = ops.Inspect(target, old)) return err;
    if (old.Exists && !old.Regular) return NotRegularFile;
    // "<name>.saving-XXXXXX" beside it must be a name the system takes, as the path is.
    constexpr size_t TempSuffix = sizeof(".saving-XXXXXX") - 1;
    if (target.size() + TempSuffix >= PATH_MAX || NameOf(target).size() + TempSuffix > NAME_MAX)
        return TempNameTooLong;
    const int err = ops.CheckWritable(target);
    return err == EACCES || err == EPERM ? FileNotWritable : err;
}

// What a folder's refusal of a new file stands for: a permission refused gets its cause.
TIoResult FolderRefusal(int folderError) {
    return folderError == EACCES || folderError == EPERM ? FolderTakesNoFile : folderError;
}

} // namespace

TIoResult CheckSavable(const std::string& fileName) noexcept {
    std::string target;
    TFileInfo old;
    if (const TIoResult r = ReplaceableTarget(fileName, target, old)) return r;
    const int folderErr = FileOps().CheckFolderWritable(FolderOf(target));
    return folderErr != 0 && !InPlaceAllowed(folderErr, old) ? FolderRefusal(folderErr) : 0;
}

namespace {

// The mode a new file gets from open(): what the user's mask lets through of 0666.
unsigned NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

void SayBackupFailed(const std::string& target, TIoResult r) {
    std::fprintf(stderr, "voxel: the replaced map could not be kept as %s.bak (%s); the save goes on.\n",
                 target.c_str(), IoResultMessage(r).c_str());
}

// Where no temporary file may be made: the file itself is overwritten, after a byte copy.
TIoResult SaveInPlace(const std::string& target, const THeightArray& field) noexcept {
    TFileOps& ops = FileOps();
    if (const TIoResult r = KeepBackup(target, false)) SayBackupFailed(target, r);
    int fd = -1;
    if (const int err = ops.OpenExisting(target, fd)) return err;
    TIoResult r = WriteExactly(fd, field.data(), field.size());
    if (r == 0) r = ops.Truncate(fd, MapCells);
    if (r == 0) r = ops.Sync(fd);
    const int closeErr = ops.Close(fd);
    return r != 0 ? r : closeErr;
}

// Writes, syncs and closes the temporary, keeps the old file as .bak, then renames over it.
TIoResult ReplaceThroughTemp(const std::string& target, const TFileInfo& old, int fd,
                             const std::string& temp, const THeightArray& field) noexcept {
    TFileOps& ops = FileOps();
    // Best effort: the data matters more than the mode.
    (void)ops.SetMode(fd, old.Exists ? old.Mode : NewFileMode());
    TIoResult r = WriteExactly(fd, field.data(), field.size());
    if (r == 0) r = ops.Sync(fd);
    const int closeErr = ops.Close(fd);
    if (r == 0) r = closeErr;
    if (r == 0 && old.Exists) {
        if (const TIoResult kept = KeepBackup(target, true)) SayBackupFailed(target, kept);
    }
    if (r == 0) r = ops.Rename(temp, target);
    if (r != 0) (void)ops.Remove(temp);
    return r;
}

} // namespace

TIoResult WriteHeightArray(const std::string& fileName, const THeightArray& field,
                           bool& keepUnread, TFileStamp* seen,
                           const TFileStamp* notReadAtLoad) noexcept {
    TFileOps& ops = FileOps();
    std::string target;
    TFileInfo old;
    if (const TIoResult r = ReplaceableTarget(fileName, target, old)) return r;
    if (seen != nullptr && old.Exists && StampOf(old) != *seen) {
        // Replaced since this copy read or wrote it: that version is someone's work.
        std::string kept;
        if (const TIoResult r = KeepOther(target, kept)) return r;
        SayNotice(target + " was replaced on disk since this copy loaded or saved it; that "
                           "version is kept as " + kept + ".");
        *seen = StampOf(old); // kept: a retried save keeps it only once
        keepUnread = false;   // the file never read in is no longer there
        old.Links += 1;
    } else if (keepUnread && old.Exists) {
        std::string kept;
        if (const TIoResult r = KeepUnread(target, kept)) return r;
        SayNotice(target + " was not read at start; it is kept as " + kept + ".");
        keepUnread = false;
        old.Links += 1; // the kept name shares the file now
    }
    // Whenever it appeared, a file that is not a map is someone's other work (Save As is the
    // way out); only the one the load found and could not take in is replaced.
    if (old.Exists && old.Size != MapCells &&
        !(notReadAtLoad != nullptr && StampOf(old) == *notReadAtLoad))
        return NotAMapFile;

    const std::string folder = FolderOf(target);
    const std::string prefix = NameOf(target) + ".saving-";
    RemoveStaleTemps(folder, prefix);
    std::string temp;
    int fd = -1;
    int lock = -1;
    if (const int err = ops.CreateTemp(folder, prefix, temp, fd, lock)) {
        // A folder the user may not write, holding a file they may: the plain overwrite.
        // Not when another name shares the file: that could be its .bak or .unread.
        if (!InPlaceAllowed(err, old)) return FolderRefusal(err);
        const TIoResult r = SaveInPlace(target, field);
        if (r == 0 && seen != nullptr) (void)StampFile(target, *seen);
        return r;
    }
    const TIoResult r = ReplaceThroughTemp(target, old, fd, temp, field);
    (void)ops.Unlock(lock);
    if (r == 0) (void)ops.SyncFolder(folder); // makes the rename itself durable
    // Unknown when it cannot be asked: the next save then keeps the file as .other once more.
    if (r == 0 && seen != nullptr) (void)StampFile(target, *seen);
    return r;
}

void SaveHeightArray(const std::string& fileName, const THeightArray& field) {
    bool keepUnread = false;
    if (const TIoResult r = WriteHeightArray(fileName, field, keepUnread)) RaiseIoResult(r);
}
