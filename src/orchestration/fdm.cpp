#include "orchestration/fdm.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/panic.hpp"
#include "core/period/day_count.hpp"
#include "math/interpolate/monotone_cubic.hpp"
#include "methods/finite_difference/boundary_conditions/neumann_standard.hpp"
#include "methods/finite_difference/fdm_process.hpp"
#include "methods/finite_difference/grids/fitted.hpp"
#include "methods/finite_difference/grids/uniform.hpp"
#include "methods/stepping_scheme/linear.hpp"
#include "methods/stepping_scheme/post_projection.hpp"
#include "methods/time_stepping/tr_bdf2.hpp"

namespace vorel {
namespace {

struct Inputs {
    const VanillaOption& option;
    const FdmConfig& config;
    std::span<const Dividend> dividends;
    const FdmSchedule& schedule;
    double spot;
};

void write_payoff(const VanillaOption& option, const FdmGrid& grid, std::span<double> values) {
    const double k = option.strike;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double s = grid.spot[i];
        if (option.option_type == OptionType::Put) {
            values[i] = k > s ? k - s : 0.0;
        } else {
            values[i] = s > k ? s - k : 0.0;
        }
    }
}

// The amount of the first listed dividend whose ex-date is the stop `t`;
// nothing when it does not pay (zero, negative or NaN). Stops are the
// dividends' own times, so they are matched exactly: two ex-dates a few
// seconds apart are two stops, each paying its own amount.
std::optional<double> dividend_at(const Inputs& in, double t) {
    for (std::size_t i = 0; i < in.dividends.size(); ++i) {
        if (in.schedule.dividend_times[i] == t) {
            const double amount = in.dividends[i].amount;
            if (amount > 0.0) return amount;
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// Price, delta and gamma from the monotone cubic through the final values,
// theta from the one through their image, both over the nodes' mapped spots.
PricingResult read_out(const FdmGrid& grid, TrBdf2Workspace& workspace, double spot) {
    const std::size_t n = grid.size();
    const std::span<double> spare = workspace.spare();
    const std::span<double> xs = spare.first(n);
    const std::span<double> sweep = spare.subspan(n, 2 * n);
    for (std::size_t i = 0; i < n; ++i) xs[i] = grid.mapped[i].spot;
    const InputVectors& state = workspace.state();

    const auto u = MonotoneCubicInterpolator::read_at(xs, state.values(), spot, true, sweep);
    if (!u) panic(std::string("Spline failed in continuation region: ") + debug_text(u.error()));
    const auto v = MonotoneCubicInterpolator::read_at(xs, state.images(), spot, false, sweep);
    if (!v) panic(std::string("Spline failed in continuation region: ") + debug_text(v.error()));

    PricingResult result;
    result.price = u->value;
    result.delta = u->derivative;
    result.gamma = u->second_derivative;
    // The image is ∂V/∂τ (τ the time to expiry); calendar time runs the other way.
    result.theta = -v->value;
    return result;
}

template <class Scheme>
PricingResult march(Scheme& scheme, const Inputs& in) {
    TrBdf2Workspace workspace(scheme.discretisation().size());
    bool started = false;

    double t_cur = in.schedule.t;
    for (const double t_stop : in.schedule.stops) {
        const double length = t_cur - t_stop;
        if (length <= 0.0) continue;  // a repeated ex-date
        const std::uint64_t steps = interval_steps(length, in.schedule.t, in.config.time_steps);
        const double dt = length / static_cast<double>(steps);
        if (!started) {
            write_payoff(in.option, scheme.discretisation().grid(), workspace.state().values());
            scheme.initialise(workspace.state());
            started = true;
        }
        for (std::uint64_t k = 0; k < steps; ++k) workspace.step(scheme, dt);
        t_cur = t_stop;

        if (t_cur > 0.0) {
            // Just before the ex-date the value at S equals the value at S − D
            // just after it: each node keeps its value and moves up by D.
            if (const std::optional<double> amount = dividend_at(in, t_cur)) {
                FdmDiscretisation& disc = scheme.discretisation();
                disc.replace_grid(shifted(disc.grid(), *amount));
                scheme.reset_after_shift(workspace.state());
            }
        }
    }
    if (!started) panic("Solver never ran");
    return read_out(scheme.discretisation().grid(), workspace, in.spot);
}

}  // namespace

std::uint64_t interval_steps(double length, double t, std::uint64_t time_steps) noexcept {
    const double rounded = std::round(length / t * static_cast<double>(time_steps));  // halves away from zero
    if (!(rounded >= 1.0)) return 1;  // zero, negative and NaN
    if (rounded >= 18446744073709551616.0) return UINT64_MAX;
    return static_cast<std::uint64_t>(rounded);
}

FdmSchedule fdm_schedule(const VanillaOption& option, std::span<const Dividend> dividends,
                         const ValuationTime& valuation_time) {
    const Instant at = valuation_time.to_instant();
    FdmSchedule schedule{years_to_expiry(option, at), std::vector<double>(dividends.size()), {}};
    schedule.stops.reserve(dividends.size() + 1);
    for (std::size_t i = 0; i < dividends.size(); ++i) {
        const double t = year_fraction(at, dividends[i].ex_date.to_instant(), DayCountConvention::actual_365_fixed());
        schedule.dividend_times[i] = t;
        if (t > 0.0 && t < schedule.t) schedule.stops.push_back(t);
    }
    std::sort(schedule.stops.begin(), schedule.stops.end(), std::greater<>());
    schedule.stops.push_back(0.0);
    return schedule;
}

PricingResult price_fdm(const VanillaOption& option, std::span<const Dividend> dividends, const FdmSchedule& schedule,
                        const FdmConfig& config, double spot, double sigma, double r, double q) {
    if (schedule.dividend_times.size() != dividends.size()) panic("the schedule was made for other dividends");
    const Inputs inputs{option, config, dividends, schedule, spot};
    FdmGrid grid = uniform_grid(option.strike, sigma, schedule.t, config, spot);
    const FdmProcess process{r, q, sigma};
    const NeumannStandard boundary = NeumannStandard::for_option(option.option_type);
    if (option.exercise_style == ExerciseStyle::European) {
        LinearScheme scheme(std::move(grid), process, boundary);
        return march(scheme, inputs);
    }
    const double phi = option.option_type == OptionType::Call ? 1.0 : -1.0;
    PostProjectionScheme scheme(std::move(grid), process, boundary, option.strike, phi);
    return march(scheme, inputs);
}

PricingResult price_fdm(const VanillaOption& option, std::span<const Dividend> dividends,
                        const ValuationTime& valuation_time, const FdmConfig& config, double spot, double sigma,
                        double r, double q) {
    return price_fdm(option, dividends, fdm_schedule(option, dividends, valuation_time), config, spot, sigma, r, q);
}

}  // namespace vorel
