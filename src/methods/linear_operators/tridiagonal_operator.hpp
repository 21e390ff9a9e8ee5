#pragma once
// A tridiagonal operator L on n >= 3 nodes: y = L·x, and the implicit systems
// (I − c·L)·x = b of time stepping solved by the Thomas algorithm, plain or
// with a floor under the solution. The last factorisation in each direction is
// kept and reused while c stays within 1e-12 of it, so a step length costs one
// factorisation however many stages and steps use it.
//
// Rows closed by set_neumann_row are one-sided differences, x_1 − x_0 and
// x_{n−1} − x_{n−2}. In an implicit system such a row is the boundary
// condition itself (x_1 − x_0 = b_0), not a row of I − c·L: a Neumann end
// prescribes a slope, and keeping the identity part would pull the end value
// towards b_0 as steps shrink.

#include <algorithm>
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

    // The same product with each row's value passed through post(i, value)
    // before it is stored.
    template <class Post>
    void apply(std::span<const double> x, std::span<double> y, Post&& post) const;

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

    // The same solve with every x_i kept at or above floor(i): the elimination
    // runs towards the end of the grid where the floor binds (the bottom when
    // `floor_at_bottom`, else the top) and the substitution, coming back from
    // that end, lifts each value onto its floor as it goes (the
    // Brennan–Schwartz algorithm). Where the floor binds on one run of nodes
    // reaching that end this solves the complementarity problem
    // min(x − floor, (I − c·L)·x − b) = 0 exactly; anywhere, no value is left
    // below its floor.
    template <class Rhs, class Floor>
    void solve_floored(Rhs&& rhs, double first, double last, Floor&& floor, bool floor_at_bottom,
                       std::span<double> x, std::span<double> scratch, double c) const;

    // Row 0 becomes x_1 − x_0, row n − 1 becomes x_{n−1} − x_{n−2}; any other
    // index changes nothing. The cached factorisations are dropped in every case.
    void set_neumann_row(std::size_t index);

    // The coefficient of the cached upward factorisation (the plain solve's).
    double factorised_for() const noexcept { return up_.c; }

    // Whether any factorisation so far met a pivot that is zero or not finite
    // (its reciprocal infinite, zero or NaN): the solves that used it gave
    // values that mean nothing. The solves themselves run on regardless.
    bool met_bad_pivot() const noexcept { return bad_pivot_; }

private:
    // One elimination of I − c·L: the system's off-diagonal on the side
    // already eliminated, the other off-diagonal over the pivot, and the
    // reciprocal pivots, n values each, in one allocation, indexed by row.
    // Upwards (from row 0), row i then reads x_i = y_i − m_i·x_{i+1};
    // downwards (from row n − 1), x_i = y_i − m_i·x_{i−1}.
    struct Factors {
        std::vector<double> values;
        double c = 0.0;
        bool valid = false;
        const double* eliminated() const noexcept { return values.data(); }
        const double* modified() const noexcept { return values.data() + values.size() / 3; }
        const double* inv_pivot() const noexcept { return values.data() + 2 * (values.size() / 3); }
    };

    // Panics when the input or output of a product holds fewer than n values.
    void check_product(std::size_t x_size, std::size_t y_size) const;

    // Row i of I − c·L (or the boundary condition itself, for a closed row),
    // its off-diagonals named by the direction of elimination.
    struct Row {
        double prev;
        double centre;
        double next;
    };

    // The k-th node met by an elimination from row 0 upwards, or from row
    // n − 1 downwards.
    template <bool Downwards>
    struct Along {
        std::size_t n;
        std::size_t node(std::size_t k) const noexcept { return Downwards ? n - 1 - k : k; }
    };

    // Checks the lengths and returns the factorisation for c in the direction asked.
    const Factors& factors(std::size_t x_size, std::size_t scratch_size, double c, bool downwards) const;
    // Eliminates upwards (or downwards), then substitutes back, passing each
    // value through lift(i, value).
    template <class Rhs, class Lift>
    void solve_with(Rhs&& rhs, double first, double last, Lift&& lift, bool downwards, std::span<double> x,
                    std::span<double> scratch, double c) const;
    template <bool Downwards>
    void factorise(double c) const;

    std::vector<double> lower_;
    std::vector<double> diag_;
    std::vector<double> upper_;
    bool closed_low_ = false;
    bool closed_high_ = false;
    mutable Factors up_;
    mutable Factors down_;
    mutable bool bad_pivot_ = false;
};

template <class Post>
void TridiagonalOperator::apply(std::span<const double> x, std::span<double> y, Post&& post) const {
    check_product(x.size(), y.size());
    const std::size_t n = size();
    const double* l = lower_.data();
    const double* d = diag_.data();
    const double* u = upper_.data();
    const double* in = x.data();
    double* out = y.data();
    const auto f = post;  // a local copy: the stores cannot be taken to change what it holds
    out[0] = f(0, d[0] * in[0] + u[0] * in[1]);
    for (std::size_t i = 1; i + 1 < n; ++i) out[i] = f(i, l[i] * in[i - 1] + d[i] * in[i] + u[i] * in[i + 1]);
    out[n - 1] = f(n - 1, l[n - 1] * in[n - 2] + d[n - 1] * in[n - 1]);
}

template <class Rhs, class Lift>
void TridiagonalOperator::solve_with(Rhs&& rhs, double first, double last, Lift&& lift, bool downwards,
                                     std::span<double> x, std::span<double> scratch, double c) const {
    const Factors& f = factors(x.size(), scratch.size(), c, downwards);
    const std::size_t n = size();
    const double* s = f.eliminated();
    const double* m = f.modified();
    const double* p = f.inv_pivot();
    double* y = scratch.data();
    // The two directions are written out: the sweeps are the hot loops of a step.
    if (!downwards) {
        y[0] = first * p[0];
        for (std::size_t i = 1; i + 1 < n; ++i) y[i] = (rhs(i) - s[i] * y[i - 1]) * p[i];
        y[n - 1] = (last - s[n - 1] * y[n - 2]) * p[n - 1];
        x[n - 1] = lift(n - 1, y[n - 1]);
        for (std::size_t i = n - 1; i-- > 0;) x[i] = lift(i, y[i] - m[i] * x[i + 1]);
        return;
    }
    y[n - 1] = last * p[n - 1];
    for (std::size_t i = n - 2; i > 0; --i) y[i] = (rhs(i) - s[i] * y[i + 1]) * p[i];
    y[0] = (first - s[0] * y[1]) * p[0];
    x[0] = lift(0, y[0]);
    for (std::size_t i = 1; i < n; ++i) x[i] = lift(i, y[i] - m[i] * x[i - 1]);
}

template <class Rhs>
void TridiagonalOperator::solve_implicit(Rhs&& rhs, double first, double last, std::span<double> x,
                                         std::span<double> scratch, double c) const {
    solve_with(rhs, first, last, [](std::size_t, double v) { return v; }, false, x, scratch, c);
}

template <class Rhs, class Floor>
void TridiagonalOperator::solve_floored(Rhs&& rhs, double first, double last, Floor&& floor, bool floor_at_bottom,
                                        std::span<double> x, std::span<double> scratch, double c) const {
    // Eliminating towards the floor's end makes the substitution start there.
    solve_with(rhs, first, last, [&floor](std::size_t i, double v) { return std::max(v, floor(i)); },
               floor_at_bottom, x, scratch, c);
}

}  // namespace vorel
