// Opening a file that another program named (a pasted or dropped address) for reading, without
// being stopped or fooled by what it is: a FIFO or a terminal would block the open or the read.
#pragma once

#include <string>

struct TOpenedFile {
    enum TKind { Regular, Missing, Folder, Other, Unreadable };
    TKind Kind = Missing;
    int Fd = -1;   // with Regular: open for reading, the caller's to close
    int Error = 0; // with Unreadable: errno
};

// Opens path when it is a regular file: stat first (nothing else is opened), then a
// non-blocking open that takes no terminal, then fstat that it is still that same file.
TOpenedFile OpenRegularFile(const std::string& path);
