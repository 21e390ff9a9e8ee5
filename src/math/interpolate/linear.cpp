#include "math/interpolate/linear.hpp"

#include <utility>

#include "core/panic.hpp"

namespace vorel {

Result<LinearInterpolator, InterpolationError> LinearInterpolator::create(SharedArray xs, SharedArray ys) {
    // Unequal lengths are the caller's to report; reaching here with them
    // would let evaluation read past the shorter array.
    if (!xs || !ys || xs->size() != ys->size()) {
        panic("linear interpolation needs abscissae and ordinates of equal length");
    }
    const std::vector<double>& x = *xs;
    if (x.size() < 2) return Err{InterpolationError::InsufficientPoints};
    for (std::size_t i = 0; i + 1 < x.size(); ++i) {
        if (x[i + 1] <= x[i]) return Err{InterpolationError::NotMonotonic};
    }
    return LinearInterpolator(std::move(xs), std::move(ys));
}

double LinearInterpolator::evaluate(double x) const {
    const std::vector<double>& xs = *xs_;
    const std::vector<double>& ys = *ys_;
    const std::size_t k = locate_interval(xs, x);
    const double slope = (ys[k + 1] - ys[k]) / (xs[k + 1] - xs[k]);
    return ys[k] + (x - xs[k]) * slope;
}

}  // namespace vorel
