#include "methods/finite_difference/grids/fdm_grid.hpp"

#include <cmath>

namespace vorel {

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

FdmGrid fitted_grid(const Transform& transform, std::vector<double> spots) {
    FdmGrid grid;
    grid.variant = FdmGrid::Variant::Fitted;
    grid.transform = transform;
    grid.spot = std::move(spots);
    const std::size_t n = grid.spot.size();
    grid.x.resize(n);
    grid.mapped.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        grid.x[i] = transform.coordinate(grid.spot[i]);
        grid.mapped[i] = transform.point(grid.x[i]);
    }
    return grid;
}

}  // namespace vorel
