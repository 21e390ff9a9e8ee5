#include "methods/linear_operators/tridiagonal_operator.hpp"

#include <cmath>
#include <limits>
#include <string>

#include "core/panic.hpp"

namespace vorel {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

void require_length(std::size_t size, std::size_t n, const char* what) {
    if (size < n) {
        panic(std::string("TridiagonalOperator: ") + what + " holds " + std::to_string(size) + " values, needs " +
              std::to_string(n));
    }
}

}  // namespace

TridiagonalOperator::TridiagonalOperator(std::vector<double> lower, std::vector<double> diag,
                                         std::vector<double> upper)
    : lower_(std::move(lower)), diag_(std::move(diag)), upper_(std::move(upper)) {
    if (diag_.size() < 3) {
        panic("TridiagonalOperator requires at least 3 elements, found " + std::to_string(diag_.size()));
    }
    if (lower_.size() != diag_.size() || upper_.size() != diag_.size()) {
        panic("TridiagonalOperator diagonals differ in length");
    }
}

void TridiagonalOperator::check_product(std::size_t x_size, std::size_t y_size) const {
    require_length(x_size, size(), "input");
    require_length(y_size, size(), "output");
}

void TridiagonalOperator::apply(std::span<const double> x, std::span<double> y) const {
    apply(x, y, [](std::size_t, double value) { return value; });
}

template <bool Downwards>
void TridiagonalOperator::factorise(double c) const {
    const std::size_t n = size();
    const Along<Downwards> along{n};
    Factors& f = Downwards ? down_ : up_;
    f.valid = false;
    f.values.resize(3 * n);  // n ≤ max_size / 3: the operator's own diagonals hold 3·n values
    double* const eliminated = f.values.data();
    double* const modified = eliminated + n;
    double* const inv_pivot = modified + n;
    // Towards the row eliminated before (`prev`) and the one after (`next`).
    const double* prev = Downwards ? upper_.data() : lower_.data();
    const double* next = Downwards ? lower_.data() : upper_.data();
    const auto end_row = [&](std::size_t i, bool closed) {
        if (closed) return Row{prev[i], diag_[i], next[i]};
        return Row{-c * prev[i], 1.0 - c * diag_[i], -c * next[i]};
    };

    // A pivot is usable when its reciprocal is finite and not zero; the test
    // is folded into one flag without a branch per row.
    bool usable = true;
    const auto usable_pivot = [](double inverse) -> bool { return (std::abs(inverse) < kInfinity) & (inverse != 0.0); };

    const std::size_t start = along.node(0);
    const Row first = end_row(start, Downwards ? closed_high_ : closed_low_);
    eliminated[start] = 0.0;
    inv_pivot[start] = 1.0 / first.centre;
    modified[start] = inv_pivot[start] * first.next;
    usable &= usable_pivot(inv_pivot[start]);
    for (std::size_t k = 1; k + 1 < n; ++k) {
        const std::size_t i = along.node(k);
        const double s = -c * prev[i];
        eliminated[i] = s;
        inv_pivot[i] = 1.0 / ((1.0 - c * diag_[i]) - s * modified[along.node(k - 1)]);
        modified[i] = inv_pivot[i] * (-c * next[i]);
        usable &= usable_pivot(inv_pivot[i]);
    }
    const std::size_t end = along.node(n - 1);
    const Row last = end_row(end, Downwards ? closed_low_ : closed_high_);
    eliminated[end] = last.prev;
    inv_pivot[end] = 1.0 / (last.centre - last.prev * modified[along.node(n - 2)]);
    modified[end] = 0.0;
    usable &= usable_pivot(inv_pivot[end]);
    bad_pivot_ = bad_pivot_ || !usable;
    f.c = c;
    f.valid = true;
}

const TridiagonalOperator::Factors& TridiagonalOperator::factors(std::size_t x_size, std::size_t scratch_size,
                                                                  double c, bool downwards) const {
    const std::size_t n = size();
    require_length(x_size, n, "solution");
    require_length(scratch_size, n, "scratch");
    const Factors& f = downwards ? down_ : up_;
    if (!f.valid || !(std::abs(f.c - c) < 1e-12)) downwards ? factorise<true>(c) : factorise<false>(c);
    return f;
}

void TridiagonalOperator::solve_implicit(std::span<const double> b, std::span<double> x, std::span<double> scratch,
                                         double c) const {
    require_length(b.size(), size(), "right-hand side");
    const double* values = b.data();
    solve_implicit([values](std::size_t i) { return values[i]; }, b[0], b[size() - 1], x, scratch, c);
}

void TridiagonalOperator::set_neumann_row(std::size_t index) {
    up_.valid = false;
    down_.valid = false;
    const std::size_t n = size();
    if (index == 0) {
        lower_[0] = 0.0;
        diag_[0] = -1.0;
        upper_[0] = 1.0;
        closed_low_ = true;
    } else if (index == n - 1) {
        lower_[n - 1] = -1.0;
        diag_[n - 1] = 1.0;
        upper_[n - 1] = 0.0;
        closed_high_ = true;
    }
}

}  // namespace vorel
