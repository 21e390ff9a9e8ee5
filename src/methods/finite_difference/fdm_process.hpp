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

}  // namespace vorel
