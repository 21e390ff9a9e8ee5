#include "methods/finite_difference/fdm_process.hpp"

#include "core/panic.hpp"

namespace vorel {

TridiagonalOperator build_operator(const FdmProcess& process, const FdmGrid& grid) {
    const std::size_t n = grid.size();
    if (grid.mapped.size() != n || grid.x.size() != n) panic("the grid's nodes are not mapped");
    std::vector<double> lower(n, 0.0);
    std::vector<double> diag(n, 0.0);
    std::vector<double> upper(n, 0.0);
    const double r = process.r;
    const double drift = process.r - process.q;
    const double half_variance = 0.5 * process.sigma * process.sigma;
    const double* s = grid.spot.data();
    const double* x = grid.x.data();
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const Transform::Point& p = grid.mapped[i];
        operator_row(r, drift, half_variance, s[i - 1], s[i], s[i + 1], x[i - 1], x[i], x[i + 1], p.first, p.second,
                     lower[i], diag[i], upper[i]);
    }
    return TridiagonalOperator(std::move(lower), std::move(diag), std::move(upper));
}

}  // namespace vorel
