// Fuzz target: TextToInt32, the spin edit's reading of its text, against a plain reference
// on the same grammar (an optional sign, then one or more decimal digits, in 32-bit range).
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "util/Fnc.h"

namespace {

std::optional<int32_t> Reference(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    for (const char c : text)
        if (c < '0' || c > '9') return std::nullopt; // from_chars would stop there quietly
    uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (magnitude > (negative ? 2147483648ull : 2147483647ull)) return std::nullopt;
    return static_cast<int32_t>(negative ? -static_cast<int64_t>(magnitude)
                                         : static_cast<int64_t>(magnitude));
}

void Check(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<int32_t> value = TextToInt32(text);
    Check(value == Reference(text));
    if (value) {
        // The value's own text reads back as the value, with or without a leading "+".
        const std::string canonical = std::to_string(*value);
        Check(TextToInt32(canonical) == value);
        if (*value >= 0) Check(TextToInt32("+" + canonical) == value);
        // Leading zeros change nothing.
        const std::string digits(text.substr(text[0] == '+' || text[0] == '-' ? 1 : 0));
        Check(TextToInt32(std::string(1, *value < 0 ? '-' : '+') + "000" + digits) == value);
    }
    return 0;
}
