#pragma once
// The prices no arbitrage allows a vanilla option, whatever the model.

#include "instruments/pricing_result.hpp"
#include "instruments/vanilla_option.hpp"

namespace vorel {

struct PriceBounds {
    double lower;
    double upper;
};

// For T > 0 years to expiry, spot S, rate r and yield q (continuous):
// a European call lies in [max(S·e^(−qT) − K·e^(−rT), 0), S·e^(−qT)], a put in
// [max(K·e^(−rT) − S·e^(−qT), 0), K·e^(−rT)]; cash dividends before expiry
// lower a call's floor to 0 and leave a put's (they only raise puts). An
// American option may also be exercised now: its bounds take the larger of
// each with the exercise value and with S (call) or K (put).
PriceBounds price_bounds(const VanillaOption& option, double T, double S, double r, double q,
                         bool dividends_before_expiry) noexcept;

// A grid's price outside the bounds (too coarse a grid for the market) is
// moved onto the nearer bound; its Greeks stay the grid's. NaN stays NaN.
void keep_within_bounds(PricingResult& result, const PriceBounds& bounds) noexcept;

}  // namespace vorel
