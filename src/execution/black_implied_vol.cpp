#include "execution/black_implied_vol.hpp"

#include <cmath>
#include <limits>

#include "execution/closed_form.hpp"

namespace vorel {
namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kRounds = 300;
}  // namespace

ImpliedVolatility black_implied_vol(double price, OptionType type, double S, double K, double T, double r,
                                    double q) noexcept {
    if (!(std::isfinite(price) && std::isfinite(S) && std::isfinite(K) && std::isfinite(T) && std::isfinite(r) &&
          std::isfinite(q)) ||
        !(S > 0.0) || !(K > 0.0)) {
        return {kNaN, ElementStatus::InvalidInput};
    }
    if (!(T > 0.0)) return {kNaN, ElementStatus::Expired};
    const double spot_value = S * std::exp(-q * T);
    const double strike_value = K * std::exp(-r * T);
    const bool call = type == OptionType::Call;
    const double intrinsic = std::max(call ? spot_value - strike_value : strike_value - spot_value, 0.0);
    const double upper = call ? spot_value : strike_value;
    if (price < intrinsic) return {kNaN, ElementStatus::BelowIntrinsic};
    if (price >= upper) return {kNaN, ElementStatus::AboveUpperBound};
    if (price == intrinsic) return {0.0, ElementStatus::Ok};

    const VanillaOption option{K, {}, type, ExerciseStyle::European};
    const double sqrtT = std::sqrt(T);
    // The price is convex in σ below σ_c = √(2|ln(F/K)|/T) and concave above:
    // Newton's steps from σ_c approach the root from one side. At the money,
    // σ_c = 0; start from the price's slope at σ = 0 there.
    const double moneyness = std::abs(std::log(S / K) + (r - q) * T);
    double sigma = moneyness > 0.0 ? std::sqrt(2.0 * moneyness / T) : price / (0.3989422804014327 * spot_value * sqrtT);
    if (!(sigma > 0.0) || !std::isfinite(sigma)) sigma = 1.0;
    double lo = 0.0, hi = std::numeric_limits<double>::infinity();
    for (int round = 0; round < kRounds; ++round) {
        const PricingResult at = price_analytic(option, T, S, sigma, r, q);
        const double gap = at.price - price;
        if (gap == 0.0) return {sigma, ElementStatus::Ok};
        if (gap > 0.0) {
            hi = sigma;
        } else {
            lo = sigma;
        }
        const double vega = at.vega.value_or(0.0);
        double next = sigma - gap / vega;
        if (!(next > lo && next < hi)) {
            // Outside the bracket: halve it (double the volatility while no upper end is known).
            next = std::isfinite(hi) ? 0.5 * (lo + hi) : 2.0 * sigma;
        }
        if (std::abs(next - sigma) <= 4.0 * std::numeric_limits<double>::epsilon() * sigma ||
            (std::isfinite(hi) && hi - lo <= 4.0 * std::numeric_limits<double>::epsilon() * hi)) {
            return {next, ElementStatus::Ok};
        }
        sigma = next;
    }
    return {kNaN, ElementStatus::NotConverged};
}

}  // namespace vorel
