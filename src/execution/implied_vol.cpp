#include "execution/implied_vol.hpp"

#include "execution/valuation.hpp"

namespace vorel {

Result<double> implied_vol_solve(const VanillaOption& option, const MarketFrameData& market,
                                 std::optional<Instant> at, const Config& config, std::optional<double> target) {
    if (Result<Unit> checked = check_conventions(market); !checked) return Err{std::move(checked).error()};
    if (!target) return Err{Error::value("Target price must be set before calling solve().")};
    const MarketInputs inputs = market_inputs(option, market, at ? *at : now_utc());
    const PricingMethod& method = method_for(config, option.exercise_style, option.option_type);
    if (Result<Unit> settled = check_method(method, market); !settled) return Err{std::move(settled).error()};
    const Pricer pricer(method, option, market.dividends.entries(), inputs);
    const auto price = [&](double sigma) -> Result<double> {
        Result<PricingResult> priced = pricer(sigma);
        if (!priced) return Err{std::move(priced).error()};
        return priced->price;
    };

    const SolverSetting& solver = config.solver;
    if (solver.kind == SolverSetting::Kind::Bisection) {
        return bisection(price, *target, solver.tolerance, solver.max_iterations);
    }
    const double goal = *target;
    const auto gap = [&](double sigma) -> Result<double> {
        Result<double> p = price(sigma);
        if (!p) return p;
        return *p - goal;
    };
    return brent(gap, solver.tolerance, solver.max_iterations);
}

}  // namespace vorel
