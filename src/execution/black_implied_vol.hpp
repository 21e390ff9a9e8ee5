#pragma once
// The volatility at which the closed form prices a quote, for any volatility:
// Newton's method on the closed form's own price, kept inside a bracket that
// every step narrows, from the point where the price's curvature changes sign.

#include "execution/element_status.hpp"
#include "instruments/vanilla_option.hpp"

namespace vorel {

struct ImpliedVolatility {
    double sigma;  // NaN unless the status is Ok
    ElementStatus status;
};

// The σ at which price_analytic (continuous r and q, T years) gives `price`.
// InvalidInput for a non-finite argument or S, K ≤ 0; Expired for T ≤ 0;
// BelowIntrinsic below the discounted forward intrinsic value (σ = 0 exactly
// at it); AboveUpperBound at or above S·e^(−qT) (call) or K·e^(−rT) (put).
// Allocates nothing.
ImpliedVolatility black_implied_vol(double price, OptionType type, double S, double K, double T, double r,
                                    double q) noexcept;

}  // namespace vorel
