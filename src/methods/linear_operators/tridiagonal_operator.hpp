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

    // The same solve with b_0 = `first`, b_{n−1} = `last` and b_i = rhs(i) in
    // between, each b_i formed as the forward sweep reaches it instead of being
    // stored first.
    template <class Rhs>
    void solve_implicit(Rhs&& rhs, double first, double last, std::span<double> x, std::span<double> scratch,
                        double c) const;

    // Row 0 becomes x_1 − x_0, row n − 1 becomes x_{n−1} − x_{n−2}; any other
    // index changes nothing. The cached factorisation is dropped in every case.
    void set_neumann_row(std::size_t index);

    // Whether a factorisation is cached, and for which coefficient.
    bool has_factorisation() const noexcept { return cache_.valid; }
    double factorised_for() const noexcept { return cache_.c; }

private:
    void factorise(double c) const;
    // Checks the lengths and refreshes the factorisation for c.
    void prepare_solve(std::size_t x_size, std::size_t scratch_size, double c) const;

    std::vector<double> lower_;
    std::vector<double> diag_;
    std::vector<double> upper_;
    bool closed_low_ = false;
    bool closed_high_ = false;

    struct Cache {
        // The system's sub-diagonal, the modified super-diagonal and the
        // reciprocal pivots, n values each, in one allocation.
        std::vector<double> factors;
        double c = 0.0;
        bool valid = false;
        const double* lower_sys() const noexcept { return factors.data(); }
        const double* super_mod() const noexcept { return factors.data() + factors.size() / 3; }
        const double* inv_pivot() const noexcept { return factors.data() + 2 * (factors.size() / 3); }
    };
    mutable Cache cache_;
};

template <class Rhs>
void TridiagonalOperator::solve_implicit(Rhs&& rhs, double first, double last, std::span<double> x,
                                         std::span<double> scratch, double c) const {
    prepare_solve(x.size(), scratch.size(), c);
    const std::size_t n = size();
    const double* s = cache_.lower_sys();
    const double* m = cache_.super_mod();
    const double* p = cache_.inv_pivot();
    double* y = scratch.data();
    y[0] = first * p[0];
    for (std::size_t i = 1; i + 1 < n; ++i) y[i] = (rhs(i) - s[i] * y[i - 1]) * p[i];
    y[n - 1] = (last - s[n - 1] * y[n - 2]) * p[n - 1];
    x[n - 1] = y[n - 1];
    for (std::size_t i = n - 1; i-- > 0;) x[i] = y[i] - m[i] * x[i + 1];
}

}  // namespace vorel
