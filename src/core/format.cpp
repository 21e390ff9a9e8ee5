#include "core/format.hpp"

#include <charconv>
#include <cmath>

namespace vorel {

std::string format_shortest(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    // Fixed notation without a precision is the shortest round-trip form. The
    // widest cases are DBL_MAX (309 integral digits) and the smallest subnormal
    // (324 fractional digits), plus sign and point.
    char buffer[400];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (ec != std::errc{}) return "NaN";  // cannot happen with this buffer size
    return std::string(buffer, end);
}

}  // namespace vorel
