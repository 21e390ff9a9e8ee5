#include "methods/stepping_scheme/linear.hpp"

namespace vorel {

InputVectors LinearScheme::initialise(std::span<const double> payoff) const {
    return initial_state(discretisation_, payoff);
}

void LinearScheme::reset_after_shift(InputVectors& state) const {
    discretisation_.op().apply(state.values(), state.images());
}

}  // namespace vorel
