#include "math/interpolate/interpolation_error.hpp"

#include <string>

#include "core/panic.hpp"

namespace vorel {

const char* debug_text(InterpolationError error) noexcept {
    switch (error) {
        case InterpolationError::LengthMismatch: return "LengthMismatch";
        case InterpolationError::InsufficientPoints: return "InsufficientPoints";
        case InterpolationError::NotMonotonic: return "NotMonotonic";
    }
    return "";
}

std::size_t locate_interval(std::span<const double> xs, double x) {
    const std::size_t n = xs.size();
    if (n < 2) panic("index out of bounds: interpolation needs at least two nodes, got " + std::to_string(n));
    if (x <= xs[0]) return 0;
    if (x >= xs[n - 1]) return n - 2;
    // Only index arithmetic here: a NaN query fails every comparison, so hi
    // walks down to 1 and the first interval results.
    std::size_t lo = 0;
    std::size_t hi = n - 1;
    while (hi - lo > 1) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (xs[mid] <= x) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return lo;
}

}  // namespace vorel
