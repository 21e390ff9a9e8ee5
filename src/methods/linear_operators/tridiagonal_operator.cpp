#include "methods/linear_operators/tridiagonal_operator.hpp"

#include <cmath>
#include <string>

#include "core/panic.hpp"

namespace vorel {
namespace {

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

TridiagonalOperator::Row TridiagonalOperator::end_row(std::size_t i, bool closed, double c) const noexcept {
    if (closed) return {lower_[i], diag_[i], upper_[i]};
    return {-c * lower_[i], 1.0 - c * diag_[i], -c * upper_[i]};
}

void TridiagonalOperator::factorise_upwards(double c) const {
    const std::size_t n = size();
    Factors& f = up_;
    f.valid = false;
    f.values.resize(3 * n);  // n ≤ max_size / 3: the operator's own diagonals hold 3·n values
    double* const below = f.values.data();
    double* const above_mod = below + n;
    double* const inv_pivot = above_mod + n;
    const Row first = end_row(0, closed_low_, c);
    below[0] = 0.0;
    inv_pivot[0] = 1.0 / first.centre;
    above_mod[0] = inv_pivot[0] * first.above;
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const double s = -c * lower_[i];
        below[i] = s;
        inv_pivot[i] = 1.0 / ((1.0 - c * diag_[i]) - s * above_mod[i - 1]);
        above_mod[i] = inv_pivot[i] * (-c * upper_[i]);
    }
    const Row last = end_row(n - 1, closed_high_, c);
    below[n - 1] = last.below;
    inv_pivot[n - 1] = 1.0 / (last.centre - last.below * above_mod[n - 2]);
    above_mod[n - 1] = 0.0;
    f.c = c;
    f.valid = true;
}

void TridiagonalOperator::factorise_downwards(double c) const {
    const std::size_t n = size();
    Factors& f = down_;
    f.valid = false;
    f.values.resize(3 * n);
    double* const above = f.values.data();
    double* const below_mod = above + n;
    double* const inv_pivot = below_mod + n;
    const Row last = end_row(n - 1, closed_high_, c);
    above[n - 1] = 0.0;
    inv_pivot[n - 1] = 1.0 / last.centre;
    below_mod[n - 1] = inv_pivot[n - 1] * last.below;
    for (std::size_t i = n - 2; i > 0; --i) {
        const double e = -c * upper_[i];
        above[i] = e;
        inv_pivot[i] = 1.0 / ((1.0 - c * diag_[i]) - e * below_mod[i + 1]);
        below_mod[i] = inv_pivot[i] * (-c * lower_[i]);
    }
    const Row first = end_row(0, closed_low_, c);
    above[0] = first.above;
    inv_pivot[0] = 1.0 / (first.centre - first.above * below_mod[1]);
    below_mod[0] = 0.0;
    f.c = c;
    f.valid = true;
}

const TridiagonalOperator::Factors& TridiagonalOperator::factors(std::size_t x_size, std::size_t scratch_size,
                                                                  double c, bool downwards) const {
    const std::size_t n = size();
    require_length(x_size, n, "solution");
    require_length(scratch_size, n, "scratch");
    const Factors& f = downwards ? down_ : up_;
    if (!f.valid || !(std::abs(f.c - c) < 1e-12)) downwards ? factorise_downwards(c) : factorise_upwards(c);
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
