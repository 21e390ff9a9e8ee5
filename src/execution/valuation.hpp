#pragma once
// The valuation road: checks on the market data, the inputs read from it, the
// engine a method selects, and one whole valuation.

#include <optional>
#include <span>

#include "core/error.hpp"
#include "core/period/instant.hpp"
#include "execution/price_bounds.hpp"
#include "execution/pricing_policy.hpp"
#include "instruments/pricing_result.hpp"
#include "instruments/vanilla_option.hpp"
#include "market/dividend.hpp"
#include "market/market_frame.hpp"
#include "orchestration/fdm.hpp"

namespace vorel {

// The rate curve and the volatility surface must count days the same way (an
// interpolated rate curve's pillars all one way).
Result<Unit> check_conventions(const MarketFrameData& market);

// The finite-difference settings a method selects, checked before any work
// (check_fdm_settings); nothing to check for the closed form.
Result<Unit> check_method(const PricingMethod& method, const MarketFrameData& market);

// What the engines read from the market for one option at one instant.
struct MarketInputs {
    Instant valuation_time;
    double t;      // years to expiry, Actual/365 Fixed
    double spot;
    double r;      // continuously compounded: the rate curve's discount factor is e^(−r·t)
    double q;      // likewise from the borrow curve, 0 without one
};

MarketInputs market_inputs(const VanillaOption& option, const MarketFrameData& market, const Instant& at);

// The surface's volatility at the option's strike and expiry; a negative one is refused.
Result<double> surface_volatility(const VanillaOption& option, const MarketFrameData& market,
                                  const MarketInputs& inputs);

// The closed form cannot price an American option whose rate is below its
// yield; every other (method, option) pair passes.
Result<Unit> check_method_covers(const PricingMethod& method, const VanillaOption& option,
                                 const MarketInputs& inputs);

// What a finite-difference pricing of an option fixes before any volatility:
// where its march pauses, and the bounds its prices are kept within.
struct FdmPlan {
    FdmSchedule schedule;
    PriceBounds bounds;
};

FdmPlan fdm_plan(const VanillaOption& option, std::span<const Dividend> dividends, const MarketInputs& inputs);

// A price from finite differences kept within its plan's bounds; errors pass through.
Result<PricingResult> within_plan(Result<PricingResult> result, const FdmPlan& plan);

// Prices one option on fixed market inputs, at any volatility, by the engine
// `method` selects: the closed form (no dividends; as if European) or finite
// differences with the method's settings. What does not depend on the
// volatility is worked out once, when the pricer is made.
class Pricer {
public:
    Pricer(const PricingMethod& method, const VanillaOption& option, std::span<const Dividend> dividends,
           const MarketInputs& inputs);

    // The finite-difference engine's errors pass through (see price_fdm).
    Result<PricingResult> operator()(double sigma) const;

private:
    const VanillaOption& option_;
    std::span<const Dividend> dividends_;
    const MarketInputs& inputs_;
    std::optional<FdmConfig> fdm_;
    std::optional<FdmPlan> plan_;
};

// Checks the conventions, fixes the instant (`at`, else the clock), reads the
// inputs and prices by the configured method. Refuses a negative volatility,
// finite-difference settings that check_fdm_settings refuses (before any
// work), and the closed form refuses an American option whose rate is below
// its yield, which it cannot price.
Result<PricingResult> value_option(const VanillaOption& option, const MarketFrameData& market, const Config& config,
                                   std::optional<Instant> at);

}  // namespace vorel
