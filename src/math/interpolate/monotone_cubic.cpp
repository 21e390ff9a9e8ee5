#include "math/interpolate/monotone_cubic.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/panic.hpp"

namespace vorel {
namespace {

// True when a and b are nonzero with opposite signs (NaN never qualifies).
bool opposite_signs(double a, double b) { return (a > 0.0 && b < 0.0) || (a < 0.0 && b > 0.0); }

// Shrinks a node slope to `limit` in size, keeping its sign.
double clamp_slope(double m, double limit) {
    if (std::abs(m) > limit) return m > 0.0 ? limit : -limit;
    return m;
}

// A slope at an end node has only one secant to agree with. A Hermite cubic
// whose end slope points against that secant leaves the data range inside the
// end interval (with (0,0), (1,1), (2,10), (3,11) it dips below 0 and rises
// above 11), so such a slope is flattened instead of merely size-limited.
double limit_end_slope(double m, double secant) {
    if (secant * secant <= 0.0 || opposite_signs(m, secant)) return 0.0;
    return clamp_slope(m, 3.0 * std::abs(secant));
}

}  // namespace

Result<MonotoneCubicInterpolator, InterpolationError> MonotoneCubicInterpolator::create(SharedArray xs,
                                                                                        SharedArray ys) {
    // Equal lengths are the caller's guarantee; without it evaluation would
    // read past the shorter array.
    if (!xs || !ys || xs->size() != ys->size()) {
        panic("monotone cubic interpolation needs abscissae and ordinates of equal length");
    }
    const std::vector<double>& x = *xs;
    const std::vector<double>& y = *ys;
    const std::size_t n = x.size();
    if (n < 3) return Err{InterpolationError::InsufficientPoints};

    std::vector<double> h(n - 1);
    std::vector<double> d(n - 1);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        h[i] = x[i + 1] - x[i];
        d[i] = (y[i + 1] - y[i]) / h[i];
    }

    // Natural spline second derivatives: forward sweep of the tridiagonal
    // system, then back substitution with M at both ends 0.
    std::vector<double> w(n, 0.0);
    std::vector<double> u(n, 0.0);
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const double span = x[i + 1] - x[i - 1];
        const double sig = h[i - 1] / span;
        const double p = sig * w[i - 1] + 2.0;
        w[i] = (sig - 1.0) / p;
        u[i] = ((d[i] - d[i - 1]) * 6.0 / span - sig * u[i - 1]) / p;
    }
    std::vector<double> M(n, 0.0);
    for (std::size_t i = n - 2; i >= 1; --i) M[i] = w[i] * M[i + 1] + u[i];

    // Node slopes: the spline's derivative at the ends, the centred secant
    // inside, then limited so that monotone data gives monotone pieces.
    std::vector<double> m(n);
    m[0] = d[0] + h[0] * (2.0 * M[0] + M[1]) / -6.0;
    for (std::size_t i = 1; i + 1 < n; ++i) m[i] = (y[i + 1] - y[i - 1]) / (x[i + 1] - x[i - 1]);
    m[n - 1] = d[n - 2] + h[n - 2] * (M[n - 2] + 2.0 * M[n - 1]) / 6.0;

    m[0] = limit_end_slope(m[0], d[0]);
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const double left = d[i - 1];
        const double right = d[i];
        if (left * right <= 0.0) {
            m[i] = 0.0;  // local extremum or flat neighbour
        } else {
            m[i] = clamp_slope(m[i], 3.0 * std::min(std::abs(left), std::abs(right)));
        }
    }
    m[n - 1] = limit_end_slope(m[n - 1], d[n - 2]);

    return MonotoneCubicInterpolator(std::move(m), std::move(M), std::move(xs), std::move(ys));
}

// The interval holding x, its width and x's position in it (0 to 1 inside).
struct MonotoneCubicInterpolator::Position {
    std::size_t k;
    double h;
    double t;
};

MonotoneCubicInterpolator::Position MonotoneCubicInterpolator::position(double x) const {
    const std::vector<double>& xs = *xs_;
    const std::size_t k = locate_interval(xs, x);
    const double h = xs[k + 1] - xs[k];
    return {k, h, (x - xs[k]) / h};
}

double MonotoneCubicInterpolator::evaluate(double x) const {
    const std::vector<double>& ys = *ys_;
    const auto [k, h, t] = position(x);
    const double t2 = t * t;
    const double t3 = t2 * t;
    return (2.0 * t3 - 3.0 * t2 + 1.0) * ys[k] + h * (t3 - 2.0 * t2 + t) * slopes_[k] +
           (3.0 * t2 - 2.0 * t3) * ys[k + 1] + h * (t3 - t2) * slopes_[k + 1];
}

double MonotoneCubicInterpolator::derivative(double x) const {
    const std::vector<double>& ys = *ys_;
    const auto [k, h, t] = position(x);
    const double t2 = t * t;
    return ((6.0 * t2 - 6.0 * t) * ys[k] + h * (3.0 * t2 - 4.0 * t + 1.0) * slopes_[k] +
            (6.0 * t - 6.0 * t2) * ys[k + 1] + h * (3.0 * t2 - 2.0 * t) * slopes_[k + 1]) /
           h;
}

double MonotoneCubicInterpolator::second_derivative(double x) const {
    const std::vector<double>& xs = *xs_;
    const std::size_t k = locate_interval(xs, x);
    const double s = (x - xs[k]) / (xs[k + 1] - xs[k]);
    return (1.0 - s) * second_derivatives_[k] + s * second_derivatives_[k + 1];
}

}  // namespace vorel
