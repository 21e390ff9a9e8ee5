#include "execution/implied_vol.hpp"

#include "execution/valuation.hpp"

namespace vorel {

Result<double> implied_vol_solve(const VanillaOption& option, const MarketFrameData& market,
                                 std::optional<Instant> at, const Config& config, std::optional<double> target) {
    if (Result<Unit> checked = check_conventions(market); !checked) return Err{std::move(checked).error()};
    if (!target) return Err{Error::value("Target price must be set before calling solve().")};
    const MarketInputs inputs = market_inputs(option, market, at ? *at : now_utc());
    const PricingMethod& method = method_for(config, option.exercise_style, option.option_type);
    const Pricer pricer(method, option, market.dividends.entries(), inputs);
    const auto price = [&](double sigma) { return pricer(sigma).price; };

    const SolverSetting& solver = config.solver;
    if (solver.kind == SolverSetting::Kind::Bisection) {
        return bisection(price, *target, solver.tolerance, solver.max_iterations);
    }
    const double goal = *target;
    return brent([&](double sigma) { return price(sigma) - goal; }, solver.tolerance, solver.max_iterations);
}

}  // namespace vorel
