#pragma once
// European exercise: the implicit solves alone.

#include <span>

#include "methods/stepping_scheme/discretisation.hpp"
#include "methods/time_stepping/input_vectors.hpp"

namespace vorel {

class LinearScheme {
public:
    LinearScheme(FdmGrid grid, const FdmProcess& process, const NeumannStandard& boundary)
        : discretisation_(std::move(grid), process, boundary) {}

    FdmDiscretisation& discretisation() noexcept { return discretisation_; }
    const FdmDiscretisation& discretisation() const noexcept { return discretisation_; }

    // [payoff ; L·payoff] from a state holding the payoff.
    void initialise(InputVectors& state) const;

    // The boundary values of a stage ending at time to expiry `tau`.
    NeumannStandard::Ends rhs_ends(double tau, std::span<const double>) const noexcept {
        return discretisation_.rhs_ends(tau);
    }

    // A stage's implicit solve, and its image v = L·u.
    template <class Rhs>
    void solve(Rhs&& rhs, const NeumannStandard::Ends& ends, std::span<double> u, std::span<double> sweep,
               double c) const {
        discretisation_.op().solve_implicit(rhs, ends.low, ends.high, u, sweep, c);
    }
    void image(std::span<const double> u, std::span<double> v) const { discretisation_.op().apply(u, v); }

    // After a grid shift: the image recomputed with the new operator.
    void reset_after_shift(InputVectors& state) const;

private:
    FdmDiscretisation discretisation_;
};

}  // namespace vorel
