#include "execution/price_bounds.hpp"

#include <algorithm>
#include <cmath>

namespace vorel {

PriceBounds price_bounds(const VanillaOption& option, double T, double S, double r, double q,
                         bool dividends_before_expiry) noexcept {
    const double K = option.strike;
    const double stock = S * std::exp(-q * T);   // the stock delivered at expiry, today
    const double cash = K * std::exp(-r * T);    // the strike paid at expiry, today
    const bool call = option.option_type == OptionType::Call;
    PriceBounds bounds{0.0, call ? stock : cash};
    if (call && !dividends_before_expiry) bounds.lower = std::max(stock - cash, 0.0);
    if (!call) bounds.lower = std::max(cash - stock, 0.0);
    if (option.exercise_style == ExerciseStyle::American) {
        bounds.lower = std::max(bounds.lower, std::max(call ? S - K : K - S, 0.0));
        bounds.upper = std::max(bounds.upper, call ? S : K);
    }
    return bounds;
}

void keep_within_bounds(PricingResult& result, const PriceBounds& bounds) noexcept {
    if (result.price > bounds.upper) result.price = bounds.upper;
    if (result.price < bounds.lower) result.price = bounds.lower;
}

}  // namespace vorel
