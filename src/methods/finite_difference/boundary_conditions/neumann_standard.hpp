#pragma once
// The option's delta prescribed at both ends of the grid: a call is flat at the
// bottom and moves one for one at the top; a put the other way round.

#include <span>

#include "instruments/vanilla_option.hpp"
#include "methods/finite_difference/grids/fdm_grid.hpp"
#include "methods/linear_operators/tridiagonal_operator.hpp"

namespace vorel {

struct NeumannStandard {
    double low = 0.0;   // dV/dS at the lowest node
    double high = 1.0;  // dV/dS at the highest node

    static NeumannStandard for_option(OptionType type) noexcept {
        return type == OptionType::Call ? NeumannStandard{0.0, 1.0} : NeumannStandard{-1.0, 0.0};
    }

    // Closes rows 0 and n − 1 of a freshly built operator.
    static void close(TridiagonalOperator& op) {
        op.set_neumann_row(0);
        op.set_neumann_row(op.size() - 1);
    }

    // The prescribed differences u_1 − u_0 and u_{n−1} − u_{n−2} on `grid`:
    // h·δ·S′ at each end (V_x = S′·V_S).
    struct Rhs {
        double low;
        double high;
    };
    Rhs rhs(const FdmGrid& grid) const noexcept {
        const std::size_t last = grid.size() - 1;
        return {grid.h_plus[0] * (low * grid.mapped[0].first), grid.h_minus[last] * (high * grid.mapped[last].first)};
    }
};

}  // namespace vorel
