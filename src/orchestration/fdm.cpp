#include "orchestration/fdm.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/format.hpp"
#include "core/interrupt.hpp"
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
    const FdmSchedule& schedule;
    double spot;
    double sigma;
    double drift;  // r − q
    bool finite;   // every number given is finite: a bad pivot is then the engine's failure
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

double lowest_needed(const Inputs& in, double t, double paid_before) {
    return fdm_lowest_needed(in.spot, in.sigma, in.drift, in.config.grid_std_devs, t, paid_before);
}

void pay_dividend(FdmDiscretisation& disc, TrBdf2Workspace& workspace, double amount, double lowest) {
    bool flatten_low = false;
    FdmGrid next = fdm_grid_after_dividend(disc.grid().transform, disc.grid().spot, workspace.state().values(),
                                           amount, lowest, flatten_low);
    if (flatten_low) disc.flatten_low_end();
    disc.replace_grid(std::move(next));
}

PricingResult read_out(const FdmGrid& grid, TrBdf2Workspace& workspace, double spot) {
    const InputVectors& state = workspace.state();
    return fdm_read_out(grid.spot, state.values(), state.images(), spot, workspace.spare().first(2 * grid.size()));
}

void floor_at_exercise(const LinearScheme&, PricingResult&, double) noexcept {}

void floor_at_exercise(const PostProjectionScheme& scheme, PricingResult& result, double spot) noexcept {
    fdm_floor_at_exercise(scheme.phi(), scheme.strike(), result, spot);
}

// Step k's share of a graded interval: 2k + 1 rounded to the nearest power of
// two by ratio (2^p, or 2^(p+1) from 2^p·√2 up).
double graded_units(std::uint64_t k) noexcept {
    const double odd = 2.0 * static_cast<double>(k) + 1.0;
    const double power = static_cast<double>(std::bit_floor(2 * k + 1));
    return odd * odd >= 2.0 * power * power ? 2.0 * power : power;
}

// What ends a march early: the host's interrupt poll, asked once per
// InterruptCounter::kUnits units of work (a step costs one per node), and a
// factorisation that met a bad pivot when every input was finite (a NaN or
// infinite input leads to NaN or infinite values, which stand as its result).
class Watch {
public:
    explicit Watch(bool pivots_checked) noexcept : pivots_checked_(pivots_checked) {}

    // After `units` of work on `scheme`: the reason to stop, if it is time to
    // look and there is one.
    template <class Scheme>
    std::optional<Error> after(std::uint64_t units, const Scheme& scheme) {
        if (!counter_.due(units)) return std::nullopt;
        if (std::optional<Error> bad = pivots(scheme)) return bad;
        if (interrupt_requested()) return Error::interrupted();
        return std::nullopt;
    }

    // The bad-pivot error, if a factorisation on the scheme's current grid met one.
    template <class Scheme>
    std::optional<Error> pivots(const Scheme& scheme) const {
        if (!(pivots_checked_ && scheme.discretisation().op().met_bad_pivot())) return std::nullopt;
        return fdm_bad_pivot_error();
    }

private:
    bool pivots_checked_;
    InterruptCounter counter_;
};

// `steps` equal TR-BDF2 steps through an interval of `length` years that
// starts `tau` years before expiry.
template <class Scheme>
Result<Unit> step_evenly(TrBdf2Workspace& workspace, Scheme& scheme, double length, std::uint64_t steps, double tau,
                         Watch& watch) {
    const double dt = length / static_cast<double>(steps);
    const std::uint64_t nodes = workspace.state().nodes();
    for (std::uint64_t k = 0; k < steps; ++k) {
        workspace.step(scheme, dt, tau + dt * static_cast<double>(k));
        if (std::optional<Error> stop = watch.after(nodes, scheme)) return Err{std::move(*stop)};
    }
    return Unit{};
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
//
// The shares are summed one by one, in order (a closed form would round
// differently), which costs a unit of work each: a huge step count can be
// interrupted before its first step.
template <class Scheme>
Result<Unit> step_from_expiry(TrBdf2Workspace& workspace, Scheme& scheme, double length, std::uint64_t steps,
                              Watch& watch) {
    const auto share = [](std::uint64_t k) { return fdm_step_share(k); };
    double total = 0.0;
    for (std::uint64_t k = 0; k < steps; ++k) {
        total += share(k);
        if (std::optional<Error> stop = watch.after(1, scheme)) return Err{std::move(*stop)};
    }
    const double unit = length / total;
    const std::uint64_t nodes = workspace.state().nodes();
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
        if (std::optional<Error> stop = watch.after(nodes, scheme)) return Err{std::move(*stop)};
    }
    return Unit{};
}

template <class Scheme>
Result<Unit> step_interval(TrBdf2Workspace& workspace, Scheme& scheme, double length, std::uint64_t steps,
                           double tau, Watch& watch) {
    if (tau == 0.0) return step_from_expiry(workspace, scheme, length, steps, watch);
    return step_evenly(workspace, scheme, length, steps, tau, watch);
}

template <class Scheme>
Result<PricingResult> march(Scheme& scheme, const Inputs& in) {
    TrBdf2Workspace workspace(scheme.discretisation().size());
    Watch watch(in.finite);
    bool started = false;

    double t_cur = in.schedule.t;
    for (const FdmStop& stop : in.schedule.stops) {
        const double length = t_cur - stop.t;
        if (length <= 0.0) continue;  // at or after expiry: nothing to march
        const std::uint64_t steps = interval_steps(length, in.schedule.t, in.config.time_steps);
        if (!started) {
            write_payoff(in.option, scheme.discretisation().grid(), workspace.state().values());
            scheme.initialise(workspace.state());
            started = true;
        }
        if (Result<Unit> stepped = step_interval(workspace, scheme, length, steps, in.schedule.t - t_cur, watch);
            !stepped) {
            return Err{std::move(stepped).error()};
        }
        // Before a dividend replaces the operator that met it.
        if (std::optional<Error> bad = watch.pivots(scheme)) return Err{std::move(*bad)};
        t_cur = stop.t;

        if (t_cur > 0.0 && stop.amount > 0.0) {
            pay_dividend(scheme.discretisation(), workspace, stop.amount, lowest_needed(in, t_cur, stop.paid_before));
            scheme.reset_after_shift(workspace.state());
        }
    }
    if (!started) panic("Solver never ran");
    PricingResult result = read_out(scheme.discretisation().grid(), workspace, in.spot);
    floor_at_exercise(scheme, result, in.spot);
    return result;
}

}  // namespace

// The lowest spot the march must still cover just before the ex-date `t`
// years after the valuation: the spot's paths over those years with the room
// the grid gave them at the start, less the dividends paid before. Not a
// number when the spot is not a usable one.
double fdm_lowest_needed(double spot, double sigma, double drift, double grid_std_devs, double t,
                         double paid_before) noexcept {
    if (!(std::isfinite(spot) && spot > 0.0)) return std::numeric_limits<double>::quiet_NaN();
    const LogRange reach = spot_range(spot, sigma, t, grid_std_devs, drift);
    return std::exp(reach.lo) - paid_before;
}

// The grid through the ex-date of a dividend `amount`: just before it the value
// at S equals the value at S − D just after it. Each node keeps its value and
// moves up by D, exactly, unless that leaves spots the march still needs below
// the grid (`lowest` and up) or runs nodes together (a node far below D adds
// nothing to it; nodes whose spots still differ can share a coordinate, in
// which the operator takes its differences). Then a fresh grid spans `lowest`
// (nearly zero spot at the least) to the moved top, its nodes placed as at
// the start, and takes its values from the old grid at max(S − D, 0), below
// the old bottom along the end slope (the prescribed delta); a bottom node at
// or below D, whose stock is left with nothing, has a flat value from then on.
FdmGrid fdm_grid_after_dividend(const Transform& transform, std::span<const double> old_spot, std::span<double> u,
                                double amount, double lowest, bool& flatten_low) {
    FdmGrid moved = shifted(transform, old_spot, amount);
    const std::vector<double>& xs = moved.x;
    const bool distinct = std::adjacent_find(xs.begin(), xs.end(), std::greater_equal<>()) == xs.end();
    if (distinct && !(moved.spot.front() > lowest)) {
        flatten_low = false;
        return moved;
    }
    // Zero spot itself has no coordinate; a millionth of the moved bottom
    // stands for it.
    const double least = 1e-6 * moved.spot.front();
    const double bottom = lowest > least ? lowest : least;
    FdmGrid fresh = uniform_grid(transform, {std::log(bottom), std::log(moved.spot.back())}, moved.size());
    fresh.variant = FdmGrid::Variant::Fitted;

    const auto old = MonotoneCubicInterpolator::create(share({old_spot.begin(), old_spot.end()}),
                                                       share({u.begin(), u.end()}));
    if (!old) panic(std::string("Spline failed in continuation region: ") + debug_text(old.error()));
    const double slope = (u[1] - u[0]) / (old_spot[1] - old_spot[0]);
    const double u0 = u[0];
    for (std::size_t i = 0; i < u.size(); ++i) {
        const double s = std::max(fresh.spot[i] - amount, 0.0);
        u[i] = s < old_spot.front() ? u0 + (s - old_spot.front()) * slope : old->evaluate(s);
    }
    flatten_low = !(fresh.spot.front() > amount);
    return fresh;
}

// Price, delta and gamma from the monotone cubic through the final values,
// theta from the one through their image, both over the nodes' spots.
PricingResult fdm_read_out(std::span<const double> spots, std::span<const double> values,
                           std::span<const double> images, double spot, std::span<double> sweep) {
    const auto u = MonotoneCubicInterpolator::read_at(spots, values, spot, true, sweep);
    if (!u) panic(std::string("Spline failed in continuation region: ") + debug_text(u.error()));
    const auto v = MonotoneCubicInterpolator::read_at(spots, images, spot, false, sweep);
    if (!v) panic(std::string("Spline failed in continuation region: ") + debug_text(v.error()));

    PricingResult result;
    result.price = u->value;
    result.delta = u->derivative;
    result.gamma = u->second_derivative;
    // The image is ∂V/∂τ (τ the time to expiry); calendar time runs the other way.
    result.theta = -v->value;
    return result;
}

// An American reading below the exercise value (the cubic through the nodes
// can dip below the payoff's line between two nodes that sit on it) is the
// exercise value, with the payoff's delta and neither gamma nor theta.
void fdm_floor_at_exercise(double phi, double strike, PricingResult& result, double spot) noexcept {
    const double e = exercise_value(phi, strike, spot);
    if (!(result.price < e)) return;
    result.price = e;
    result.delta = exercise_delta(phi, strike, spot);
    result.gamma = 0.0;
    result.theta = 0.0;
}

Error fdm_bad_pivot_error() {
    return Error::invalid_input("the finite-difference solve met a zero or non-finite pivot");
}

// The opening Euler steps are as long as the second step's implicit part.
double fdm_step_share(std::uint64_t k) noexcept {
    return k > 0 ? graded_units(k) : 2.0 * tr_bdf2::kA * graded_units(1);
}

std::uint64_t interval_steps(double length, double t, std::uint64_t time_steps) noexcept {
    const double rounded = std::round(length / t * static_cast<double>(time_steps));  // halves away from zero
    if (!(rounded >= 1.0)) return 1;  // zero, negative and NaN
    if (rounded >= 18446744073709551616.0) return UINT64_MAX;
    return static_cast<std::uint64_t>(rounded);
}

// Stops are the dividends' own times, matched exactly: two ex-dates a few
// seconds apart are two stops, each paying its own amount, and of several
// dividends listed for one ex-date the first pays (when positive) and the
// others are ignored.
FdmSchedule fdm_schedule(const VanillaOption& option, std::span<const Dividend> dividends, const Instant& at) {
    FdmSchedule schedule{years_to_expiry(option, at), dividends.size(), {}, true};

    // The ex-dates inside (0, t) with their places in the list, latest first
    // and, for one ex-date, in list order.
    struct Dated {
        double t;
        std::size_t index;
    };
    std::vector<Dated> inside;
    inside.reserve(dividends.size());
    for (std::size_t i = 0; i < dividends.size(); ++i) {
        const double t = year_fraction(at, dividends[i].ex_date, DayCountConvention::actual_365_fixed());
        if (t > 0.0 && t < schedule.t) inside.push_back({t, i});
    }
    std::sort(inside.begin(), inside.end(),
              [](const Dated& a, const Dated& b) { return a.t > b.t || (a.t == b.t && a.index < b.index); });

    schedule.stops.reserve(inside.size() + 1);
    for (std::size_t k = 0; k < inside.size(); ++k) {
        if (k > 0 && inside[k].t == inside[k - 1].t) continue;
        const double amount = dividends[inside[k].index].amount;
        schedule.stops.push_back({inside[k].t, amount > 0.0 ? amount : 0.0, 0.0});
        if (std::isinf(amount) && amount > 0.0) schedule.amounts_finite = false;
    }
    // What is still to be paid is counted down from the whole, as the march
    // meets the stops.
    double paid_before = 0.0;
    for (const FdmStop& stop : schedule.stops) paid_before += stop.amount;
    for (FdmStop& stop : schedule.stops) {
        paid_before -= stop.amount;
        stop.paid_before = paid_before;
    }
    schedule.stops.push_back({0.0, 0.0, 0.0});
    return schedule;
}

namespace {

// The bytes of everything a pricing allocates per grid node, more than it
// holds at any one time: the grid (spots, coordinates and the map's three
// values), the operator's diagonals and its factorisations in both
// directions, the march's workspace and the exercise values. Through a
// dividend, on top of these: the moved grid and the fresh one, the spline
// through the old values (copies of the spots and values, its slopes, second
// derivatives and sweep) and the new operator's diagonals, built while the
// old one stands.
constexpr std::uint64_t kGridBytes = 5 * sizeof(double);
constexpr std::uint64_t kOperatorBytes = 3 * sizeof(double);
constexpr std::uint64_t kNodeBytes =
    kGridBytes + kOperatorBytes + 2 * 3 * sizeof(double) + 7 * sizeof(double) + sizeof(double);
constexpr std::uint64_t kDividendNodeBytes = 2 * kGridBytes + 6 * sizeof(double) + kOperatorBytes;
// Per dividend, the schedule's sorting entry and its stop.
constexpr std::uint64_t kScheduleBytes = 2 * sizeof(double) + sizeof(FdmStop);

// Byte counts past 64 bits: node counts reach 2^64 − 1.
__extension__ using Bytes = unsigned __int128;

std::string decimal(Bytes value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    } while (value != 0);
    return digits;
}

}  // namespace

MemoryCeiling memory_ceiling() noexcept {
    MemoryCeiling ceiling{std::numeric_limits<std::uint64_t>::max(), false};
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGESIZE);
    if (pages > 0 && page_size > 0) {
        const Bytes machine = static_cast<Bytes>(pages) * static_cast<Bytes>(page_size);
        if (machine < ceiling.bytes) ceiling.bytes = static_cast<std::uint64_t>(machine);
    }
    for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        rlimit limit{};
        if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) continue;
        if (limit.rlim_cur < ceiling.bytes) ceiling = {static_cast<std::uint64_t>(limit.rlim_cur), true};
    }
    return ceiling;
}

Result<Unit> check_fdm_settings(const FdmConfig& config, std::size_t dividends) {
    return check_fdm_settings(config, dividends, memory_ceiling());
}

Result<Unit> check_fdm_settings(const FdmConfig& config, std::size_t dividends, const MemoryCeiling& ceiling) {
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    if (!(config.grid_std_devs > 0.0 && config.grid_std_devs < kInfinity)) {
        return Err{Error::invalid_input("grid_std_devs must be a positive number of standard deviations, got " +
                                        format_shortest(config.grid_std_devs))};
    }
    const double alpha = config.transform.alpha;
    if (config.transform.kind == TransformKind::Sinh && !(alpha > 0.0 && alpha < kInfinity)) {
        return Err{
            Error::invalid_input("sinh transform alpha must be positive and finite, got " + format_shortest(alpha))};
    }
    if (config.grid_nodes < 3) {
        return Err{Error::invalid_input("grid_nodes must be at least 3, got " + std::to_string(config.grid_nodes))};
    }
    const Bytes per_node = kNodeBytes + (dividends > 0 ? kDividendNodeBytes : 0);
    const Bytes bytes =
        static_cast<Bytes>(config.grid_nodes) * per_node + static_cast<Bytes>(dividends) * kScheduleBytes;
    if (bytes <= ceiling.bytes) return Unit{};
    const char* limit = ceiling.process_limit ? "this process's memory limit of " : "this machine's memory of ";
    return Err{Error::too_large("the finite-difference working set of " + decimal(bytes) + " bytes exceeds " + limit +
                                decimal(ceiling.bytes) + " bytes")};
}

Result<PricingResult> price_fdm(const VanillaOption& option, std::span<const Dividend> dividends,
                                const FdmSchedule& schedule, const FdmConfig& config, double spot, double sigma,
                                double r, double q) {
    if (schedule.dividends != dividends.size()) panic("the schedule was made for other dividends");
    // No zero-width diffusion: the grid's width is a multiple of σ, and
    // without diffusion the operator's central differences oscillate.
    if (sigma <= 0.0) {
        return Err{
            Error::invalid_input("finite differences need a positive volatility, got " + format_shortest(sigma))};
    }
    const bool finite = std::isfinite(spot) && std::isfinite(sigma) && std::isfinite(r) && std::isfinite(q) &&
                        std::isfinite(option.strike) && schedule.amounts_finite;
    const Inputs inputs{option, config, schedule, spot, sigma, r - q, finite};
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

}  // namespace vorel
