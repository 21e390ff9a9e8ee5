#pragma once
// A tridiagonal operator L on n >= 3 nodes: y = L·x, and the implicit systems
// (I − c·L)·x = b of time stepping solved by the Thomas algorithm. The last
// factorisation is kept and reused while c stays within 1e-12 of it, so a step
// length costs one factorisation however many stages and steps use it.
//
// Rows closed by set_neumann_row are one-sided differences, x_1 − x_0 and
// x_{n−1} − x_{n−2}. In an implicit system such a row is the boundary
// condition itself (x_1 − x_0 = b_0), not a row of I − c·L: a Neumann end
// prescribes a slope, and keeping the identity part would pull the end value
// towards b_0 as steps shrink.

#include <cstddef>
#include <span>
#include <vector>

namespace vorel {

class TridiagonalOperator {
public:
    // lower[i] multiplies x_{i−1} in row i (lower[0] unused), upper[i]
    // multiplies x_{i+1} (upper[n−1] unused). Panics "TridiagonalOperator
    // requires at least 3 elements, found {n}" below three nodes, and panics on
    // diagonals of different lengths.
    TridiagonalOperator(std::vector<double> lower, std::vector<double> diag, std::vector<double> upper);

    std::size_t size() const noexcept { return diag_.size(); }
    const std::vector<double>& lower() const noexcept { return lower_; }
    const std::vector<double>& diag() const noexcept { return diag_; }
    const std::vector<double>& upper() const noexcept { return upper_; }

    // y = L·x. Panics when x or y holds fewer than n values. Allocates nothing.
    void apply(std::span<const double> x, std::span<double> y) const;

    // Solves (I − c·L)·x = b, closed rows imposing their boundary condition.
    // `scratch` receives the forward sweep. Panics when a vector holds fewer
    // than n values. Allocates only the first time it factorises.
    void solve_implicit(std::span<const double> b, std::span<double> x, std::span<double> scratch,
                        double c) const;

    // Row 0 becomes x_1 − x_0, row n − 1 becomes x_{n−1} − x_{n−2}; any other
    // index changes nothing. The cached factorisation is dropped in every case.
    void set_neumann_row(std::size_t index);

    // Whether a factorisation is cached, and for which coefficient.
    bool has_factorisation() const noexcept { return cache_.valid; }
    double factorised_for() const noexcept { return cache_.c; }

private:
    void factorise(double c) const;

    std::vector<double> lower_;
    std::vector<double> diag_;
    std::vector<double> upper_;
    bool closed_low_ = false;
    bool closed_high_ = false;

    struct Cache {
        std::vector<double> lower_sys;  // system sub-diagonal
        std::vector<double> super_mod;  // modified super-diagonal
        std::vector<double> inv_pivot;  // reciprocal pivots
        double c = 0.0;
        bool valid = false;
    };
    mutable Cache cache_;
};

}  // namespace vorel
