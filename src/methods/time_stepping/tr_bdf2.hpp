#pragma once
// TR-BDF2: a trapezoidal stage to γ = 2 − √2 of the step, then a BDF2 stage to
// its end; L-stable and second order. Both implicit coefficients agree to far
// below the operator's 1e-12 reuse tolerance, so one factorisation serves both
// stages and every step of the same length. A step allocates nothing.

#include <span>
#include <vector>

#include "methods/stepping_scheme/discretisation.hpp"
#include "methods/time_stepping/input_vectors.hpp"

namespace vorel {

namespace tr_bdf2 {
inline constexpr double kA = 0.2928932188134524;   // γ/2: stage-1 explicit and implicit weight
inline constexpr double kW = 0.35355339059327373;  // 1/(2√2): stage-2 weight of L·u and L·u₁
inline constexpr double kD = 0.29289321881345254;  // 1 − 1/√2: stage-2 implicit weight
}  // namespace tr_bdf2

// Working storage of one valuation, allocated once.
class TrBdf2Workspace {
public:
    explicit TrBdf2Workspace(std::size_t nodes) : rhs_(nodes), scratch_(nodes), stage1_(nodes), stage2_(nodes) {}

    // One step of length dt, in place. `Scheme` is LinearScheme or
    // PostProjectionScheme.
    template <class Scheme>
    void step(Scheme& scheme, InputVectors& state, double dt);

private:
    std::vector<double> rhs_;
    std::vector<double> scratch_;
    InputVectors stage1_;  // [u₁ ; L·u₁]
    InputVectors stage2_;  // [u₂ ; L·u₂]
};

template <class Scheme>
void TrBdf2Workspace::step(Scheme& scheme, InputVectors& state, double dt) {
    const FdmDiscretisation& disc = scheme.discretisation();
    const TridiagonalOperator& op = disc.op();
    const std::size_t n = state.nodes();
    const std::span<const double> u = state.values();
    const std::span<const double> v = state.images();
    double* const b = rhs_.data();

    const double a_dt = tr_bdf2::kA * dt;
    for (std::size_t i = 0; i < n; ++i) b[i] = u[i] + a_dt * v[i];
    disc.close_rhs(rhs_);
    op.solve_implicit(rhs_, stage1_.values(), scratch_, a_dt);
    const LiftedRange lifted1 = scheme.project(stage1_.values());
    op.apply(stage1_.values(), stage1_.images());
    scheme.clear_image(stage1_.images(), lifted1);

    const double w_dt = tr_bdf2::kW * dt;
    const std::span<const double> v1 = stage1_.images();
    for (std::size_t i = 0; i < n; ++i) b[i] = u[i] + w_dt * v[i] + w_dt * v1[i];
    disc.close_rhs(rhs_);
    op.solve_implicit(rhs_, stage2_.values(), scratch_, tr_bdf2::kD * dt);
    const LiftedRange lifted2 = scheme.project(stage2_.values());
    op.apply(stage2_.values(), stage2_.images());
    scheme.clear_image(stage2_.images(), lifted2);

    swap(state, stage2_);
}

}  // namespace vorel
