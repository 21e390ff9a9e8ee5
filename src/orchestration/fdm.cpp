#include "orchestration/fdm.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <limits>
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
    double sigma;
    double drift;  // r − q
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

// The lowest spot the march must still cover just before the ex-date `t`
// years after the valuation: the spot's paths over those years with the room
// the grid gave them at the start, less the dividends paid before. Not a
// number when the spot is not a usable one.
double lowest_needed(const Inputs& in, double t, double paid_before) {
    if (!(std::isfinite(in.spot) && in.spot > 0.0)) return std::numeric_limits<double>::quiet_NaN();
    const LogRange reach = spot_range(in.spot, in.sigma, t, in.config.grid_std_devs, in.drift);
    return std::exp(reach.lo) - paid_before;
}

// The grid through the ex-date of a dividend `amount`: just before it the value
// at S equals the value at S − D just after it. Each node keeps its value and
// moves up by D, exactly, unless that leaves spots the march still needs below
// the grid (`lowest` and up) or runs nodes together (a node far below D adds
// nothing to it). Then a fresh grid spans `lowest` (nearly zero spot at the
// least) to the moved top, its nodes placed as at the start, and takes its
// values from the old grid at max(S − D, 0), below the old bottom along the
// end slope (the prescribed delta); a bottom node at or below D, whose stock is
// left with nothing, has a flat value from then on.
void pay_dividend(FdmDiscretisation& disc, TrBdf2Workspace& workspace, double amount, double lowest) {
    FdmGrid moved = shifted(disc.grid(), amount);
    const std::vector<double>& spots = moved.spot;
    const bool distinct = std::adjacent_find(spots.begin(), spots.end(), std::greater_equal<>()) == spots.end();
    if (distinct && !(spots.front() > lowest)) {
        disc.replace_grid(std::move(moved));
        return;
    }
    // Zero spot itself has no coordinate; a millionth of the moved bottom
    // stands for it.
    const double least = 1e-6 * spots.front();
    const double bottom = lowest > least ? lowest : least;
    FdmGrid fresh = uniform_grid(disc.grid().transform, {std::log(bottom), std::log(spots.back())}, spots.size());
    fresh.variant = FdmGrid::Variant::Fitted;

    const std::vector<double>& old_spot = disc.grid().spot;
    const std::span<double> u = workspace.state().values();
    const auto old = MonotoneCubicInterpolator::create(share(old_spot), share({u.begin(), u.end()}));
    if (!old) panic(std::string("Spline failed in continuation region: ") + debug_text(old.error()));
    const double slope = (u[1] - u[0]) / (old_spot[1] - old_spot[0]);
    const double u0 = u[0];
    for (std::size_t i = 0; i < u.size(); ++i) {
        const double s = std::max(fresh.spot[i] - amount, 0.0);
        u[i] = s < old_spot.front() ? u0 + (s - old_spot.front()) * slope : old->evaluate(s);
    }
    if (!(fresh.spot.front() > amount)) disc.flatten_low_end();
    disc.replace_grid(std::move(fresh));
}

// Price, delta and gamma from the monotone cubic through the final values,
// theta from the one through their image, both over the nodes' spots.
PricingResult read_out(const FdmGrid& grid, TrBdf2Workspace& workspace, double spot) {
    const std::span<const double> xs = grid.spot;
    const std::span<double> sweep = workspace.spare().first(2 * grid.size());
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

void floor_at_exercise(const LinearScheme&, PricingResult&, double) noexcept {}

// An American reading below the exercise value (the cubic through the nodes
// can dip below the payoff's line between two nodes that sit on it) is the
// exercise value, with the payoff's delta and neither gamma nor theta.
void floor_at_exercise(const PostProjectionScheme& scheme, PricingResult& result, double spot) noexcept {
    const double e = scheme.exercise_value(spot);
    if (!(result.price < e)) return;
    result.price = e;
    result.delta = scheme.exercise_delta(spot);
    result.gamma = 0.0;
    result.theta = 0.0;
}

// Step k's share of a graded interval: 2k + 1 rounded to the nearest power of
// two by ratio (2^p, or 2^(p+1) from 2^p·√2 up).
double graded_units(std::uint64_t k) noexcept {
    const double odd = 2.0 * static_cast<double>(k) + 1.0;
    const double power = static_cast<double>(std::bit_floor(2 * k + 1));
    return odd * odd >= 2.0 * power * power ? 2.0 * power : power;
}

// `steps` equal TR-BDF2 steps through an interval of `length` years that
// starts `tau` years before expiry.
template <class Scheme>
void step_evenly(TrBdf2Workspace& workspace, Scheme& scheme, double length, std::uint64_t steps, double tau) {
    const double dt = length / static_cast<double>(steps);
    for (std::uint64_t k = 0; k < steps; ++k) workspace.step(scheme, dt, tau + dt * static_cast<double>(k));
}

// `steps` steps through the interval of `length` years that ends at expiry.
// An American exercise boundary leaves the strike as the square root of the
// time to expiry, which equal steps follow only to first order: here the steps
// lengthen with the time already stepped (step k about (2k + 1)/steps² of the
// interval, node k near length·(k/steps)²), each length rounded to a power of
// two of the shortest so that a run of equal steps shares one factorisation
// (about log2(2·steps) in all). The first step, from the payoff's kink, is two
// implicit Euler steps, which damp it; each is as long as the implicit part of
// the next TR-BDF2 stages (a of the second step's length), so they share that
// factorisation too. European exercise takes the same steps, so that an
// American option that is never exercised early prices as the European one.
template <class Scheme>
void step_from_expiry(TrBdf2Workspace& workspace, Scheme& scheme, double length, std::uint64_t steps) {
    // The opening Euler steps are as long as the second step's implicit part.
    const auto share = [](std::uint64_t k) { return k > 0 ? graded_units(k) : 2.0 * tr_bdf2::kA * graded_units(1); };
    double total = 0.0;
    for (std::uint64_t k = 0; k < steps; ++k) total += share(k);
    const double unit = length / total;
    double from = 0.0;
    for (std::uint64_t k = 0; k < steps; ++k) {
        const double dt = k + 1 == steps ? length - from : unit * share(k);
        if (k == 0) {
            workspace.implicit_euler_step(scheme, 0.5 * dt, 0.0);
            workspace.implicit_euler_step(scheme, 0.5 * dt, 0.5 * dt);
        } else {
            workspace.step(scheme, dt, from);
        }
        from += dt;
    }
}

template <class Scheme>
void step_interval(TrBdf2Workspace& workspace, Scheme& scheme, double length, std::uint64_t steps, double tau) {
    if (tau == 0.0) return step_from_expiry(workspace, scheme, length, steps);
    step_evenly(workspace, scheme, length, steps, tau);
}

template <class Scheme>
PricingResult march(Scheme& scheme, const Inputs& in) {
    TrBdf2Workspace workspace(scheme.discretisation().size());
    bool started = false;

    // What the dividends not yet paid in the march (those before the current
    // stop) come to.
    double paid_before = 0.0;
    for (double t = in.schedule.t; const double t_stop : in.schedule.stops) {
        if (t_stop < t && t_stop > 0.0) paid_before += dividend_at(in, t_stop).value_or(0.0);
        t = t_stop;
    }

    double t_cur = in.schedule.t;
    for (const double t_stop : in.schedule.stops) {
        const double length = t_cur - t_stop;
        if (length <= 0.0) continue;  // a repeated ex-date
        const std::uint64_t steps = interval_steps(length, in.schedule.t, in.config.time_steps);
        if (!started) {
            write_payoff(in.option, scheme.discretisation().grid(), workspace.state().values());
            scheme.initialise(workspace.state());
            started = true;
        }
        step_interval(workspace, scheme, length, steps, in.schedule.t - t_cur);
        t_cur = t_stop;

        if (t_cur > 0.0) {
            if (const std::optional<double> amount = dividend_at(in, t_cur)) {
                paid_before -= *amount;
                pay_dividend(scheme.discretisation(), workspace, *amount, lowest_needed(in, t_cur, paid_before));
                scheme.reset_after_shift(workspace.state());
            }
        }
    }
    if (!started) panic("Solver never ran");
    PricingResult result = read_out(scheme.discretisation().grid(), workspace, in.spot);
    floor_at_exercise(scheme, result, in.spot);
    return result;
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
    const Inputs inputs{option, config, dividends, schedule, spot, sigma, r - q};
    FdmGrid grid = uniform_grid(option.strike, sigma, schedule.t, config, spot, r - q);
    const FdmProcess process{r, q, sigma};
    const double phi = option.option_type == OptionType::Call ? 1.0 : -1.0;
    const NeumannStandard boundary = NeumannStandard::vanilla(phi, q);
    if (option.exercise_style == ExerciseStyle::European) {
        LinearScheme scheme(std::move(grid), process, boundary);
        return march(scheme, inputs);
    }
    PostProjectionScheme scheme(std::move(grid), process, boundary, option.strike, phi);
    return march(scheme, inputs);
}

PricingResult price_fdm(const VanillaOption& option, std::span<const Dividend> dividends,
                        const ValuationTime& valuation_time, const FdmConfig& config, double spot, double sigma,
                        double r, double q) {
    return price_fdm(option, dividends, fdm_schedule(option, dividends, valuation_time), config, spot, sigma, r, q);
}

}  // namespace vorel
