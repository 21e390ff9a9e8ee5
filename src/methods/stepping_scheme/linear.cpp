#include "methods/stepping_scheme/linear.hpp"

namespace vorel {

void LinearScheme::initialise(InputVectors& state) const { initial_state(discretisation_, state); }

void LinearScheme::reset_after_shift(InputVectors& state) const {
    discretisation_.op().apply(state.values(), state.images());
}

}  // namespace vorel
