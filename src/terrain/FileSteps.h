// The pieces the map file's load, save and copies share: paths, whole transfers, copies.
// Every step goes through FileOps(), so each can be made to fail in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "terrain/MapFile.h"
#include "util/Fnc.h"

namespace FileSteps {

constexpr TIoResult ReadBeyondEnd = -100;
constexpr TIoResult DiskFull = -101;
// Our own refusals, each with a cause of its own; the code is the last three digits.
constexpr TIoResult NotRegularFile = -1005;  // a folder, a FIFO or a device: never replaced
constexpr TIoResult NotAMapFile = -2005;     // a file of another length appeared there
constexpr TIoResult TempNameTooLong = -1003; // the save's temporary name would pass the limits
constexpr TIoResult FolderTakesNoFile = -3005; // the user may not make a file in its folder
constexpr TIoResult FileNotWritable = -4005;   // the user may not both read and write it

// "name" for "dir/name" (FolderOf, in util/Fnc.h, gives "dir/").
std::string NameOf(const std::string& path);
// Follows symbolic links to the path of the file they name (a path that is no link is its own).
TIoResult FinalTarget(const std::string& path, std::string& target) noexcept;

// Exactly count bytes, in as many calls as the system needs.
TIoResult ReadExactly(int fd, uint8_t* buffer, std::size_t count) noexcept;
TIoResult WriteExactly(int fd, const uint8_t* buffer, std::size_t count) noexcept;
// Copies a whole file into a new one (never over an existing file); removes a partial copy.
TIoResult CopyBytes(const std::string& from, const std::string& to) noexcept;
// Closes on an error path: the error already found is the one reported.
void CloseQuietly(int fd) noexcept;

// Keeps target as "<target>.bak", replacing the previous one: a hard link when allowed, else a
// byte copy.
TIoResult KeepBackup(const std::string& target, bool allowLink) noexcept;
// Keeps target as "<target>.unread" (or -2, -3 ...), never over an earlier one.
TIoResult KeepUnread(const std::string& target, std::string& kept) noexcept;
// Keeps target as "<target>.other-1" (-2, -3 ...), never over an earlier one.
TIoResult KeepOther(const std::string& target, std::string& kept) noexcept;
// Removes the temporaries that ended saves left (those no live save holds locked).
void RemoveStaleTemps(const std::string& folder, const std::string& prefix) noexcept;

} // namespace FileSteps
