#include "execution/closed_form.hpp"

#include "execution/closed_form_terms.hpp"
#include "math/portable_math.hpp"

namespace vorel {

double norm_cdf(double x) noexcept {
    const double y = x / 1.4142135623730951;
    return (portable::erf(y) + 1) * 0.5;
}

PricingResult price_analytic(const VanillaOption& option, const ValuationTime& valuation_time, double S,
                             double sigma, double r, double q) {
    return price_analytic(option, years_to_expiry(option, valuation_time), S, sigma, r, q);
}

PricingResult price_analytic(const VanillaOption& option, double T, double S, double sigma, double r,
                             double q) noexcept {
    using closed_form::ScalarMath;
    const double K = option.strike;
    const closed_form::Terms<double> t = closed_form::terms<ScalarMath>(K, T, S, sigma, r, q);
    const double pdf = closed_form::density<ScalarMath>(t);
    const closed_form::Greeks<double> g = option.option_type == OptionType::Call
                                              ? closed_form::call_greeks(t, pdf, K, T, S, sigma, r, q)
                                              : closed_form::put_greeks(t, pdf, K, T, S, sigma, r, q);
    return PricingResult{g.price, g.delta, g.gamma, g.theta, g.vega, g.rho};
}

double price_analytic_price(const VanillaOption& option, double T, double S, double sigma, double r,
                            double q) noexcept {
    const double K = option.strike;
    const closed_form::Terms<double> t = closed_form::terms<closed_form::ScalarMath>(K, T, S, sigma, r, q);
    return option.option_type == OptionType::Call ? closed_form::call_price(t, S, K) : closed_form::put_price(t, S, K);
}

}  // namespace vorel
