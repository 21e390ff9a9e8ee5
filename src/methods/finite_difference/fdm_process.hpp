#pragma once
// The Black–Scholes operator L V = ½σ²S²·V_SS + (r − q)·S·V_S − r·V with
// constant coefficients, discretised in the grid's coordinate x by non-uniform
// central differences, every row exact on values linear in spot.

#include "methods/finite_difference/grids/fdm_grid.hpp"
#include "methods/linear_operators/tridiagonal_operator.hpp"

namespace vorel {

struct FdmProcess {
    double r = 0.0;      // risk-free zero rate to expiry
    double q = 0.0;      // borrow rate to expiry, as a continuous yield
    double sigma = 0.0;  // volatility
};

// Interior rows 1..n−2 filled, rows 0 and n − 1 zero. Panics below 3 nodes.
TridiagonalOperator build_operator(const FdmProcess& process, const FdmGrid& grid);

// One interior row of that operator, from the rate r, the drift r − q, ½σ²,
// the spots and coordinates of the node and its two neighbours and the map's
// S′ and S″ at the node. A template so that the lane engine evaluates the
// same operations on several options at once (T a vector of doubles); taken
// and returned by reference, always inlined.
template <class T>
[[gnu::always_inline]] inline void operator_row(const T& r, const T& drift, const T& half_variance, const T& s_lo,
                                                const T& s, const T& s_hi, const T& x_lo, const T& x, const T& x_hi,
                                                const T& first, const T& second, T& lower, T& diag, T& upper) {
    // V_S = V_x/S′ and V_SS = (V_xx − S″·V_x/S′)/S′², with non-uniform
    // central differences in x.
    const T a = half_variance * s * s;
    const T jac2 = first * first;
    const T a2 = a / jac2;
    T a1 = drift * s / first - (second * a) / (first * jac2);

    const T hm = x - x_lo;
    const T hp = x_hi - x;
    const T d = hm * hp * (hm + hp);
    const T d1_lower = -(hp * hp / d);
    const T d1_diag = (hp * hp - hm * hm) / d;
    const T d1_upper = hm * hm / d;
    const T d2_lower = 2.0 * hp / d;
    const T d2_diag = -(2.0 * (hm + hp) / d);
    const T d2_upper = 2.0 * hm / d;

    // A value linear in spot (the value deep in or out of the money) must
    // evolve exactly, L·S = −q·S. With S′ and S″ taken from the map the
    // differences miss that by O(h²), so the first-order coefficient takes
    // back what the row gets wrong on the nodes' own spots.
    const T s_x = d1_lower * s_lo + d1_diag * s + d1_upper * s_hi;
    const T s_xx = d2_lower * s_lo + d2_diag * s + d2_upper * s_hi;
    a1 += (drift * s - (a2 * s_xx + a1 * s_x)) / s_x;

    lower = d2_lower * a2 + d1_lower * a1;
    diag = d2_diag * a2 + d1_diag * a1 - r;
    upper = d2_upper * a2 + d1_upper * a1;
}

}  // namespace vorel
