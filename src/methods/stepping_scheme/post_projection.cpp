#include "methods/stepping_scheme/post_projection.hpp"

namespace vorel {

PostProjectionScheme::PostProjectionScheme(FdmGrid grid, const FdmProcess& process, const NeumannStandard& boundary,
                                           double strike, double phi)
    : discretisation_(std::move(grid), process, boundary), strike_(strike), phi_(phi) {
    compute_exercise();
}

void PostProjectionScheme::compute_exercise() {
    const std::vector<double>& spot = discretisation_.grid().spot;
    exercise_.resize(spot.size());
    for (std::size_t i = 0; i < spot.size(); ++i) exercise_[i] = exercise_value(spot[i]);
}

void PostProjectionScheme::initialise(InputVectors& state) const {
    require_state_for(discretisation_, state);
    image(state.values(), state.images());
}

NeumannStandard::Ends PostProjectionScheme::rhs_ends(double tau, std::span<const double> u) const noexcept {
    const std::size_t last = u.size() - 1;
    return discretisation_.rhs_ends(tau, u[0] <= exercise_[0], u[last] <= exercise_[last]);
}

void PostProjectionScheme::project(std::span<double> u) const noexcept {
    for (std::size_t i = 0; i < u.size(); ++i) u[i] = std::max(u[i], exercise_[i]);
}

void PostProjectionScheme::reset_after_shift(InputVectors& state) {
    compute_exercise();
    project(state.values());
    image(state.values(), state.images());
}

}  // namespace vorel
