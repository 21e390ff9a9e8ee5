#include "core/format.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace vorel {

namespace {

// Non-finite values by name, finite ones by `to_chars`. Fixed notation needs
// at most 309 integral digits (DBL_MAX) plus sign, point and the decimals.
template <class ToChars>
std::string format_with(double value, ToChars to_chars) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char buffer[720];
    const auto [end, ec] = to_chars(buffer, buffer + sizeof buffer);
    if (ec != std::errc{}) return "NaN";  // cannot happen with this buffer size
    return std::string(buffer, end);
}

}  // namespace

std::string format_shortest(double value) {
    // Fixed notation without a precision is the shortest round-trip form; the
    // smallest subnormal has 324 fractional digits.
    return format_with(value, [&](char* first, char* last) {
        return std::to_chars(first, last, value, std::chars_format::fixed);
    });
}

std::string format_fixed(double value, int digits) {
    digits = std::clamp(digits, 0, 400);
    return format_with(value, [&](char* first, char* last) {
        return std::to_chars(first, last, value, std::chars_format::fixed, digits);
    });
}

}  // namespace vorel
