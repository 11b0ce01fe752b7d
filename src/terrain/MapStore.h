// The map file as this copy of the program knows it: what it last loaded or saved, and whether
// the file still holds a map the field never took in. Decides whether a close writes at all.
#pragma once

#include <optional>
#include <string>

#include "terrain/MapFile.h"

class TMapStore {
  public:
    enum class TCloseSave { Written, Unchanged };

    void SetFileName(const std::string& fileName) { FFileName = fileName; }
    const std::string& FileName() const { return FFileName; }
    // A map the user named: when it does not exist, only a save with something to keep (a
    // change, or one asked for) makes it.
    void SetNamedByUser(bool named) { FNamedByUser = named; }

    // Loads as LoadHeightArray does and remembers what it read. A file that failed to load or
    // had another length is kept as .unread before the first save replaces it (said as a
    // notice). A file that a save could not write is said as a notice, naming the cause.
    TLoadResult Load(THeightArray& field);

    // Whether the field differs from what this copy last loaded (the empty field after a reset
    // or a failed load) or saved: judged by content, so an edit undone is no change.
    bool Changed(const THeightArray& field) const { return field != FBaseline; }

    // The close's save. Writes nothing when the file already holds the field, nor when the
    // field is what this copy last loaded or saved while the file now holds another whole map
    // (another copy's save, whose work then stands), nor for a missing map the user named
    // while nothing changed (unless asked). Otherwise saves as SaveHeightArray does, keeping a
    // file another copy or program put there since as .other-n. Raises EInOutError.
    TCloseSave SaveOnClose(const THeightArray& field, bool asked = false);
    // The same without exceptions: 0 or the failure.
    TIoResult TrySaveOnClose(const THeightArray& field, TCloseSave& outcome,
                             bool asked = false) noexcept;
    // Saves the field to another file (replacing one there, kept as .bak), which becomes the
    // map file for every later save. On failure nothing changes. Raises EInOutError.
    void SaveAs(const std::string& fileName, const THeightArray& field);

  private:
    // The field is what the file now holds: nothing to keep.
    void Saved(const THeightArray& field);
    std::string FFileName;
    bool FNamedByUser = false;
    THeightArray FKnown{};   // what this copy last loaded or saved
    bool FKnownValid = false;
    THeightArray FBaseline{}; // the field as loaded (or reset) or last saved
    TFileStamp FSeen;         // the file as this copy last loaded or saved it
    bool FKeepUnread = false; // the file holds a map the field never took in
    // That file as the load found it, while it is there to keep: replaced, whatever its length.
    std::optional<TFileStamp> FNotRead;
    THeightArray FOnDisk{};  // scratch for the file's bytes at close
};
