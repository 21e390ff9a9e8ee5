#pragma once
// Many options by the closed form at once, in lanes of the widest vectors
// this processor offers (math/simd.hpp). Each element gets, bit for bit, what
// price_analytic gives it alone, on every level.

#include <cstddef>

#include "math/simd.hpp"

namespace vorel {

// The inputs, `size` elements each, as price_analytic takes them.
struct AnalyticInputs {
    std::size_t size = 0;
    const double* strike = nullptr;
    const double* years = nullptr;
    const double* spot = nullptr;
    const double* sigma = nullptr;
    const double* r = nullptr;
    const double* q = nullptr;
    const double* call = nullptr;  // 1 for a call, 0 for a put
};

// Where the results go, `size` elements each. With delta null only prices
// are worked out (and the other Greeks are not read).
struct AnalyticOutputs {
    double* price = nullptr;
    double* delta = nullptr;
    double* gamma = nullptr;
    double* theta = nullptr;
    double* vega = nullptr;
    double* rho = nullptr;
};

// Allocates nothing. `level` above the processor's is lowered to it.
void price_analytic_lanes(const AnalyticInputs& in, const AnalyticOutputs& out,
                          simd::Level level = simd::level()) noexcept;

}  // namespace vorel
