#pragma once
// The option's delta prescribed at both ends of the grid. Far out of the money
// the value is flat. Deep in the money a held option moves as the stock does
// after its yield, e^{−qτ} per unit of spot (τ the time to expiry), and an
// exercised one moves one for one with its payoff.

#include <cmath>

#include "methods/finite_difference/grids/fdm_grid.hpp"
#include "methods/linear_operators/tridiagonal_operator.hpp"

namespace vorel {

struct NeumannStandard {
    double low = 0.0;    // the payoff's dV/dS at the lowest node
    double high = 1.0;   // the payoff's dV/dS at the highest node
    double yield = 0.0;  // q, continuous
    // Set once the lowest node lies where the stock pays all it is worth in a
    // dividend still to come: the held value is flat there.
    bool flat_low = false;

    // phi: +1 for a call (deltas 0 and 1), −1 for a put (−1 and 0).
    static NeumannStandard vanilla(double phi, double yield) noexcept {
        return phi > 0.0 ? NeumannStandard{0.0, 1.0, yield, false} : NeumannStandard{-1.0, 0.0, yield, false};
    }

    // Closes rows 0 and n − 1 of a freshly built operator.
    static void close(TridiagonalOperator& op) {
        op.set_neumann_row(0);
        op.set_neumann_row(op.size() - 1);
    }

    // A pair of values at the two ends of the grid.
    struct Ends {
        double low;
        double high;
    };

    // What turns an end's delta into its prescribed difference u_1 − u_0 or
    // u_{n−1} − u_{n−2} on `grid`: the spot step between the two end nodes, so
    // that a value linear in spot (where the value is linear, deep in or out
    // of the money) meets the condition exactly.
    static Ends scale(const FdmGrid& grid) noexcept {
        const std::size_t last = grid.size() - 1;
        return scale(grid.spot[0], grid.spot[1], grid.spot[last - 1], grid.spot[last]);
    }
    // The same from the two lowest spots and the two highest.
    static Ends scale(double s0, double s1, double s_below_top, double s_top) noexcept {
        return {s1 - s0, s_top - s_below_top};
    }

    // The deltas at time to expiry `tau`, an end that sits on its exercise
    // value taking the payoff's own.
    Ends deltas(double tau, bool low_exercised, bool high_exercised) const noexcept {
        const double held = std::exp(-yield * tau);
        const auto at = [held](double delta, bool exercised) {
            return exercised || delta == 0.0 ? delta : delta * held;
        };
        return {flat_low && !low_exercised ? 0.0 : at(low, low_exercised), at(high, high_exercised)};
    }

    // The first and last entries of a stage right-hand side at time to expiry
    // `tau` on a grid of the given scale: the deltas as end differences.
    Ends rhs_ends(const Ends& scale, double tau, bool low_exercised, bool high_exercised) const noexcept {
        const Ends delta = deltas(tau, low_exercised, high_exercised);
        return {scale.low * delta.low, scale.high * delta.high};
    }
};

}  // namespace vorel
