// The stat, the careful open and the check that the file opened is the one looked at.
#include "util/RegularFile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TOpenedFile OpenRegularFile(const std::string& path) {
    TOpenedFile file;
    struct stat seen {};
    if (stat(path.c_str(), &seen) != 0) {
        file.Kind =
            errno == ENOENT || errno == ENOTDIR ? TOpenedFile::Missing : TOpenedFile::Unreadable;
        file.Error = errno;
        return file;
    }
    if (S_ISDIR(seen.st_mode)) return {TOpenedFile::Folder, -1, 0};
    if (!S_ISREG(seen.st_mode)) return {TOpenedFile::Other, -1, 0};
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return {TOpenedFile::Unreadable, -1, errno};
    // Replaced between the two looks (by a FIFO, say): not the file that was checked.
    struct stat opened {};
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_dev != seen.st_dev ||
        opened.st_ino != seen.st_ino) {
        close(fd);
        return {TOpenedFile::Other, -1, 0};
    }
    return {TOpenedFile::Regular, fd, 0};
}
