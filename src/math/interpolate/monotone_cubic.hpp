#pragma once
// Cubic Hermite interpolation with node slopes limited so that monotone data
// stays monotone between nodes, plus the natural cubic spline's second
// derivatives for curvature read-outs. The end intervals' cubics continue
// beyond the data.

#include <span>

#include "core/error.hpp"
#include "math/interpolate/interpolation_error.hpp"

namespace vorel {

// The interpolant's value and first derivative at one abscissa, and the natural
// spline's blended second derivative when asked for (NaN otherwise).
struct CubicReading {
    double value;
    double derivative;
    double second_derivative;
};

class MonotoneCubicInterpolator {
public:
    // xs strictly increasing and ys of the same length are preconditions (not
    // checked). Fewer than three points: InsufficientPoints.
    static Result<MonotoneCubicInterpolator, InterpolationError> create(SharedArray xs, SharedArray ys);

    double evaluate(double x) const;
    double derivative(double x) const;
    // The natural spline's node second derivatives blended linearly across the
    // interval (not the curvature of the limited cubic).
    double second_derivative(double x) const;

    // What create() followed by evaluate(), derivative() and (with `curvature`)
    // second_derivative() at x give, bit for bit, without building the
    // interpolant or allocating: only the slopes at the ends of x's interval are
    // formed, and the spline's sweep runs only when a curvature or an end slope
    // needs it. `scratch` holds at least 2·n values.
    static Result<CubicReading, InterpolationError> read_at(std::span<const double> xs, std::span<const double> ys,
                                                            double x, bool curvature, std::span<double> scratch);

    const std::vector<double>& slopes() const noexcept { return slopes_; }
    const std::vector<double>& second_derivatives() const noexcept { return second_derivatives_; }
    const std::vector<double>& xs() const noexcept { return *xs_; }
    const std::vector<double>& ys() const noexcept { return *ys_; }

private:
    struct Position;
    Position position(double x) const;

    MonotoneCubicInterpolator(std::vector<double> slopes, std::vector<double> second_derivatives, SharedArray xs,
                              SharedArray ys) noexcept
        : slopes_(std::move(slopes)),
          second_derivatives_(std::move(second_derivatives)),
          xs_(std::move(xs)),
          ys_(std::move(ys)) {}

    std::vector<double> slopes_;
    std::vector<double> second_derivatives_;
    SharedArray xs_;
    SharedArray ys_;
};

}  // namespace vorel
