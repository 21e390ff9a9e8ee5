#include "methods/stepping_scheme/linear.hpp"

namespace vorel {

void LinearScheme::initialise(InputVectors& state) const {
    require_state_for(discretisation_, state);
    image(state.values(), state.images());
}

void LinearScheme::reset_after_shift(InputVectors& state) const { image(state.values(), state.images()); }

}  // namespace vorel
