#include "methods/stepping_scheme/post_projection.hpp"

namespace vorel {

void PostProjectionScheme::initialise(InputVectors& state) {
    initial_state(discretisation_, state);
    const std::span<const double> u = state.values();
    const std::span<double> v = state.images();
    const std::size_t n = state.nodes();
    for (std::size_t i = 0; i < n; ++i) {
        if (u[i] > 1e-7) {
            if (v[i] < 0.0) early_exercise_ = true;
            break;
        }
    }
    if (early_exercise_) {
        const std::vector<double>& spot = discretisation_.grid().spot;
        for (std::size_t i = 0; i < n; ++i) {
            const bool in_the_money = phi_ > 0.0 ? spot[i] > strike_ : strike_ > spot[i];
            if (in_the_money) v[i] = 0.0;
        }
    }
}

LiftedRange PostProjectionScheme::project(std::span<double> u) const noexcept {
    const std::size_t n = u.size();
    LiftedRange lifted;

    // Left run: from node 0 upwards while the value lies below exercise.
    bool left = false;
    std::size_t left_end = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double e = exercise(i);
        if (!(u[i] < e)) break;
        u[i] = e;
        left = true;
        left_end = i;
    }
    if (left && left_end == n - 1) return {0, n - 1, true};

    // Right run: from the top downwards; a negative value stops it.
    bool right = false;
    std::size_t right_start = n - 1;
    if (!(u[n - 1] < 0.0) && u[n - 1] < exercise(n - 1)) {
        u[n - 1] = exercise(n - 1);
        right = true;
        if (!left) {
            for (std::size_t j = n - 1; j-- > 0;) {
                const double e = exercise(j);
                if (u[j] < 0.0 || !(u[j] < e)) break;
                u[j] = e;
                right_start = j;
            }
        }
    }

    if (left && right) return {0, n - 1, true};
    if (left) return {0, left_end, true};
    if (right) return {right_start, n - 1, true};
    return lifted;
}

void PostProjectionScheme::clear_image(std::span<double> v, const LiftedRange& lifted) const noexcept {
    if (!early_exercise_ || !lifted.any) return;
    for (std::size_t i = lifted.lo; i <= lifted.hi; ++i) v[i] = 0.0;
}

void PostProjectionScheme::reset_after_shift(InputVectors& state) const {
    const std::span<double> u = state.values();
    LiftedRange lifted;
    for (std::size_t i = 0; i < u.size(); ++i) {
        const double e = exercise(i);
        if (u[i] < e) {
            u[i] = e;
            if (!lifted.any) lifted.lo = i;
            lifted.hi = i;
            lifted.any = true;
        }
    }
    discretisation_.op().apply(u, state.images());
    clear_image(state.images(), lifted);
}

}  // namespace vorel
