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
    LiftedRange project(std::span<double>) const noexcept { return {}; }
    void clear_image(std::span<double>, const LiftedRange&) const noexcept {}
    // After a grid shift: the image recomputed with the new operator.
    void reset_after_shift(InputVectors& state) const;

private:
    FdmDiscretisation discretisation_;
};

}  // namespace vorel
