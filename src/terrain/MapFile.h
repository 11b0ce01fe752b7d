// "Map.Dat": the 76,800 bytes of the height field in storage order, no header.
#pragma once

#include <string>

#include "terrain/FileOps.h"
#include "terrain/HeightField.h"

// The I/O error code for a platform error number: 2 not found, 3 invalid name, 4 too many open
// files, 5 access denied, 101 disk full; any other number is kept as it is.
int InOutErrorCode(int platformError);

// A file step's outcome where no exception may be raised: 0, a platform error number (> 0), or
// minus one of the runtime's I/O codes (< 0: -100 read beyond end, -101 disk full), or a
// refusal of ours below -1000 whose code is the last three digits (see FileSteps.h).
using TIoResult = int;
// The code and message of the EInOutError that stands for a failed result.
int IoResultCode(TIoResult result);
std::string IoResultMessage(TIoResult result);
// Raises that EInOutError.
[[noreturn]] void RaiseIoResult(TIoResult result);
// Why a step on fileName failed, in words the user can act on ("the folder /a/b does not
// exist", "its symbolic links form a loop"); "" where the message says all that is known.
std::string IoFailureCause(TIoResult result, const std::string& fileName);
// The message, then the cause after a colon when there is one: for a line of text.
std::string IoFailureLine(TIoResult result, const std::string& fileName);
// The EInOutError for a failure on fileName: the message with its full stop, then on a line
// of its own the file's name and the cause.
[[noreturn]] void RaiseIoResultFor(TIoResult result, const std::string& fileName);

enum class TLoadResult {
    Loaded, // the field holds the file's bytes
    Reset   // no file, or a file of another length: the field was set to 0
};

// Reads the field; the file is opened for reading only, so a map the user may not write still
// loads. A missing file or a folder of that name, or a file whose length is not 76,800, resets
// the field to 0 silently. Failures raise EInOutError and leave the field 0.
TLoadResult LoadHeightArray(const std::string& fileName, THeightArray& field);
// The same without exceptions: 0 or the failure, the field 0 after a failure or a reset.
TIoResult TryLoadHeightArray(const std::string& fileName, THeightArray& field,
                             TLoadResult& result) noexcept;
// The same without exceptions, reading straight into field: a reset leaves it as it was, but a
// read that fails part way leaves the bytes read so far in it.
TIoResult ReadHeightArray(const std::string& fileName, THeightArray& field,
                          TLoadResult& result) noexcept;

// Which file a path led to, and which version of it: any save (ours or another program's)
// changes it.
struct TFileStamp {
    bool Exists = false;
    unsigned long long Device = 0;
    unsigned long long Inode = 0;
    long long Size = 0;
    long long ModifiedNs = 0;
    bool operator==(const TFileStamp&) const = default;
};
TFileStamp StampOf(const TFileInfo& info);
// The stamp of the file at fileName now (links followed); no file: Exists false.
TIoResult StampFile(const std::string& fileName, TFileStamp& stamp) noexcept;

// Whether fileName (links followed) is a regular file whose length is not a map's: a file of
// something else, which a save would replace.
bool IsOtherThanAMap(const std::string& fileName) noexcept;

// Whether a save could write fileName as things stand (nothing is written): 0, or the failure
// it would meet ("File access denied" for anything but a regular file, "File not found" for a
// missing folder, a folder that takes no new file unless the file may be written in place,
// "Invalid filename" for a path too long for the save's temporary file beside it).
TIoResult CheckSavable(const std::string& fileName) noexcept;

// Writes the field through a temporary file "<name>.saving-XXXXXX" in the file's folder, synced
// and renamed over the old one; a symbolic link is followed to the file it names. The file it
// replaces is kept as "<name>.bak" (a failure there is said on standard error, not raised).
// On failure the old file stays as it was, no temporary remains, and EInOutError is raised.
// Never replaces anything but a regular file, nor a file the user cannot both read and write,
// nor a file whose length is not a map's (all "File access denied"). Only where no temporary
// file may be made in the folder is the file overwritten in place (after a byte copy to .bak),
// and never when it has another hard link.
void SaveHeightArray(const std::string& fileName, const THeightArray& field);
// The same without exceptions. When keepUnread is set, the file (it holds a map the field never
// took in) is first kept as "<name>.unread" (or ".unread-2", ... when taken) beside the link's
// final target: a hard link where the file system has them, else a byte copy. keepUnread is
// cleared once it has been kept, even if the save then fails.
// With seen (the stamp of the file as this copy last loaded or saved it), a file found there
// with another stamp (another copy's save, another program's write) is first kept as
// "<name>.other-1" (-2, ... never over one that exists), said once as a notice; seen is
// set to the written file's stamp after a save. With notReadAtLoad, a file of another length
// with that stamp (the one the load found there and did not take in) is replaced all the same.
TIoResult WriteHeightArray(const std::string& fileName, const THeightArray& field,
                           bool& keepUnread, TFileStamp* seen = nullptr,
                           const TFileStamp* notReadAtLoad = nullptr) noexcept;
