#pragma once
// The Black–Scholes–Merton closed form with continuous yields, as if European.

#include "instruments/pricing_result.hpp"
#include "instruments/vanilla_option.hpp"

namespace vorel {

// Price and all five Greeks from the years to expiry (Actual/365 Fixed).
// Nothing is validated: degenerate inputs give the IEEE results of the
// formulas (NaN after expiry, intrinsic value at expiry). Allocates nothing.
PricingResult price_analytic(const VanillaOption& option, double years, double spot, double sigma, double r,
                             double q) noexcept;

}  // namespace vorel
