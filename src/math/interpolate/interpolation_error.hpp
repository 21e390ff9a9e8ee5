#pragma once
// Construction failures of the interpolators and the shared interval search.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace vorel {

enum class InterpolationError : std::uint8_t { LengthMismatch, InsufficientPoints, NotMonotonic };

// The variant name: "LengthMismatch", "InsufficientPoints", "NotMonotonic".
const char* debug_text(InterpolationError error) noexcept;

// An immutable array that several interpolators (and their copies) read.
using SharedArray = std::shared_ptr<const std::vector<double>>;

inline SharedArray share(std::vector<double> values) {
    return std::make_shared<const std::vector<double>>(std::move(values));
}

// The interval [xs[k], xs[k+1]] that evaluation at x uses, 0 <= k <= n - 2:
// k = 0 at or below the first node, n - 2 at or above the last, otherwise the
// interval whose left node is the last one <= x (an interior node belongs to
// the interval on its right). A NaN query lands in the first interval. Panics
// when xs has fewer than two nodes.
std::size_t locate_interval(std::span<const double> xs, double x);

}  // namespace vorel
