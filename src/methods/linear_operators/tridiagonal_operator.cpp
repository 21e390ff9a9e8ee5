#include "methods/linear_operators/tridiagonal_operator.hpp"

#include <cmath>
#include <string>

#include "core/panic.hpp"

namespace vorel {
namespace {

void require_length(std::span<const double> v, std::size_t n, const char* what) {
    if (v.size() < n) {
        panic(std::string("TridiagonalOperator: ") + what + " holds " + std::to_string(v.size()) +
              " values, needs " + std::to_string(n));
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
    require_length(x, n, "input");
    require_length(y, n, "output");
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
    f.lower_sys.resize(n);
    f.super_mod.resize(n);
    f.inv_pivot.resize(n);
    f.valid = false;

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
    f.lower_sys[0] = 0.0;
    f.inv_pivot[0] = 1.0 / t;
    f.super_mod[0] = f.inv_pivot[0] * e;
    for (std::size_t i = 1; i < n; ++i) {
        system_row(i, s, t, e);
        if (i == n - 1) e = 0.0;
        f.lower_sys[i] = s;
        f.inv_pivot[i] = 1.0 / (t - s * f.super_mod[i - 1]);
        f.super_mod[i] = f.inv_pivot[i] * e;
    }
    f.c = c;
    f.valid = true;
}

void TridiagonalOperator::solve_implicit(std::span<const double> b, std::span<double> x, std::span<double> scratch,
                                         double c) const {
    const std::size_t n = size();
    require_length(b, n, "right-hand side");
    require_length(x, n, "solution");
    require_length(scratch, n, "scratch");
    if (!cache_.valid || !(std::abs(cache_.c - c) < 1e-12)) factorise(c);

    const double* s = cache_.lower_sys.data();
    const double* m = cache_.super_mod.data();
    const double* p = cache_.inv_pivot.data();
    double* y = scratch.data();
    y[0] = b[0] * p[0];
    for (std::size_t i = 1; i < n; ++i) y[i] = (b[i] - s[i] * y[i - 1]) * p[i];
    x[n - 1] = y[n - 1];
    for (std::size_t i = n - 1; i-- > 0;) x[i] = y[i] - m[i] * x[i + 1];
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
