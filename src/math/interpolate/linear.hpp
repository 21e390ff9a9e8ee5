#pragma once
// Piecewise-linear interpolation over strictly increasing abscissae; the end
// segments' lines continue beyond the data.

#include "core/error.hpp"
#include "math/interpolate/interpolation_error.hpp"

namespace vorel {

class LinearInterpolator {
public:
    // The caller reports unequal lengths itself (a precondition here). Fewer
    // than two points: InsufficientPoints; any xs[i+1] <= xs[i]: NotMonotonic.
    static Result<LinearInterpolator, InterpolationError> create(SharedArray xs, SharedArray ys);

    double evaluate(double x) const;

    const std::vector<double>& xs() const noexcept { return *xs_; }
    const std::vector<double>& ys() const noexcept { return *ys_; }

private:
    LinearInterpolator(SharedArray xs, SharedArray ys) noexcept : xs_(std::move(xs)), ys_(std::move(ys)) {}

    SharedArray xs_;
    SharedArray ys_;
};

}  // namespace vorel
