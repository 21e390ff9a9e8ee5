#pragma once
// What both stepping schemes hold: the grid, the closed operator built on it,
// the process coefficients (to rebuild the operator after a grid shift) and the
// Neumann deltas with their right-hand-side values on the current grid.

#include <span>

#include "methods/finite_difference/boundary_conditions/neumann_standard.hpp"
#include "methods/finite_difference/fdm_process.hpp"
#include "methods/finite_difference/grids/fdm_grid.hpp"
#include "methods/linear_operators/tridiagonal_operator.hpp"
#include "methods/time_stepping/input_vectors.hpp"

namespace vorel {

class FdmDiscretisation {
public:
    // Builds and closes the operator; panics below 3 nodes.
    FdmDiscretisation(FdmGrid grid, const FdmProcess& process, const NeumannStandard& boundary);

    const FdmGrid& grid() const noexcept { return grid_; }
    const TridiagonalOperator& op() const noexcept { return op_; }
    std::size_t size() const noexcept { return grid_.size(); }

    // The first and last entries of a stage right-hand side: the prescribed
    // end differences.
    NeumannStandard::Rhs rhs_ends() const noexcept { return rhs_; }

    // Moves to a new grid (same size) with a freshly built, closed operator.
    void replace_grid(FdmGrid grid);

private:
    FdmGrid grid_;
    TridiagonalOperator op_;
    FdmProcess process_;
    NeumannStandard boundary_;
    NeumannStandard::Rhs rhs_;
};

// Completes a state holding the payoff to [payoff ; L·payoff] on the
// discretisation's closed operator.
void initial_state(const FdmDiscretisation& discretisation, InputVectors& state);

// Nodes a projection lifted onto the exercise value: [lo, hi] when `any`.
struct LiftedRange {
    std::size_t lo = 0;
    std::size_t hi = 0;
    bool any = false;
};

}  // namespace vorel
