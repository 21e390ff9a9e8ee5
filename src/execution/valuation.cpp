#include "execution/valuation.hpp"

#include <string>

#include "core/panic.hpp"
#include "execution/closed_form.hpp"
#include "orchestration/fdm.hpp"

namespace vorel {

Result<Unit> check_conventions(const MarketFrameData& market) {
    const DayCountConvention& rates = market.rate_curve.day_count_convention();
    const DayCountConvention& vol = market.vol_surface.day_count_convention();
    if (rates == vol) return Unit{};
    return Err{Error::value("Mismatched day count conventions: Rates use " + rates.debug_text() +
                            ", while Vol uses " + vol.debug_text() + ". They must be identical.")};
}

MarketInputs market_inputs(const VanillaOption& option, const MarketFrameData& market, const Instant& at) {
    const double t = year_fraction(at, option.expiry, DayCountConvention::actual_365_fixed());
    return {ValuationTime::at_instant(at), t, market.spot, market.rate_curve.zero_rate(t), market.borrow_rate(t)};
}

PricingResult price_with(const PricingMethod& method, const VanillaOption& option,
                         std::span<const Dividend> dividends, const MarketInputs& inputs, double sigma) {
    if (const std::optional<FdmConfig> settings = fdm_settings(method)) {
        return price_fdm(option, dividends, inputs.valuation_time, *settings, inputs.spot, sigma, inputs.r,
                         inputs.q);
    }
    return price_analytic(option, inputs.valuation_time, inputs.spot, sigma, inputs.r, inputs.q);
}

Result<PricingResult> value_option(const VanillaOption& option, const MarketFrameData& market, const Config& config,
                                   std::optional<Instant> at) {
    if (Result<Unit> checked = check_conventions(market); !checked) return Err{std::move(checked).error()};
    const MarketInputs inputs = market_inputs(option, market, at ? *at : now_utc());
    const double sigma = market.vol_surface.volatility(option.strike, inputs.t);
    const PricingMethod& method = method_for(config, option.exercise_style, option.option_type);
    if (!fdm_settings(method) && option.exercise_style == ExerciseStyle::American && inputs.r < inputs.q) {
        panic("not implemented: American options with interest rate below dividend yield have not been "
              "implemented");
    }
    return price_with(method, option, market.dividends.entries(), inputs, sigma);
}

}  // namespace vorel
