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

Transform::Point Transform::point(double x) const noexcept {
    if (kind == TransformKind::Log) {
        const double s = std::exp(x);
        return {s, s, s};
    }
    const double sinh_x = std::sinh(x);
    const double cosh_x = std::cosh(x);
    const double s = center * std::exp(alpha * sinh_x);
    const double first = s * alpha * cosh_x;
    const double second = s * alpha * sinh_x + first * alpha * cosh_x;
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

void map_nodes(FdmGrid& grid) {
    grid.mapped.resize(grid.size());
    for (std::size_t i = 0; i < grid.size(); ++i) grid.mapped[i] = grid.transform.point(grid.x[i]);
}

}  // namespace vorel
