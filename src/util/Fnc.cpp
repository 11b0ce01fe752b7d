// Small utilities: the program's folder and a path's, the trigonometric tables, integer text.
#include "util/Fnc.h"

#include <climits>
#include <cmath>
#include <unistd.h>

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return "./"; // a bare name lives in the current folder
    return path.substr(0, slash + 1);
}

std::string GetAppPath() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return "./";
    return FolderOf(std::string(buffer, static_cast<size_t>(n)));
}

void MakeTrigTables(TTrigTable& sinTable, TTrigTable& cosTable) {
    const long double pi = 3.14159265358979323846264338327950288L;
    const float divisor = 180.0f; // held as single precision
    for (int i = 0; i < 360; ++i) {
        // The angle is formed in extended precision, then stored as a single.
        const float a = static_cast<float>(static_cast<long double>(i) * pi / divisor);
        sinTable[i] = static_cast<float>(std::sin(static_cast<long double>(a)));
        cosTable[i] = static_cast<float>(std::cos(static_cast<long double>(a)));
    }
}

std::optional<int32_t> TextToInt32(std::string_view text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    // 64 bits hold one past INT32_MAX, which INT32_MIN needs; stop before anything larger.
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
    return static_cast<int32_t>(value);
}
