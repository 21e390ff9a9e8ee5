#include "methods/finite_difference/grids/fdm_grid.hpp"

#include <cmath>

namespace vorel {

double Transform::spot(double x) const noexcept {
    if (kind == TransformKind::Log) return std::exp(x);
    return center * std::exp(alpha * std::sinh(x));
}

double Transform::coordinate(double s) const noexcept {
    if (kind == TransformKind::Log) return std::log(s);
    return std::asinh(std::log(s / center) / alpha);
}

double Transform::first_derivative(double x) const noexcept {
    if (kind == TransformKind::Log) return std::exp(x);
    return spot(x) * alpha * std::cosh(x);
}

Transform::Point Transform::point(double x) const noexcept {
    if (kind == TransformKind::Log) {
        const double s = std::exp(x);
        return {s, s, s};
    }
    const double s = spot(x);
    const double first = s * alpha * std::cosh(x);
    const double second = s * alpha * std::sinh(x) + first * alpha * std::cosh(x);
    return {s, first, second};
}

void compute_spacings(FdmGrid& grid) {
    const std::size_t n = grid.x.size();
    grid.h_plus.assign(n, 0.0);
    grid.h_minus.assign(n, 0.0);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const double h = grid.x[i + 1] - grid.x[i];
        grid.h_plus[i] = h;
        grid.h_minus[i + 1] = h;
    }
}

}  // namespace vorel
