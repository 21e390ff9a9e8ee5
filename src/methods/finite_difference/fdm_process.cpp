#include "methods/finite_difference/fdm_process.hpp"

#include "core/panic.hpp"

namespace vorel {

TridiagonalOperator build_operator(const FdmProcess& process, const FdmGrid& grid) {
    const std::size_t n = grid.size();
    if (grid.mapped.size() != n) panic("the grid's nodes are not mapped");
    std::vector<double> lower(n, 0.0);
    std::vector<double> diag(n, 0.0);
    std::vector<double> upper(n, 0.0);
    const double r = process.r;
    const double drift = process.r - process.q;
    const double half_variance = 0.5 * process.sigma * process.sigma;
    for (std::size_t i = 1; i + 1 < n; ++i) {
        // V_S = V_x/S′ and V_SS = (V_xx − S″·V_x/S′)/S′².
        const Transform::Point& p = grid.mapped[i];
        const double a = half_variance * p.spot * p.spot;
        const double jac2 = p.first * p.first;
        const double a2 = a / jac2;
        const double a1 = drift * p.spot / p.first - (p.second * a) / (p.first * jac2);

        const double hm = grid.h_minus[i];
        const double hp = grid.h_plus[i];
        const double d = hm * hp * (hm + hp);
        lower[i] = (2.0 * hp / d) * a2 - (hp * hp / d) * a1;
        diag[i] = ((hp * hp - hm * hm) / d) * a1 - (2.0 * (hm + hp) / d) * a2 - r;
        upper[i] = (2.0 * hm / d) * a2 + (hm * hm / d) * a1;
    }
    return TridiagonalOperator(std::move(lower), std::move(diag), std::move(upper));
}

}  // namespace vorel
