#pragma once
// The Black–Scholes–Merton closed form with continuous yields, as if European.

#include "core/period/valuation_time.hpp"
#include "execution/pricing_result.hpp"
#include "instruments/vanilla_option.hpp"

namespace vorel {

// Standard normal distribution function, (erf(x/√2) + 1)/2 on the portable erf:
// exactly 0 for x ≤ -6√2 and exactly 1 for x ≥ 6√2.
double norm_cdf(double x) noexcept;

// Price and all five Greeks. Nothing is validated: degenerate inputs give the
// IEEE results of the formulas (NaN after expiry, intrinsic value at expiry).
// Panics only for a valuation time of an unknown kind. Allocates nothing.
PricingResult price_analytic(const VanillaOption& option, const ValuationTime& valuation_time, double spot,
                             double sigma, double r, double q);

// The same with the years to expiry (Actual/365 Fixed) already worked out.
PricingResult price_analytic(const VanillaOption& option, double years, double spot, double sigma, double r,
                             double q) noexcept;

// The price alone, the same bits as price_analytic's.
double price_analytic_price(const VanillaOption& option, double years, double spot, double sigma, double r,
                            double q) noexcept;

}  // namespace vorel
