// The copies kept beside the map: the file a save replaced (.bak), a map the program could not
// take in (.unread), another copy's save found in the map's place (.other-n), and the clean-up of temporaries that killed saves left behind.
#include "terrain/FileSteps.h"

#include <cerrno>
#include <vector>

namespace FileSteps {

namespace {

// File systems without hard links answer with one of these; a copy serves instead.
bool NoHardLinks(int err) {
    return err == EPERM || err == EXDEV || err == EOPNOTSUPP || err == EMLINK || err == ENOSYS;
}

} // namespace

TIoResult KeepBackup(const std::string& target, bool allowLink) noexcept {
    TFileOps& ops = FileOps();
    const std::string backup = target + ".bak";
    if (const int err = ops.Remove(backup); err != 0 && err != ENOENT) return err;
    if (allowLink) {
        const int err = ops.Link(target, backup);
        if (err == 0 || !NoHardLinks(err)) return err;
    }
    return CopyBytes(target, backup);
}

namespace {

// Keeps target under the first free name "<target><suffix>" (firstNumbered on: with "-n"
// appended, n counting from firstNumbered); a hard link, else a byte copy.
TIoResult KeepUnderFreeName(const std::string& target, const char* suffix, int firstNumbered,
                            std::string& kept) noexcept {
    TFileOps& ops = FileOps();
    for (int n = 1; n <= 1000; ++n) {
        kept = target + suffix; // appended below: "-" + a temporary trips -O3's -Wrestrict
        if (n >= firstNumbered) kept.append("-").append(std::to_string(n));
        int err = ops.Link(target, kept);
        if (NoHardLinks(err)) err = CopyBytes(target, kept);
        if (err != EEXIST) return err;
    }
    return EEXIST;
}

} // namespace

TIoResult KeepUnread(const std::string& target, std::string& kept) noexcept {
    return KeepUnderFreeName(target, ".unread", 2, kept);
}

TIoResult KeepOther(const std::string& target, std::string& kept) noexcept {
    return KeepUnderFreeName(target, ".other", 1, kept);
}

void RemoveStaleTemps(const std::string& folder, const std::string& prefix) noexcept {
    TFileOps& ops = FileOps();
    std::vector<std::string> names;
    if (ops.ListFolder(folder, names) != 0) return;
    for (const std::string& name : names) {
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        int fd = -1;
        // Locked by a live save (this copy's or another's): not ours to take.
        if (ops.LockStale(folder + name, fd) != 0) continue;
        (void)ops.Remove(folder + name);
        (void)ops.Unlock(fd);
    }
}

} // namespace FileSteps
