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

namespace {

// What the price and every Greek share.
struct Terms {
    double sqrtT, Nd1, Nd2, Nmd1, Nmd2, pdf_arg, Dr, Dq;
};

Terms terms(double K, double T, double S, double sigma, double r, double q) noexcept {
    const double sqrtT = std::sqrt(T);
    const double spread = std::log(S / K) + (0.5 * sigma * sigma + (r - q)) * T;
    const double width = sigma * sqrtT;
    // At the forward with no volatility left (σ√T = 0) d1 is 0/0; its limit is 0.
    const double d1 = spread == 0.0 && width == 0.0 ? 0.0 : spread / width;
    const double d2 = d1 - sigma * sqrtT;
    // erf is odd to the bit and x/√2 negates exactly, so N(-d) = (1 - erf(d/√2))/2
    // is what norm_cdf(-d) gives: two erf evaluations serve all four.
    const double e1 = portable::erf(d1 / 1.4142135623730951);
    const double e2 = portable::erf(d2 / 1.4142135623730951);
    return {sqrtT, (e1 + 1) * 0.5, (e2 + 1) * 0.5, (1 - e1) * 0.5, (1 - e2) * 0.5, -(d1 * d1) * 0.5,
            std::exp(-r * T), std::exp(-q * T)};
}

double price_of(OptionType type, const Terms& t, double S, double K) noexcept {
    if (type == OptionType::Call) return t.Nd1 * S * t.Dq - t.Nd2 * K * t.Dr;
    return K * t.Dr * t.Nmd2 - S * t.Dq * t.Nmd1;
}

}  // namespace

PricingResult price_analytic(const VanillaOption& option, double T, double S, double sigma, double r,
                             double q) noexcept {
    const double K = option.strike;
    const Terms t = terms(K, T, S, sigma, r, q);
    const double sqrtT = t.sqrtT, Nd1 = t.Nd1, Nd2 = t.Nd2, Nmd1 = t.Nmd1, Nmd2 = t.Nmd2, Dr = t.Dr, Dq = t.Dq;
    const double pdf = std::exp(t.pdf_arg) / 2.5066282746310002;  // √(2π)

    PricingResult result;
    result.price = price_of(option.option_type, t, S, K);
    result.gamma = Dq * pdf / (S * sigma * sqrtT);
    result.vega = sqrtT * S * Dq * pdf;
    if (option.option_type == OptionType::Call) {
        result.delta = Nd1 * Dq;
        result.theta = Nd1 * S * q * Dq - S * Dq * pdf * sigma / (2 * sqrtT) - Nd2 * r * K * Dr;
        result.rho = Nd2 * K * T * Dr;
    } else {
        result.delta = Dq * (Nd1 - 1);
        result.theta = r * K * Dr * Nmd2 - sigma * S * Dq * pdf / (2 * sqrtT) - S * q * Dq * Nmd1;
        result.rho = -K * T * Dr * Nmd2;
    }
    return result;
}

double price_analytic_price(const VanillaOption& option, double T, double S, double sigma, double r,
                            double q) noexcept {
    return price_of(option.option_type, terms(option.strike, T, S, sigma, r, q), S, option.strike);
}

}  // namespace vorel
