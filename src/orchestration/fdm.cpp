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

// Two ex-dates closer than this (in years) are the same date.
constexpr double kSameDate = 1e-6;

struct Inputs {
    const VanillaOption& option;
    const FdmConfig& config;
    double t;                                // years to expiry
    std::span<const Dividend> dividends;
    std::span<const double> dividend_times;  // years to each ex-date, in list order
    std::span<const double> stops;           // march pauses, decreasing, ending in 0
    double spot;
};

std::vector<double> payoff(const VanillaOption& option, const FdmGrid& grid) {
    const double k = option.strike;
    std::vector<double> values(grid.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double s = grid.spot[i];
        if (option.option_type == OptionType::Put) {
            values[i] = k > s ? k - s : 0.0;
        } else {
            values[i] = s > k ? s - k : 0.0;
        }
    }
    return values;
}

// The amount of the first listed dividend whose ex-date is `t`; nothing when
// there is none or it does not pay (zero, negative or NaN).
std::optional<double> dividend_at(const Inputs& in, double t) {
    for (std::size_t i = 0; i < in.dividends.size(); ++i) {
        if (std::abs(in.dividend_times[i] - t) < kSameDate) {
            const double amount = in.dividends[i].amount;
            if (amount > 0.0) return amount;
            return std::nullopt;
        }
    }
    return std::nullopt;
}

PricingResult read_out(const FdmGrid& grid, const InputVectors& state, double spot) {
    std::vector<double> spots(grid.size());
    for (std::size_t i = 0; i < spots.size(); ++i) spots[i] = grid.transform.spot(grid.x[i]);
    const SharedArray xs = share(std::move(spots));
    const auto values = state.values();
    const auto images = state.images();
    auto spline_u = MonotoneCubicInterpolator::create(xs, share(std::vector<double>(values.begin(), values.end())));
    if (!spline_u) panic(std::string("Spline failed in continuation region: ") + debug_text(spline_u.error()));
    auto spline_v = MonotoneCubicInterpolator::create(xs, share(std::vector<double>(images.begin(), images.end())));
    if (!spline_v) panic(std::string("Spline failed in continuation region: ") + debug_text(spline_v.error()));

    PricingResult result;
    result.price = spline_u->evaluate(spot);
    result.delta = spline_u->derivative(spot);
    result.gamma = spline_u->second_derivative(spot);
    // The image is ∂V/∂τ (τ the time to expiry); calendar time runs the other way.
    result.theta = -spline_v->evaluate(spot);
    return result;
}

template <class Scheme>
PricingResult march(Scheme& scheme, const Inputs& in) {
    const std::vector<double> initial = payoff(in.option, scheme.discretisation().grid());
    TrBdf2Workspace workspace(scheme.discretisation().size());
    std::optional<InputVectors> state;

    double t_cur = in.t;
    for (const double t_stop : in.stops) {
        const double length = t_cur - t_stop;
        if (length <= 0.0) continue;  // a repeated ex-date
        const std::uint64_t steps = interval_steps(length, in.t, in.config.time_steps);
        const double dt = length / static_cast<double>(steps);
        if (!state) state.emplace(scheme.initialise(initial));
        for (std::uint64_t k = 0; k < steps; ++k) workspace.step(scheme, *state, dt);
        t_cur = t_stop;

        if (t_cur > 0.0) {
            // Just before the ex-date the value at S equals the value at S − D
            // just after it: each node keeps its value and moves up by D.
            if (const std::optional<double> amount = dividend_at(in, t_cur)) {
                FdmDiscretisation& disc = scheme.discretisation();
                disc.replace_grid(shifted(disc.grid(), *amount));
                scheme.reset_after_shift(*state);
            }
        }
    }
    if (!state) panic("Solver never ran");
    return read_out(scheme.discretisation().grid(), *state, in.spot);
}

}  // namespace

std::uint64_t interval_steps(double length, double t, std::uint64_t time_steps) noexcept {
    const double rounded = std::round(length / t * static_cast<double>(time_steps));  // halves away from zero
    if (!(rounded >= 1.0)) return 1;  // zero, negative and NaN
    if (rounded >= 18446744073709551616.0) return UINT64_MAX;
    return static_cast<std::uint64_t>(rounded);
}

PricingResult price_fdm(const VanillaOption& option, std::span<const Dividend> dividends,
                        const ValuationTime& valuation_time, const FdmConfig& config, double spot, double sigma,
                        double r, double q) {
    const Instant at = valuation_time.to_instant();
    const double t = years_to_expiry(option, at);

    std::vector<double> dividend_times(dividends.size());
    std::vector<double> stops;
    stops.reserve(dividends.size() + 1);
    for (std::size_t i = 0; i < dividends.size(); ++i) {
        dividend_times[i] = year_fraction(at, dividends[i].ex_date.to_instant(), DayCountConvention::actual_365_fixed());
        if (dividend_times[i] > 0.0 && dividend_times[i] < t) stops.push_back(dividend_times[i]);
    }
    std::sort(stops.begin(), stops.end(), std::greater<>());
    stops.push_back(0.0);

    const Inputs inputs{option, config, t, dividends, dividend_times, stops, spot};
    FdmGrid grid = uniform_grid(option.strike, sigma, t, config, spot);
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

}  // namespace vorel
