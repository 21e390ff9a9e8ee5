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
        // V_S = V_x/S′ and V_SS = (V_xx − S″·V_x/S′)/S′², with non-uniform
        // central differences in x.
        const Transform::Point& p = grid.mapped[i];
        const double a = half_variance * s[i] * s[i];
        const double jac2 = p.first * p.first;
        const double a2 = a / jac2;
        double a1 = drift * s[i] / p.first - (p.second * a) / (p.first * jac2);

        const double hm = x[i] - x[i - 1];
        const double hp = x[i + 1] - x[i];
        const double d = hm * hp * (hm + hp);
        const double d1_lower = -(hp * hp / d);
        const double d1_diag = (hp * hp - hm * hm) / d;
        const double d1_upper = hm * hm / d;
        const double d2_lower = 2.0 * hp / d;
        const double d2_diag = -(2.0 * (hm + hp) / d);
        const double d2_upper = 2.0 * hm / d;

        // A value linear in spot (the value deep in or out of the money) must
        // evolve exactly, L·S = −q·S. With S′ and S″ taken from the map the
        // differences miss that by O(h²), so the first-order coefficient takes
        // back what the row gets wrong on the nodes' own spots.
        const double s_x = d1_lower * s[i - 1] + d1_diag * s[i] + d1_upper * s[i + 1];
        const double s_xx = d2_lower * s[i - 1] + d2_diag * s[i] + d2_upper * s[i + 1];
        a1 += (drift * s[i] - (a2 * s_xx + a1 * s_x)) / s_x;

        lower[i] = d2_lower * a2 + d1_lower * a1;
        diag[i] = d2_diag * a2 + d1_diag * a1 - r;
        upper[i] = d2_upper * a2 + d1_upper * a1;
    }
    return TridiagonalOperator(std::move(lower), std::move(diag), std::move(upper));
}

}  // namespace vorel
