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

void TridiagonalOperator::apply(std::span<const double> x, std::span<double> y) const {
    const std::size_t n = size();
    require_length(x.size(), n, "input");
    require_length(y.size(), n, "output");
    const double* l = lower_.data();
    const double* d = diag_.data();
    const double* u = upper_.data();
    y[0] = d[0] * x[0] + u[0] * x[1];
    for (std::size_t i = 1; i + 1 < n; ++i) y[i] = l[i] * x[i - 1] + d[i] * x[i] + u[i] * x[i + 1];
    y[n - 1] = l[n - 1] * x[n - 2] + d[n - 1] * x[n - 1];
}

void TridiagonalOperator::factorise(double c) const {
    const std::size_t n = size();
    Cache& f = cache_;
    f.valid = false;
    f.factors.resize(3 * n);  // n ≤ max_size / 3: the operator's own diagonals hold 3·n values
    double* const lower_sys = f.factors.data();
    double* const super_mod = lower_sys + n;
    double* const inv_pivot = super_mod + n;

    // Row i of the system is s_i·x_{i−1} + t_i·x_i + e_i·x_{i+1}: a row of
    // I − c·L, or the boundary condition itself for a closed row.
    const auto system_row = [&](std::size_t i, double& s, double& t, double& e) {
        const bool closed = (i == 0 && closed_low_) || (i == n - 1 && closed_high_);
        if (closed) {
            s = lower_[i];
            t = diag_[i];
            e = upper_[i];
        } else {
            s = -c * lower_[i];
            t = 1.0 - c * diag_[i];
            e = -c * upper_[i];
        }
    };

    double s = 0.0;
    double t = 0.0;
    double e = 0.0;
    system_row(0, s, t, e);
    lower_sys[0] = 0.0;
    inv_pivot[0] = 1.0 / t;
    super_mod[0] = inv_pivot[0] * e;
    for (std::size_t i = 1; i < n; ++i) {
        system_row(i, s, t, e);
        if (i == n - 1) e = 0.0;
        lower_sys[i] = s;
        inv_pivot[i] = 1.0 / (t - s * super_mod[i - 1]);
        super_mod[i] = inv_pivot[i] * e;
    }
    f.c = c;
    f.valid = true;
}

void TridiagonalOperator::prepare_solve(std::size_t x_size, std::size_t scratch_size, double c) const {
    const std::size_t n = size();
    require_length(x_size, n, "solution");
    require_length(scratch_size, n, "scratch");
    if (!cache_.valid || !(std::abs(cache_.c - c) < 1e-12)) factorise(c);
}

void TridiagonalOperator::solve_implicit(std::span<const double> b, std::span<double> x, std::span<double> scratch,
                                         double c) const {
    require_length(b.size(), size(), "right-hand side");
    const double* values = b.data();
    solve_implicit([values](std::size_t i) { return values[i]; }, b[0], b[size() - 1], x, scratch, c);
}

void TridiagonalOperator::set_neumann_row(std::size_t index) {
    cache_.valid = false;
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
