#pragma once
// What both stepping schemes hold: the grid, the closed operator built on it,
// the process coefficients (to rebuild the operator after a grid shift) and the
// Neumann deltas with the scale that turns them into right-hand-side values on
// the current grid.

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

    // The first and last entries of a stage right-hand side at time to expiry
    // `tau`: the prescribed end differences, an end on its exercise value
    // taking the payoff's delta.
    NeumannStandard::Ends rhs_ends(double tau, bool low_exercised = false, bool high_exercised = false) const noexcept {
        return boundary_.rhs_ends(scale_, tau, low_exercised, high_exercised);
    }

    // Moves to a new grid (same size) with a freshly built, closed operator.
    void replace_grid(FdmGrid grid);

    // From now on the held value is flat at the lowest node (see NeumannStandard).
    void flatten_low_end() noexcept { boundary_.flat_low = true; }

private:
    FdmGrid grid_;
    TridiagonalOperator op_;
    FdmProcess process_;
    NeumannStandard boundary_;
    NeumannStandard::Ends scale_;
};

// Panics unless the state has one value per node of the discretisation's grid.
void require_state_for(const FdmDiscretisation& discretisation, const InputVectors& state);

}  // namespace vorel
