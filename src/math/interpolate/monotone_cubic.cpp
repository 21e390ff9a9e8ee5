#include "math/interpolate/monotone_cubic.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
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

// The secant slope of interval i.
double secant(std::span<const double> x, std::span<const double> y, std::size_t i) {
    return (y[i + 1] - y[i]) / (x[i + 1] - x[i]);
}

// Forward sweep of the natural spline's tridiagonal system for the second
// derivatives: w[i] and u[i] for i = 1..n−2 (index 0 is 0).
void natural_sweep(std::span<const double> x, std::span<const double> y, double* w, double* u) {
    const std::size_t n = x.size();
    w[0] = 0.0;
    u[0] = 0.0;
    double d_left = secant(x, y, 0);
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const double d_right = secant(x, y, i);
        const double span = x[i + 1] - x[i - 1];
        const double sig = (x[i] - x[i - 1]) / span;
        const double p = sig * w[i - 1] + 2.0;
        w[i] = (sig - 1.0) / p;
        u[i] = ((d_right - d_left) * 6.0 / span - sig * u[i - 1]) / p;
        d_left = d_right;
    }
}

// The limited slope at node j. The end slopes are the spline's derivative there
// and need the second derivatives of the end interval: (m_left, m_right) are
// M[0], M[1] for j = 0 and M[n−2], M[n−1] for j = n − 1; inner nodes ignore them.
double node_slope(std::span<const double> x, std::span<const double> y, std::size_t j, double m_left,
                  double m_right) {
    const std::size_t n = x.size();
    if (j == 0) {
        const double d = secant(x, y, 0);
        return limit_end_slope(d + (x[1] - x[0]) * (2.0 * m_left + m_right) / -6.0, d);
    }
    if (j == n - 1) {
        const double d = secant(x, y, n - 2);
        return limit_end_slope(d + (x[n - 1] - x[n - 2]) * (m_left + 2.0 * m_right) / 6.0, d);
    }
    const double left = secant(x, y, j - 1);
    const double right = secant(x, y, j);
    if (left * right <= 0.0) return 0.0;  // local extremum or flat neighbour
    const double m = (y[j + 1] - y[j - 1]) / (x[j + 1] - x[j - 1]);
    return clamp_slope(m, 3.0 * std::min(std::abs(left), std::abs(right)));
}

// The Hermite cubic of one interval and its derivative, at t in [0, 1] of width h.
double hermite_value(double y0, double y1, double m0, double m1, double h, double t) {
    const double t2 = t * t;
    const double t3 = t2 * t;
    return (2.0 * t3 - 3.0 * t2 + 1.0) * y0 + h * (t3 - 2.0 * t2 + t) * m0 + (3.0 * t2 - 2.0 * t3) * y1 +
           h * (t3 - t2) * m1;
}

double hermite_derivative(double y0, double y1, double m0, double m1, double h, double t) {
    const double t2 = t * t;
    return ((6.0 * t2 - 6.0 * t) * y0 + h * (3.0 * t2 - 4.0 * t + 1.0) * m0 + (6.0 * t - 6.0 * t2) * y1 +
            h * (3.0 * t2 - 2.0 * t) * m1) /
           h;
}

double blend(double m0, double m1, double s) { return (1.0 - s) * m0 + s * m1; }

}  // namespace

Result<MonotoneCubicInterpolator, InterpolationError> MonotoneCubicInterpolator::create(SharedArray xs,
                                                                                        SharedArray ys) {
    // Equal lengths are the caller's guarantee; without it evaluation would
    // read past the shorter array.
    if (!xs || !ys || xs->size() != ys->size()) {
        panic("monotone cubic interpolation needs abscissae and ordinates of equal length");
    }
    const std::span<const double> x = *xs;
    const std::span<const double> y = *ys;
    const std::size_t n = x.size();
    if (n < 3) return Err{InterpolationError::InsufficientPoints};

    // Natural spline second derivatives, M at both ends 0.
    std::vector<double> w(n);
    std::vector<double> u(n);
    natural_sweep(x, y, w.data(), u.data());
    std::vector<double> M(n, 0.0);
    for (std::size_t i = n - 2; i >= 1; --i) M[i] = w[i] * M[i + 1] + u[i];

    // Node slopes: the spline's derivative at the ends, the centred secant
    // inside, limited so that monotone data gives monotone pieces.
    std::vector<double> m(n);
    m[0] = node_slope(x, y, 0, M[0], M[1]);
    for (std::size_t i = 1; i + 1 < n; ++i) m[i] = node_slope(x, y, i, 0.0, 0.0);
    m[n - 1] = node_slope(x, y, n - 1, M[n - 2], M[n - 1]);

    return MonotoneCubicInterpolator(std::move(m), std::move(M), std::move(xs), std::move(ys));
}

Result<CubicReading, InterpolationError> MonotoneCubicInterpolator::read_at(std::span<const double> xs,
                                                                            std::span<const double> ys, double x,
                                                                            bool curvature,
                                                                            std::span<double> scratch) {
    const std::size_t n = xs.size();
    if (n < 3) return Err{InterpolationError::InsufficientPoints};
    if (ys.size() != n || scratch.size() < 2 * n) panic("monotone cubic reading: arrays of the wrong length");
    const std::size_t k = locate_interval(xs, x);

    // M[k] and M[k+1] by back substitution from the top, as far down as k.
    double m_k = 0.0;
    double m_k1 = 0.0;
    double m_ends[2] = {0.0, 0.0};  // M[1] for k = 0; M[n−2] for k = n − 2
    if (curvature || k == 0 || k + 2 == n) {
        double* w = scratch.data();
        double* u = scratch.data() + n;
        natural_sweep(xs, ys, w, u);
        double above = 0.0;  // M[i + 1]
        for (std::size_t i = n - 2; i >= 1 && i >= k; --i) {
            const double here = w[i] * above + u[i];
            if (i == n - 2) m_ends[1] = here;
            if (i == 1) m_ends[0] = here;
            if (i == k + 1) m_k1 = here;
            if (i == k) m_k = here;
            above = here;
        }
    }
    const double slope_k = node_slope(xs, ys, k, 0.0, m_ends[0]);
    const double slope_k1 = node_slope(xs, ys, k + 1, m_ends[1], 0.0);

    const double h = xs[k + 1] - xs[k];
    const double t = (x - xs[k]) / h;
    CubicReading reading;
    reading.value = hermite_value(ys[k], ys[k + 1], slope_k, slope_k1, h, t);
    reading.derivative = hermite_derivative(ys[k], ys[k + 1], slope_k, slope_k1, h, t);
    reading.second_derivative =
        curvature ? blend(m_k, m_k1, (x - xs[k]) / (xs[k + 1] - xs[k])) : std::numeric_limits<double>::quiet_NaN();
    return reading;
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
    return hermite_value(ys[k], ys[k + 1], slopes_[k], slopes_[k + 1], h, t);
}

double MonotoneCubicInterpolator::derivative(double x) const {
    const std::vector<double>& ys = *ys_;
    const auto [k, h, t] = position(x);
    return hermite_derivative(ys[k], ys[k + 1], slopes_[k], slopes_[k + 1], h, t);
}

double MonotoneCubicInterpolator::second_derivative(double x) const {
    const std::vector<double>& xs = *xs_;
    const std::size_t k = locate_interval(xs, x);
    return blend(second_derivatives_[k], second_derivatives_[k + 1], (x - xs[k]) / (xs[k + 1] - xs[k]));
}

}  // namespace vorel
