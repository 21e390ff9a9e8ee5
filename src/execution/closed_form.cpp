#include "execution/closed_form.hpp"

#include <cmath>

#include "math/portable_math.hpp"

namespace vorel {

double norm_cdf(double x) noexcept {
    const double y = x / 1.4142135623730951;
    return (portable::erf(y) + 1) * 0.5;
}

// The grouping of every expression is deliberate: results are reproduced bit
// for bit across platforms, so nothing here may be rearranged.
PricingResult price_analytic(const VanillaOption& option, const ValuationTime& valuation_time, double S,
                             double sigma, double r, double q) {
    return price_analytic(option, years_to_expiry(option, valuation_time), S, sigma, r, q);
}

PricingResult price_analytic(const VanillaOption& option, double T, double S, double sigma, double r,
                             double q) noexcept {
    const double K = option.strike;
    const double sqrtT = std::sqrt(T);

    const double spread = std::log(S / K) + (0.5 * sigma * sigma + (r - q)) * T;
    const double width = sigma * sqrtT;
    // At the forward with no volatility left (σ√T = 0) d1 is 0/0; its limit is 0.
    const double d1 = spread == 0.0 && width == 0.0 ? 0.0 : spread / width;
    const double d2 = d1 - sigma * sqrtT;
    const double Nd1 = norm_cdf(d1);
    const double Nd2 = norm_cdf(d2);
    const double Nmd1 = norm_cdf(-d1);
    const double Nmd2 = norm_cdf(-d2);
    const double pdf = std::exp(-(d1 * d1) * 0.5) / 2.5066282746310002;  // √(2π)
    const double Dr = std::exp(-r * T);
    const double Dq = std::exp(-q * T);

    PricingResult result;
    result.gamma = Dq * pdf / (S * sigma * sqrtT);
    result.vega = sqrtT * S * Dq * pdf;
    if (option.option_type == OptionType::Call) {
        result.price = Nd1 * S * Dq - Nd2 * K * Dr;
        result.delta = Nd1 * Dq;
        result.theta = Nd1 * S * q * Dq - S * Dq * pdf * sigma / (2 * sqrtT) - Nd2 * r * K * Dr;
        result.rho = Nd2 * K * T * Dr;
    } else {
        result.price = K * Dr * Nmd2 - S * Dq * Nmd1;
        result.delta = Dq * (Nd1 - 1);
        result.theta = r * K * Dr * Nmd2 - sigma * S * Dq * pdf / (2 * sqrtT) - S * q * Dq * Nmd1;
        result.rho = -K * T * Dr * Nmd2;
    }
    return result;
}

}  // namespace vorel
