#include "execution/closed_form.hpp"

#include "execution/closed_form_terms.hpp"

namespace vorel {

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

}  // namespace vorel
