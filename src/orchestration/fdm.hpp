#pragma once
// The finite-difference engine for vanilla options, European or American, with
// discrete cash dividends: TR-BDF2 backwards from expiry on a transformed spot
// grid, the grid shifted by the amount at each ex-date, price and Greeks read
// from monotone cubic splines through the final values and their image.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/error.hpp"
#include "core/period/instant.hpp"
#include "instruments/pricing_result.hpp"
#include "instruments/vanilla_option.hpp"
#include "market/dividend.hpp"
#include "methods/finite_difference/fdm_config.hpp"
#include "methods/finite_difference/grids/fdm_grid.hpp"

namespace vorel {

// One pause of the march: an ex-date, with what is paid there and what is
// still to be paid at the earlier ones.
struct FdmStop {
    double t;       // years after the valuation
    double amount;  // the first listed dividend of this ex-date when it pays (is positive), else 0
    // What the stops after this one (the earlier ex-dates) pay, as the march
    // counts it down: the amounts of all stops summed in this order, less
    // each one down to this one's.
    double paid_before;
};

// What a pricing needs of the dates, whatever the volatility: the years to
// expiry and where the march pauses, each pause with its payment worked out,
// so that the march does a fixed amount of work per stop besides its grid's.
struct FdmSchedule {
    double t;
    std::size_t dividends;       // the number of dividends it was made for
    std::vector<FdmStop> stops;  // the distinct ex-dates strictly inside (0, t), decreasing, then 0 (no payment)
    bool amounts_finite;         // no stop pays an infinite amount
};

// Sorts the ex-dates once: O(n log n) in the number of dividends.
FdmSchedule fdm_schedule(const VanillaOption& option, std::span<const Dividend> dividends, const Instant& at);

// Refuses settings that cannot give a grid, before any work: InvalidInput when
// grid_std_devs is not a positive number, a sinh transform's alpha is not
// positive and finite, or there are fewer than 3 nodes; TooLarge when what
// a pricing with `dividends` dividends would hold at once exceeds this
// machine's memory or this process's soft limit on it (RLIMIT_AS, RLIMIT_DATA).
Result<Unit> check_fdm_settings(const FdmConfig& config, std::size_t dividends);

// The memory a working set is measured against.
struct MemoryCeiling {
    std::uint64_t bytes;
    bool process_limit;  // a resource limit of this process, not the machine's memory
};
MemoryCeiling memory_ceiling() noexcept;

// The same checks against a given ceiling.
Result<Unit> check_fdm_settings(const FdmConfig& config, std::size_t dividends, const MemoryCeiling& ceiling);

// Prices on a schedule made for the same option and dividends (a root search
// makes it once for all its trial volatilities); panics on one made for a
// different number of dividends. The settings are those check_fdm_settings
// accepts (below 3 nodes the operator panics).
//
// Errors: InvalidInput "finite differences need a positive volatility, got {}"
// for σ ≤ 0; InvalidInput "the finite-difference solve met a zero or non-finite
// pivot" when every number it was given (spot, σ, r, q, strike and the amounts
// paid) is finite and a factorisation still met one (a non-finite input gives
// the NaN or infinite values it leads to instead); Error::interrupted() when
// the interrupt poll (core/interrupt.hpp) says stop.
//
// Vega and rho are absent. Panics: "TridiagonalOperator requires at least 3
// elements, found {n}", "Solver never ran" (nothing to march: T ≤ 0), "Spline
// failed in continuation region: {error}".
Result<PricingResult> price_fdm(const VanillaOption& option, std::span<const Dividend> dividends,
                                const FdmSchedule& schedule, const FdmConfig& config, double spot, double sigma,
                                double r, double q);

// Pieces of the march that the lane engine (orchestration/fdm_lanes.hpp) runs
// for each option on its own, so that both engines do the same operations.

// The lowest spot the march must still cover just before the ex-date `t`
// years after the valuation, `paid_before` still to be paid at earlier ones;
// NaN unless the spot is finite and positive.
double fdm_lowest_needed(double spot, double sigma, double drift, double grid_std_devs, double t,
                         double paid_before) noexcept;

// The grid just before the ex-date of a dividend `amount` on a grid of
// `spots` (and `transform`) holding values `u` just after it: the grid moved up
// by the amount, or a fresh one reaching down to `lowest` with `u` remapped onto
// it in place. `flatten_low` tells whether the lowest node's value is flat from
// then on. Panics "Spline failed in continuation region: {error}".
FdmGrid fdm_grid_after_dividend(const Transform& transform, std::span<const double> spots, std::span<double> u,
                                double amount, double lowest, bool& flatten_low);

// Price, delta, gamma and theta at `spot` from the final values and their
// operator image on nodes at `spots`; `sweep` holds 2·n values. Panics "Spline
// failed in continuation region: {error}".
PricingResult fdm_read_out(std::span<const double> spots, std::span<const double> values,
                           std::span<const double> images, double spot, std::span<double> sweep);

// An American reading below the exercise value max(φ·(S − K), 0) becomes it.
void fdm_floor_at_exercise(double phi, double strike, PricingResult& result, double spot) noexcept;

// The error of a factorisation that met a zero or non-finite pivot.
Error fdm_bad_pivot_error();

// Step k's share of an interval stepped from expiry (the opening pair of
// implicit Euler steps counted as one).
double fdm_step_share(std::uint64_t k) noexcept;

// The number of steps for an interval of `length` years out of `t`, given
// `time_steps` over the whole life: the nearest integer (halves away from zero,
// negative as 0), at least 1.
std::uint64_t interval_steps(double length, double t, std::uint64_t time_steps) noexcept;

}  // namespace vorel
