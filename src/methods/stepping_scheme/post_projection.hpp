#pragma once
// American exercise: after every implicit solve the values are lifted onto the
// exercise value φ·(S − K) (no floor at zero) in a run from the bottom of the
// grid and a run from the top, and the operator image is cleared where the
// holder exercises (its value no longer evolves there).

#include <span>

#include "methods/stepping_scheme/discretisation.hpp"
#include "methods/time_stepping/input_vectors.hpp"

namespace vorel {

class PostProjectionScheme {
public:
    // phi: +1 for a call, −1 for a put.
    PostProjectionScheme(FdmGrid grid, const FdmProcess& process, const NeumannStandard& boundary, double strike,
                         double phi)
        : discretisation_(std::move(grid), process, boundary), strike_(strike), phi_(phi) {}

    FdmDiscretisation& discretisation() noexcept { return discretisation_; }
    const FdmDiscretisation& discretisation() const noexcept { return discretisation_; }
    bool early_exercise_flag() const noexcept { return early_exercise_; }

    // [payoff ; L·payoff] from a state holding the payoff. Sets the
    // early-exercise flag when the image is negative at the first node whose
    // payoff exceeds 1e-7, and then clears the image at every node in the money.
    void initialise(InputVectors& state);

    // Lifts the left run and the right run; returns the lifted range.
    LiftedRange project(std::span<double> u) const noexcept;

    // Zeroes v over `lifted` when the flag is set.
    void clear_image(std::span<double> v, const LiftedRange& lifted) const noexcept;

    // After a grid shift: every node lifted onto the new exercise value, the
    // image recomputed, then cleared from the lowest to the highest lifted
    // node when the flag is set (the range a stage projection would clear).
    void reset_after_shift(InputVectors& state) const;

private:
    double exercise(std::size_t i) const noexcept { return phi_ * (discretisation_.grid().spot[i] - strike_); }

    FdmDiscretisation discretisation_;
    double strike_;
    double phi_;
    bool early_exercise_ = false;
};

}  // namespace vorel
