#pragma once
// American exercise. Each implicit solve keeps every node at or above its
// exercise value max(φ·(S − K), 0): the solve is the Brennan–Schwartz one,
// which lifts values onto the floor as its substitution comes up from the end
// of the grid where the holder exercises (the bottom for a put, the top for a
// call). Where the holder exercises (a node on its exercise value whose held
// value would fall below it) the operator image is cleared: the value no
// longer evolves there.

#include <algorithm>
#include <span>
#include <vector>

#include "methods/stepping_scheme/discretisation.hpp"
#include "methods/time_stepping/input_vectors.hpp"

namespace vorel {

// The exercise value at spot s, max(φ·(s − K), 0), and its slope there.
inline double exercise_value(double phi, double strike, double s) noexcept { return std::max(phi * (s - strike), 0.0); }
inline double exercise_delta(double phi, double strike, double s) noexcept {
    return exercise_value(phi, strike, s) > 0.0 ? phi : 0.0;
}

class PostProjectionScheme {
public:
    // phi: +1 for a call, −1 for a put.
    PostProjectionScheme(FdmGrid grid, const FdmProcess& process, const NeumannStandard& boundary, double strike,
                         double phi);

    FdmDiscretisation& discretisation() noexcept { return discretisation_; }
    const FdmDiscretisation& discretisation() const noexcept { return discretisation_; }

    // The exercise value at spot s, max(φ·(s − K), 0), and its slope there.
    double exercise_value(double s) const noexcept { return vorel::exercise_value(phi_, strike_, s); }
    double exercise_delta(double s) const noexcept { return vorel::exercise_delta(phi_, strike_, s); }
    double strike() const noexcept { return strike_; }
    double phi() const noexcept { return phi_; }

    // [payoff ; L·payoff] from a state holding the payoff, the image held
    // where exercise is better than holding.
    void initialise(InputVectors& state) const;

    // The boundary values of a stage ending at time to expiry `tau`, from
    // values `u` at the start of the step: an end on its exercise value moves
    // with the payoff.
    NeumannStandard::Ends rhs_ends(double tau, std::span<const double> u) const noexcept;

    // A stage's implicit solve, no node left below its exercise value.
    template <class Rhs>
    void solve(Rhs&& rhs, const NeumannStandard::Ends& ends, std::span<double> u, std::span<double> sweep,
               double c) const {
        const double* e = exercise_.data();
        discretisation_.op().solve_floored(rhs, ends.low, ends.high, [e](std::size_t i) { return e[i]; }, phi_ < 0.0,
                                           u, sweep, c);
    }

    // v = L·u, then zero wherever u is on its exercise value and v < 0.
    void image(std::span<const double> u, std::span<double> v) const {
        const double* e = exercise_.data();
        const double* held = u.data();
        discretisation_.op().apply(u, v, [e, held](std::size_t i, double value) {
            const bool exercised = (value < 0.0) & (held[i] <= e[i]);
            return exercised ? 0.0 : value;
        });
    }

    // Lifts every node below its exercise value onto it.
    void project(std::span<double> u) const noexcept;

    // After a grid shift: the exercise values of the new nodes, every node
    // lifted onto its own, and the image recomputed as after a stage.
    void reset_after_shift(InputVectors& state);

private:
    void compute_exercise();

    FdmDiscretisation discretisation_;
    double strike_;
    double phi_;
    std::vector<double> exercise_;  // at each node of the current grid
};

}  // namespace vorel
