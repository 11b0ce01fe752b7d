// When a close writes, and what it keeps before it does.
#include "terrain/MapStore.h"

#include "terrain/FileSteps.h"
#include "util/Notices.h"

TLoadResult TMapStore::Load(THeightArray& field) {
    FKnownValid = false;
    FKeepUnread = false;
    // Taken before the read: a file replaced meanwhile is then kept as .other, never lost.
    (void)StampFile(FFileName, FSeen);
    TLoadResult result = TLoadResult::Reset;
    const TIoResult failed = TryLoadHeightArray(FFileName, field, result);
    FBaseline = field;
    if (failed) {
        FKeepUnread = true;
    } else if (result == TLoadResult::Loaded) {
        FKnown = field;
        FKnownValid = true;
    } else {
        // A regular file of another length still holds the user's bytes.
        TFileInfo info;
        FKeepUnread = FileOps().Inspect(FFileName, info) == 0 && info.Exists && info.Regular;
        // Kept beside the file a link leads to, as the save keeps it.
        std::string target;
        if (FKeepUnread && FileSteps::FinalTarget(FFileName, target) == 0)
            SayNotice(FFileName + " holds " + std::to_string(info.Size) +
                      " bytes, not a map of 76,800: the field starts flat, and the file is kept "
                      "as " + target + ".unread (or .unread-2, ...) when the map is first "
                      "saved.");
    }
    // The file found here is replaced even if it is not a map: it is kept as .unread first.
    FNotRead.reset();
    if (FKeepUnread) FNotRead = FSeen;
    // Not to be written: the user hears it now rather than at the close.
    if (const TIoResult r = CheckSavable(FFileName))
        SayNotice(FFileName + " cannot be written (" + IoFailureLine(r, FFileName) +
                  "); changes cannot be saved.");
    if (failed) RaiseIoResultFor(failed, FFileName);
    return result;
}

void TMapStore::Saved(const THeightArray& field) {
    FKeepUnread = false;
    FNotRead.reset();
    FKnown = field;
    FKnownValid = true;
    FBaseline = field;
}

TIoResult TMapStore::TrySaveOnClose(const THeightArray& field, TCloseSave& outcome,
                                    bool asked) noexcept {
    // An unreadable, missing or wrong-length file counts as different from any field.
    TLoadResult onDisk = TLoadResult::Reset;
    const bool whole = ReadHeightArray(FFileName, FOnDisk, onDisk) == 0 &&
                       onDisk == TLoadResult::Loaded;
    outcome = TCloseSave::Unchanged;
    if (whole && FOnDisk == field) {
        Saved(field);
        (void)StampFile(FFileName, FSeen); // the file holds our field: ours to replace
        return 0;
    }
    if (whole && FKnownValid && field == FKnown) return 0;
    // A typo on the command line leaves no stray file behind.
    if (FNamedByUser && !asked && !Changed(field)) {
        TFileInfo info;
        if (FileOps().Inspect(FFileName, info) == 0 && !info.Exists) return 0;
    }

    if (const TIoResult r = WriteHeightArray(FFileName, field, FKeepUnread, &FSeen,
                                             FNotRead ? &*FNotRead : nullptr))
        return r;
    Saved(field);
    outcome = TCloseSave::Written;
    return 0;
}

TMapStore::TCloseSave TMapStore::SaveOnClose(const THeightArray& field, bool asked) {
    TCloseSave outcome;
    if (const TIoResult r = TrySaveOnClose(field, outcome, asked)) RaiseIoResultFor(r, FFileName);
    return outcome;
}

void TMapStore::SaveAs(const std::string& fileName, const THeightArray& field) {
    bool keepUnread = false;
    TFileStamp written;
    // The user chose the file, and confirmed replacing one: no .other copy, a .bak.
    if (const TIoResult r = WriteHeightArray(fileName, field, keepUnread))
        RaiseIoResultFor(r, fileName);
    (void)StampFile(fileName, written);
    FFileName = fileName;
    FSeen = written;
    FNamedByUser = true;
    Saved(field);
}
