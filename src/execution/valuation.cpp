#include "execution/valuation.hpp"

#include <string>

#include "core/format.hpp"
#include "execution/closed_form.hpp"
#include "execution/price_bounds.hpp"
#include "orchestration/fdm.hpp"

namespace vorel {

Result<Unit> check_conventions(const MarketFrameData& market) {
    Result<DayCountConvention> rates = market.rate_curve.day_count_convention();
    if (!rates) return Err{std::move(rates).error()};
    const DayCountConvention& vol = market.vol_surface.day_count_convention();
    if (*rates == vol) return Unit{};
    return Err{Error::invalid_input("Mismatched day count conventions: Rates use " + rates->debug_text() +
                                    ", while Vol uses " + vol.debug_text() + ". They must be identical.")};
}

Result<Unit> check_method(const PricingMethod& method, const MarketFrameData& market) {
    const std::optional<FdmConfig> fdm = fdm_settings(method);
    if (!fdm) return Unit{};
    return check_fdm_settings(*fdm, market.dividends.entries().size());
}

MarketInputs market_inputs(const VanillaOption& option, const MarketFrameData& market, const Instant& at) {
    const double t = year_fraction(at, option.expiry, DayCountConvention::actual_365_fixed());
    return {at, t, market.spot, market.rate_curve.continuous_rate(t), market.borrow_rate(t)};
}

FdmPlan fdm_plan(const VanillaOption& option, std::span<const Dividend> dividends, const MarketInputs& inputs) {
    FdmSchedule schedule = fdm_schedule(option, dividends, inputs.valuation_time);
    const PriceBounds bounds =
        price_bounds(option, schedule.t, inputs.spot, inputs.r, inputs.q, schedule.stops.size() > 1);
    return {std::move(schedule), bounds};
}

Result<PricingResult> within_plan(Result<PricingResult> result, const FdmPlan& plan) {
    if (result) keep_within_bounds(*result, plan.bounds);
    return result;
}

Pricer::Pricer(const PricingMethod& method, const VanillaOption& option, std::span<const Dividend> dividends,
               const MarketInputs& inputs)
    : option_(option), dividends_(dividends), inputs_(inputs), fdm_(fdm_settings(method)) {
    if (fdm_) plan_ = fdm_plan(option, dividends, inputs);
}

// At the expiry instant and after it there is nothing to march: every engine
// gives what the closed form gives there. A grid too coarse for its market can
// price outside what no arbitrage allows; such a price is kept on the bound.
Result<PricingResult> Pricer::operator()(double sigma) const {
    if (plan_ && plan_->schedule.t > 0.0) {
        return within_plan(
            price_fdm(option_, dividends_, plan_->schedule, *fdm_, inputs_.spot, sigma, inputs_.r, inputs_.q), *plan_);
    }
    return price_analytic(option_, inputs_.t, inputs_.spot, sigma, inputs_.r, inputs_.q);
}

Result<double> surface_volatility(const VanillaOption& option, const MarketFrameData& market,
                                  const MarketInputs& inputs) {
    const double sigma = market.vol_surface.volatility(option.strike, inputs.t);
    if (sigma < 0.0) {
        return Err{Error::invalid_input("Volatility must not be negative: the volatility surface gives " +
                                        format_shortest(sigma) + " at the option's strike and expiry")};
    }
    return sigma;
}

Result<Unit> check_method_covers(const PricingMethod& method, const VanillaOption& option,
                                 const MarketInputs& inputs) {
    if (!fdm_settings(method) && option.exercise_style == ExerciseStyle::American && inputs.r < inputs.q) {
        return Err{Error::invalid_input(
            "not implemented: American options with interest rate below dividend yield have not been implemented")};
    }
    return Unit{};
}

Result<PricingResult> value_option(const VanillaOption& option, const MarketFrameData& market, const Config& config,
                                   std::optional<Instant> at) {
    if (Result<Unit> checked = check_conventions(market); !checked) return Err{std::move(checked).error()};
    const MarketInputs inputs = market_inputs(option, market, at ? *at : now_utc());
    const Result<double> sigma = surface_volatility(option, market, inputs);
    if (!sigma) return Err{sigma.error()};
    const PricingMethod& method = method_for(config, option.exercise_style, option.option_type);
    if (Result<Unit> settled = check_method(method, market); !settled) return Err{std::move(settled).error()};
    if (Result<Unit> covered = check_method_covers(method, option, inputs); !covered) {
        return Err{std::move(covered).error()};
    }
    return Pricer(method, option, market.dividends.entries(), inputs)(*sigma);
}

}  // namespace vorel
