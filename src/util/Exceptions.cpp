// Messages of the runtime's I/O error codes.
#include "util/Exceptions.h"

std::string EInOutError::InOutErrorMessage(int code) {
    switch (code) {
    case 2: return "File not found";
    case 3: return "Invalid filename";
    case 4: return "Too many open files";
    case 5: return "File access denied";
    case 100: return "Read beyond end of file";
    case 101: return "Disk full";
    case 106: return "Invalid numeric input";
    default: return std::string("I/O error ").append(std::to_string(code));
    }
}
