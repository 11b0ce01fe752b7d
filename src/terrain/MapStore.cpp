// When a close writes, and what it keeps before it does.
#include "terrain/MapStore.h"

#include <cstdio>
#include <exception>

TLoadResult TMapStore::Load(THeightArray& field) {
    FKnownValid = false;
    FKeepUnread = false;
    // Taken before the read: a file replaced meanwhile is then kept as .other, never lost.
    (void)StampFile(FFileName, FSeen);
    TLoadResult result = TLoadResult::Reset;
    std::exception_ptr failed;
    try {
        result = LoadHeightArray(FFileName, field);
    } catch (...) {
        failed = std::current_exception();
    }
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
    }
    // Not to be written: the user hears it now rather than at the close.
    if (const TIoResult r = CheckSavable(FFileName))
        std::fprintf(stderr, "voxel: %s cannot be written (%s); changes cannot be saved.\n",
                     FFileName.c_str(), IoResultMessage(r).c_str());
    if (failed) std::rethrow_exception(failed);
    return result;
}

void TMapStore::Saved(const THeightArray& field) {
    FKeepUnread = false;
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

    if (const TIoResult r = WriteHeightArray(FFileName, field, FKeepUnread, &FSeen)) return r;
    Saved(field);
    outcome = TCloseSave::Written;
    return 0;
}

TMapStore::TCloseSave TMapStore::SaveOnClose(const THeightArray& field, bool asked) {
    TCloseSave outcome;
    if (const TIoResult r = TrySaveOnClose(field, outcome, asked)) RaiseIoResult(r);
    return outcome;
}

void TMapStore::SaveAs(const std::string& fileName, const THeightArray& field) {
    bool keepUnread = false;
    TFileStamp written;
    // The user chose the file, and a dialog confirmed replacing one: no .other copy, a .bak.
    if (const TIoResult r = WriteHeightArray(fileName, field, keepUnread)) RaiseIoResult(r);
    (void)StampFile(fileName, written);
    FFileName = fileName;
    FSeen = written;
    FNamedByUser = true;
    Saved(field);
}
