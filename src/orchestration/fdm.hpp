#pragma once
// The finite-difference engine for vanilla options, European or American, with
// discrete cash dividends: TR-BDF2 backwards from expiry on a transformed spot
// grid, the grid shifted by the amount at each ex-date, price and Greeks read
// from monotone cubic splines through the final values and their image.

#include <span>
#include <vector>

#include "core/period/valuation_time.hpp"
#include "execution/pricing_result.hpp"
#include "instruments/vanilla_option.hpp"
#include "market/dividend.hpp"
#include "methods/finite_difference/fdm_config.hpp"

namespace vorel {

// What a pricing needs of the dates, whatever the volatility: the years to
// expiry and to each ex-date (in list order), and where the march pauses.
struct FdmSchedule {
    double t;
    std::vector<double> dividend_times;
    std::vector<double> stops;  // ex-dates strictly inside (0, t), decreasing, then 0
};

// Panics "not yet implemented" for a valuation time or ex-date of an unknown kind.
FdmSchedule fdm_schedule(const VanillaOption& option, std::span<const Dividend> dividends,
                         const ValuationTime& valuation_time);

// Prices on a schedule made for the same option and dividends (a root search
// makes it once for all its trial volatilities); panics on one made for a
// different number of dividends.
PricingResult price_fdm(const VanillaOption& option, std::span<const Dividend> dividends, const FdmSchedule& schedule,
                        const FdmConfig& config, double spot, double sigma, double r, double q);

// Vega and rho are absent. Panics: "not yet implemented" (a valuation time or
// ex-date of an unknown kind), "TridiagonalOperator requires at least 3
// elements, found {n}", "Solver never ran" (nothing to march: T ≤ 0), "Spline
// failed in continuation region: {error}".
PricingResult price_fdm(const VanillaOption& option, std::span<const Dividend> dividends,
                        const ValuationTime& valuation_time, const FdmConfig& config, double spot, double sigma,
                        double r, double q);

// The number of steps for an interval of `length` years out of `t`, given
// `time_steps` over the whole life: the nearest integer (halves away from zero,
// negative as 0), at least 1.
std::uint64_t interval_steps(double length, double t, std::uint64_t time_steps) noexcept;

}  // namespace vorel
