// The map file as this copy of the program knows it: what it last loaded or saved, and whether
// the file still holds a map the field never took in. Decides whether a close writes at all.
#pragma once

#include <string>

#include "terrain/MapFile.h"

class TMapStore {
  public:
    enum class TCloseSave { Written, Unchanged };

    void SetFileName(const std::string& fileName) { FFileName = fileName; }
    const std::string& FileName() const { return FFileName; }

    // Loads as LoadHeightArray does and remembers what it read. A file that failed to load or
    // had another length is kept as .unread before the first save replaces it. A file that may be
    // read but not written is said on standard error.
    TLoadResult Load(THeightArray& field);

    // The close's save. Writes nothing when the file already holds the field, nor when the
    // field is what this copy last loaded or saved while the file now holds another whole map
    // (another copy's save, whose work then stands). Otherwise saves as SaveHeightArray does.
    // Judged by content: an edit undone is no change. Raises EInOutError.
    TCloseSave SaveOnClose(const THeightArray& field);
    // The same without exceptions: 0 or the failure.
    TIoResult TrySaveOnClose(const THeightArray& field, TCloseSave& outcome) noexcept;

  private:
    std::string FFileName;
    THeightArray FKnown{};   // what this copy last loaded or saved
    bool FKnownValid = false;
    bool FKeepUnread = false; // the file holds a map the field never took in
    THeightArray FOnDisk{};  // scratch for the file's bytes at close
};
