// When a close writes, and what it keeps before it does.
#include "terrain/MapStore.h"

#include <cstdio>

TLoadResult TMapStore::Load(THeightArray& field) {
    FKnownValid = false;
    FKeepUnread = false;
    TLoadResult result;
    try {
        result = LoadHeightArray(FFileName, field);
    } catch (...) {
        FKeepUnread = true;
        throw;
    }
    if (result == TLoadResult::Loaded) {
        FKnown = field;
        FKnownValid = true;
    } else {
        // A regular file of another length still holds the user's bytes.
        TFileInfo info;
        FKeepUnread = FileOps().Inspect(FFileName, info) == 0 && info.Exists && info.Regular;
    }
    // Read, but not to be written: the user hears it now rather than at the close.
    if (const int err = FileOps().CheckWritable(FFileName))
        std::fprintf(stderr, "voxel: %s cannot be written (%s); changes cannot be saved.\n",
                     FFileName.c_str(), IoResultMessage(err).c_str());
    return result;
}

TIoResult TMapStore::TrySaveOnClose(const THeightArray& field, TCloseSave& outcome) noexcept {
    // An unreadable, missing or wrong-length file counts as different from any field.
    TLoadResult onDisk = TLoadResult::Reset;
    const bool whole = ReadHeightArray(FFileName, FOnDisk, onDisk) == 0 &&
                       onDisk == TLoadResult::Loaded;
    outcome = TCloseSave::Unchanged;
    if (whole && FOnDisk == field) {
        FKeepUnread = false;
        FKnown = field;
        FKnownValid = true;
        return 0;
    }
    if (whole && FKnownValid && field == FKnown) return 0;

    if (const TIoResult r = WriteHeightArray(FFileName, field, FKeepUnread)) return r;
    FKnown = field;
    FKnownValid = true;
    outcome = TCloseSave::Written;
    return 0;
}

TMapStore::TCloseSave TMapStore::SaveOnClose(const THeightArray& field) {
    TCloseSave outcome;
    if (const TIoResult r = TrySaveOnClose(field, outcome)) RaiseIoResult(r);
    return outcome;
}
