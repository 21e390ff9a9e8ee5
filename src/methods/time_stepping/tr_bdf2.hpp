#pragma once
// TR-BDF2: a trapezoidal stage to γ = 2 − √2 of the step, then a BDF2 stage to
// its end; L-stable and second order. Both implicit coefficients agree to far
// below the operator's 1e-12 reuse tolerance, so one factorisation serves both
// stages and every step of the same length. A step allocates nothing.

#include <cstddef>
#include <memory>
#include <span>

#include "methods/stepping_scheme/discretisation.hpp"
#include "methods/time_stepping/input_vectors.hpp"

namespace vorel {

namespace tr_bdf2 {
inline constexpr double kA = 0.2928932188134524;   // γ/2: stage-1 explicit and implicit weight
inline constexpr double kW = 0.35355339059327373;  // 1/(2√2): stage-2 weight of L·u and L·u₁
inline constexpr double kD = 0.29289321881345254;  // 1 − 1/√2: stage-2 implicit weight
inline constexpr double kGamma = 0.5857864376269049;  // 2 − √2: where in the step stage 1 ends
}  // namespace tr_bdf2

// The working storage of one valuation, in one allocation: the march state,
// the two stages and the solver's sweep.
class TrBdf2Workspace {
public:
    // std::bad_alloc when 7·nodes values cannot be held.
    explicit TrBdf2Workspace(std::size_t nodes);

    // The state [u ; L·u] that step() advances.
    InputVectors& state() noexcept { return state_; }
    const InputVectors& state() const noexcept { return state_; }

    // 3·nodes values in which nothing is kept between steps.
    std::span<double> spare() noexcept { return {storage_.get() + 4 * nodes_, 3 * nodes_}; }

    // One step of length dt from time to expiry `tau` back to tau + dt.
    // `Scheme` is LinearScheme or PostProjectionScheme.
    template <class Scheme>
    void step(Scheme& scheme, double dt, double tau);
    // One implicit Euler step, (I − dt·L)·u_new = u, from time to expiry `tau`:
    // first order, but it damps every mode, which a start from a kinked
    // payoff wants.
    template <class Scheme>
    void implicit_euler_step(Scheme& scheme, double dt, double tau);

private:
    std::size_t nodes_;
    std::unique_ptr<double[]> storage_;  // [state | stage 2 | stage 1 | sweep], each written before it is read
    InputVectors state_;
    InputVectors stage2_;  // [u₂ ; L·u₂], then swapped into the state
    InputVectors stage1_;  // [u₁ ; L·u₁]
    std::span<double> sweep_;
};

template <class Scheme>
void TrBdf2Workspace::step(Scheme& scheme, double dt, double tau) {
    const double* const u = state_.values().data();
    const double* const v = state_.images().data();

    // Each stage's right-hand side is formed inside the solver's forward sweep;
    // its closed rows carry the boundary differences at the stage's own time.
    const double a_dt = tr_bdf2::kA * dt;
    scheme.solve([&](std::size_t i) { return u[i] + a_dt * v[i]; },
                 scheme.rhs_ends(tau + tr_bdf2::kGamma * dt, state_.values()), stage1_.values(), sweep_, a_dt);
    scheme.image(stage1_.values(), stage1_.images());

    const double w_dt = tr_bdf2::kW * dt;
    const double* const v1 = stage1_.images().data();
    scheme.solve([&](std::size_t i) { return u[i] + w_dt * v[i] + w_dt * v1[i]; },
                 scheme.rhs_ends(tau + dt, state_.values()), stage2_.values(), sweep_, tr_bdf2::kD * dt);
    scheme.image(stage2_.values(), stage2_.images());

    swap(state_, stage2_);
}

template <class Scheme>
void TrBdf2Workspace::implicit_euler_step(Scheme& scheme, double dt, double tau) {
    const double* const u = state_.values().data();
    scheme.solve([&](std::size_t i) { return u[i]; }, scheme.rhs_ends(tau + dt, state_.values()), stage2_.values(),
                 sweep_, dt);
    scheme.image(stage2_.values(), stage2_.images());
    swap(state_, stage2_);
}

}  // namespace vorel
