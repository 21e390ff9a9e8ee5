#include "orchestration/fdm_lanes.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/interrupt.hpp"
#include "core/panic.hpp"
#include "math/interpolate/interpolation_error.hpp"
#include "math/interpolate/monotone_cubic.hpp"
#include "methods/finite_difference/boundary_conditions/neumann_standard.hpp"
#include "methods/finite_difference/fdm_process.hpp"
#include "methods/finite_difference/grids/uniform.hpp"
#include "methods/stepping_scheme/post_projection.hpp"
#include "methods/time_stepping/tr_bdf2.hpp"

namespace vorel {

struct FdmLaneWorkspace::Storage {
    std::vector<double> values;
};

FdmLaneWorkspace::FdmLaneWorkspace() noexcept = default;
FdmLaneWorkspace::~FdmLaneWorkspace() = default;
FdmLaneWorkspace::FdmLaneWorkspace(FdmLaneWorkspace&&) noexcept = default;
FdmLaneWorkspace& FdmLaneWorkspace::operator=(FdmLaneWorkspace&&) noexcept = default;

struct FdmLaneAccess {
    static std::vector<double>& values(FdmLaneWorkspace& workspace) {
        if (!workspace.storage_) workspace.storage_ = std::make_unique<FdmLaneWorkspace::Storage>();
        return workspace.storage_->values;
    }
};

namespace {

constexpr std::size_t kMaxWidth = 16;

// Which scheme a group marches: the floor and the direction of elimination
// (towards the end where the holder exercises) follow from it.
enum class Scheme : std::uint8_t { European, AmericanPut, AmericanCall };

enum class LaneStatus : std::uint8_t { Live, BadPivot, Interrupted, Unused };

// Arrays per node and lane, each n·W values with node i's lanes at [i·W, i·W + W).
struct Arrays {
    double* spot;
    double* x;
    double* first;   // S′ at each node
    double* second;  // S″ at each node
    double* lower;
    double* diag;
    double* upper;
    double* eliminated;  // the factorisation, as TridiagonalOperator::Factors holds it
    double* modified;
    double* inv_pivot;
    double* state_u;  // the march state [u ; L·u]
    double* state_v;
    double* stage1_u;
    double* stage1_v;
    double* stage2_u;
    double* stage2_v;
    double* sweep;
    double* exercise;
};
constexpr std::size_t kArrays = sizeof(Arrays) / sizeof(double*);

// A group's state. Per-lane values sit in arrays of kMaxWidth so that the
// kernels load them as vectors.
struct Work {
    std::size_t n = 0;
    std::size_t width = 0;
    Arrays a{};
    alignas(64) double r[kMaxWidth] = {};
    alignas(64) double drift[kMaxWidth] = {};          // r − q
    alignas(64) double half_variance[kMaxWidth] = {};  // ½σ²
    alignas(64) double strike[kMaxWidth] = {};
    alignas(64) double phi[kMaxWidth] = {};
    alignas(64) double factor_c[kMaxWidth] = {};  // the coefficient the factorisation was made for
    bool factor_valid[kMaxWidth] = {};
    bool bad_pivot[kMaxWidth] = {};  // a factorisation on the current grid met one
    LaneStatus status[kMaxWidth] = {};
    NeumannStandard boundary[kMaxWidth] = {};
    NeumannStandard::Ends scale[kMaxWidth] = {};
    InterruptCounter counter;

    bool live(std::size_t lane) const noexcept { return status[lane] == LaneStatus::Live; }
    bool any_live() const noexcept {
        for (std::size_t l = 0; l < width; ++l) {
            if (live(l)) return true;
        }
        return false;
    }
};

// One interval of the march for every lane: its length and where it starts
// (years before expiry); the first interval starts at expiry and is graded.
struct Interval {
    double length[kMaxWidth];
    double tau[kMaxWidth];
    std::uint64_t steps;
    bool from_expiry;
};

enum class Stop : std::uint8_t { Done, Interrupted };

// Vectors of W doubles, and the masks their comparisons give.
typedef double Doubles2 __attribute__((vector_size(16)));
typedef double Doubles4 __attribute__((vector_size(32)));
typedef double Doubles8 __attribute__((vector_size(64)));
template <std::size_t W>
struct Doubles;
template <>
struct Doubles<2> {
    using type = Doubles2;
};
template <>
struct Doubles<4> {
    using type = Doubles4;
};
template <>
struct Doubles<8> {
    using type = Doubles8;
};

// A compiled variant: its width and entry points for each scheme.
struct Entries {
    void (*start)(Work&);
    void (*after_shift)(Work&);
    Stop (*interval)(Work&, const Interval&);
    void (*curvatures)(Work&);
};
struct Variant {
    std::size_t width;
    Entries schemes[3];  // by Scheme
};

// The entry points of one instruction set's kernels, for C chains of vectors
// (make_variant<C>). `flatten` inlines the whole march into them, the
// functions it calls outside the kernel included.
#define VOREL_FDM_LANE_ENTRIES(VECTOR)                                                                          \
    template <std::size_t C, Scheme K>                                                                          \
    __attribute__((flatten)) void start(Work& w) {                                                              \
        Kernel<VECTOR, C, K>::start(w);                                                                         \
    }                                                                                                           \
    template <std::size_t C, Scheme K>                                                                          \
    __attribute__((flatten)) void after_shift(Work& w) {                                                        \
        Kernel<VECTOR, C, K>::after_shift(w);                                                                   \
    }                                                                                                           \
    template <std::size_t C, Scheme K>                                                                          \
    __attribute__((flatten)) Stop interval(Work& w, const Interval& in) {                                       \
        return Kernel<VECTOR, C, K>::interval(w, in);                                                           \
    }                                                                                                           \
    template <std::size_t C>                                                                                    \
    __attribute__((flatten)) void curvatures(Work& w) {                                                         \
        Kernel<VECTOR, C, Scheme::European>::curvatures(w);                                                     \
    }                                                                                                           \
    template <std::size_t C>                                                                                    \
    constexpr Variant make_variant() {                                                                          \
        static_assert(VECTOR * C <= kMaxWidth);                                                                 \
        return {VECTOR * C,                                                                                     \
                {{start<C, Scheme::European>, after_shift<C, Scheme::European>, interval<C, Scheme::European>,  \
                  curvatures<C>},                                                                               \
                 {start<C, Scheme::AmericanPut>, after_shift<C, Scheme::AmericanPut>,                           \
                  interval<C, Scheme::AmericanPut>, curvatures<C>},                                             \
                 {start<C, Scheme::AmericanCall>, after_shift<C, Scheme::AmericanCall>,                         \
                  interval<C, Scheme::AmericanCall>, curvatures<C>}}};                                          \
    }

// Each instruction set's kernel with one chain, for the smallest groups, and
// with as many as pay on a long march: two, and four of SSE2's narrow vectors.
// Any x86-64 machine: SSE2, two lanes a vector.
namespace portable {
#include "methods/time_stepping/tr_bdf2_lanes_kernel.inc"
VOREL_FDM_LANE_ENTRIES(2)
constexpr Variant single = make_variant<1>();
constexpr Variant twin = make_variant<2>();
constexpr Variant quad = make_variant<4>();
}  // namespace portable

#pragma GCC push_options
#pragma GCC target("avx2")
namespace avx2 {
#include "methods/time_stepping/tr_bdf2_lanes_kernel.inc"
VOREL_FDM_LANE_ENTRIES(4)
constexpr Variant single = make_variant<1>();
constexpr Variant twin = make_variant<2>();
}  // namespace avx2
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f")
namespace avx512 {
#include "methods/time_stepping/tr_bdf2_lanes_kernel.inc"
VOREL_FDM_LANE_ENTRIES(8)
constexpr Variant single = make_variant<1>();
constexpr Variant twin = make_variant<2>();
}  // namespace avx512
#pragma GCC pop_options

#undef VOREL_FDM_LANE_ENTRIES

// Every variant, narrowest first, and at equal widths the one of the wider
// instruction set (fewer chains) first: the order in which a group looks for
// the one that holds it, since a variant's march costs the same however few of
// its lanes are used.
struct Offer {
    simd::Level level;
    const Variant* variant;
};
constexpr Offer kOffers[] = {
    {simd::Level::Portable, &portable::single}, {simd::Level::Avx2, &avx2::single},
    {simd::Level::Portable, &portable::twin},   {simd::Level::Avx512, &avx512::single},
    {simd::Level::Avx2, &avx2::twin},           {simd::Level::Portable, &portable::quad},
    {simd::Level::Avx512, &avx512::twin},
};
constexpr std::size_t kVariants = sizeof(kOffers) / sizeof(kOffers[0]);

// The widest variant of a level: the one its groups are gathered for.
const Variant& variant(simd::Level kernel) noexcept {
    switch (kernel) {
        case simd::Level::Avx512:
            return avx512::twin;
        case simd::Level::Avx2:
            return avx2::twin;
        case simd::Level::Portable:
            break;
    }
    return portable::quad;
}

// A lane price_fdm prices as the lane engine does: finite inputs (so that a
// bad pivot is the engine's failure), a grid of 3 nodes or more, a positive
// time to expiry and intervals of positive length.
bool ordinary(const FdmLane& lane, const FdmConfig& config) noexcept {
    if (lane.option == nullptr || lane.schedule == nullptr) return false;
    const FdmSchedule& schedule = *lane.schedule;
    const bool finite = std::isfinite(lane.spot) && std::isfinite(lane.sigma) && std::isfinite(lane.r) &&
                        std::isfinite(lane.q) && std::isfinite(lane.option->strike) && schedule.amounts_finite;
    if (!(finite && lane.sigma > 0.0 && config.grid_nodes >= 3)) return false;
    if (!(std::isfinite(schedule.t) && schedule.t > 0.0) || schedule.stops.empty()) return false;
    double t_cur = schedule.t;
    for (const FdmStop& stop : schedule.stops) {
        if (!(t_cur - stop.t > 0.0)) return false;
        t_cur = stop.t;
    }
    return true;
}

Scheme scheme_of(const VanillaOption& option) noexcept {
    if (option.exercise_style == ExerciseStyle::European) return Scheme::European;
    return option.option_type == OptionType::Put ? Scheme::AmericanPut : Scheme::AmericanCall;
}

// The same scheme, stops and steps in every interval; both lanes ordinary.
bool same_march(const FdmLane& a, const FdmLane& b, const FdmConfig& config) noexcept {
    if (scheme_of(*a.option) != scheme_of(*b.option)) return false;
    const FdmSchedule& sa = *a.schedule;
    const FdmSchedule& sb = *b.schedule;
    if (sa.stops.size() != sb.stops.size()) return false;
    double ta = sa.t;
    double tb = sb.t;
    for (std::size_t k = 0; k < sa.stops.size(); ++k) {
        const std::uint64_t steps_a = interval_steps(ta - sa.stops[k].t, sa.t, config.time_steps);
        const std::uint64_t steps_b = interval_steps(tb - sb.stops[k].t, sb.t, config.time_steps);
        if (steps_a != steps_b) return false;
        ta = sa.stops[k].t;
        tb = sb.stops[k].t;
    }
    return true;
}

// Carves the workspace (reserved for n nodes and `width` lanes) into the
// arrays, plus 5·n values for one lane's read-out or dividend at a time.
double* lay_out(Work& w, std::vector<double>& storage, std::size_t n, std::size_t width) {
    const std::size_t cells = n * width;
    double* p = storage.data();
    double** fields = &w.a.spot;
    for (std::size_t k = 0; k < kArrays; ++k) fields[k] = p + k * cells;
    return p + kArrays * cells;
}

// Whether the arrays for n nodes and `width` lanes can be held: when they
// cannot, price_fdm prices each lane and fails as it does.
bool reserve(std::vector<double>& storage, std::size_t n, std::size_t width) {
    const std::size_t limit = std::numeric_limits<std::size_t>::max() / sizeof(double) / (kArrays + 2);
    if (n > limit / width) return false;
    const std::size_t total = n * width * kArrays + 5 * n;
    if (storage.size() >= total) return true;
    try {
        storage.clear();
        storage.shrink_to_fit();
        storage.resize(total);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

class LaneEngine {
public:
    LaneEngine(const Variant& variant, std::span<const Dividend> dividends, const FdmConfig& config,
               std::vector<double>& storage)
        : variant_(variant), dividends_(dividends), config_(config), storage_(storage) {}

    // Prices lanes[group[0..count)] together into out.
    void price(std::span<const FdmLane> lanes, const std::size_t* group, std::size_t count,
               std::span<Result<PricingResult>> out);

private:
    void set_up(const FdmLane* const* lane, std::size_t count);
    void pay(const FdmLane* const* lane, std::size_t stop_index);
    PricingResult read(const FdmLane& lane, std::size_t l);

    const Variant& variant_;
    std::span<const Dividend> dividends_;
    const FdmConfig& config_;
    std::vector<double>& storage_;
    Work w_;
    double* scratch_ = nullptr;  // 5·n values
    Transform transform_[kMaxWidth];
};

void LaneEngine::set_up(const FdmLane* const* lane, std::size_t count) {
    const std::size_t n = w_.n;
    const std::size_t width = w_.width;
    for (std::size_t l = 0; l < width; ++l) {
        // A lane without an option of its own repeats the first, its results unused.
        const FdmLane& in = *lane[l < count ? l : 0];
        const VanillaOption& option = *in.option;
        w_.status[l] = l < count ? LaneStatus::Live : LaneStatus::Unused;
        w_.r[l] = in.r;
        // FdmProcess{r, q, σ} as build_operator reads it.
        w_.drift[l] = in.r - in.q;
        w_.half_variance[l] = 0.5 * in.sigma * in.sigma;
        w_.strike[l] = option.strike;
        w_.phi[l] = option.option_type == OptionType::Call ? 1.0 : -1.0;
        w_.factor_c[l] = 0.0;
        w_.factor_valid[l] = false;
        w_.bad_pivot[l] = false;
        w_.boundary[l] = NeumannStandard::vanilla(w_.phi[l], in.q);
        transform_[l] = start_transform(option.strike, config_);
        if (l < count) {
            // uniform_grid(strike, σ, t, config, spot, r − q), node by node.
            const LogRange range =
                grid_range(option.strike, in.sigma, in.schedule->t, config_.grid_std_devs, in.spot, in.r - in.q);
            double* const spot = w_.a.spot + l;
            double* const x = w_.a.x + l;
            double* const first = w_.a.first + l;
            double* const second = w_.a.second + l;
            place_uniform_nodes(transform_[l], range, n, [&](std::size_t i, double xi, const Transform::Point& p) {
                x[i * width] = xi;
                spot[i * width] = p.spot;
                first[i * width] = p.first;
                second[i * width] = p.second;
            });
        } else {
            for (std::size_t i = 0; i < n; ++i) {
                w_.a.x[i * width + l] = w_.a.x[i * width];
                w_.a.spot[i * width + l] = w_.a.spot[i * width];
                w_.a.first[i * width + l] = w_.a.first[i * width];
                w_.a.second[i * width + l] = w_.a.second[i * width];
            }
        }
        const double* s = w_.a.spot + l;
        w_.scale[l] = NeumannStandard::scale(s[0], s[width], s[(n - 2) * width], s[(n - 1) * width]);
    }
}

// pay_dividend and reset_after_shift for the lanes that pay at this stop.
void LaneEngine::pay(const FdmLane* const* lane, std::size_t stop_index) {
    const std::size_t n = w_.n;
    const std::size_t width = w_.width;
    bool any = false;
    for (std::size_t l = 0; l < width; ++l) {
        if (!w_.live(l)) continue;
        const FdmLane& in = *lane[l];
        const FdmStop& stop = in.schedule->stops[stop_index];
        if (!(stop.t > 0.0 && stop.amount > 0.0)) continue;
        any = true;
        double* const spots = scratch_;
        double* const u = scratch_ + n;
        for (std::size_t i = 0; i < n; ++i) {
            spots[i] = w_.a.spot[i * width + l];
            u[i] = w_.a.state_u[i * width + l];
        }
        const double lowest =
            fdm_lowest_needed(in.spot, in.sigma, in.r - in.q, config_.grid_std_devs, stop.t, stop.paid_before);
        bool flatten_low = false;
        const FdmGrid grid =
            fdm_grid_after_dividend(transform_[l], {spots, n}, {u, n}, stop.amount, lowest, flatten_low);
        if (flatten_low) w_.boundary[l].flat_low = true;
        for (std::size_t i = 0; i < n; ++i) {
            w_.a.spot[i * width + l] = grid.spot[i];
            w_.a.x[i * width + l] = grid.x[i];
            w_.a.first[i * width + l] = grid.mapped[i].first;
            w_.a.second[i * width + l] = grid.mapped[i].second;
            w_.a.state_u[i * width + l] = u[i];
        }
        w_.scale[l] = NeumannStandard::scale(grid);
        // A fresh operator: no factorisation, no bad pivot met.
        w_.factor_valid[l] = false;
        w_.bad_pivot[l] = false;
    }
    if (any) variant_.schemes[static_cast<std::size_t>(scheme_of(*lane[0]->option))].after_shift(w_);
}

PricingResult LaneEngine::read(const FdmLane& lane, std::size_t l) {
    const std::size_t n = w_.n;
    const std::size_t width = w_.width;
    double* const spots = scratch_;
    double* const values = scratch_ + n;
    double* const images = scratch_ + 2 * n;
    for (std::size_t i = 0; i < n; ++i) {
        spots[i] = w_.a.spot[i * width + l];
        values[i] = w_.a.state_u[i * width + l];
        images[i] = w_.a.state_v[i * width + l];
    }
    // fdm_read_out, with gamma blended from the second derivatives the kernel
    // worked out for every lane at once: price and delta do not depend on them,
    // so read_at gives the same bits for those without its own sweep.
    const std::span<const double> xs{spots, n};
    const std::span<double> sweep{scratch_ + 3 * n, 2 * n};
    const auto u = MonotoneCubicInterpolator::read_at(xs, {values, n}, lane.spot, false, sweep);
    if (!u) panic(std::string("Spline failed in continuation region: ") + debug_text(u.error()));
    const auto v = MonotoneCubicInterpolator::read_at(xs, {images, n}, lane.spot, false, sweep);
    if (!v) panic(std::string("Spline failed in continuation region: ") + debug_text(v.error()));
    const std::size_t k = locate_interval(xs, lane.spot);
    const double s = (lane.spot - xs[k]) / (xs[k + 1] - xs[k]);
    PricingResult result;
    result.price = u->value;
    result.delta = u->derivative;
    result.gamma = (1.0 - s) * w_.a.stage1_u[k * width + l] + s * w_.a.stage1_u[(k + 1) * width + l];
    result.theta = -v->value;
    if (lane.option->exercise_style == ExerciseStyle::American) {
        fdm_floor_at_exercise(w_.phi[l], w_.strike[l], result, lane.spot);
    }
    return result;
}

void LaneEngine::price(std::span<const FdmLane> lanes, const std::size_t* group, std::size_t count,
                       std::span<Result<PricingResult>> out) {
    const FdmLane* lane[kMaxWidth];
    for (std::size_t l = 0; l < variant_.width; ++l) lane[l] = &lanes[group[l < count ? l : 0]];
    w_ = Work{};
    w_.n = config_.grid_nodes;
    w_.width = variant_.width;
    scratch_ = lay_out(w_, storage_, w_.n, w_.width);
    set_up(lane, count);

    const Entries& kernel = variant_.schemes[static_cast<std::size_t>(scheme_of(*lane[0]->option))];
    kernel.start(w_);
    const std::size_t stops = lane[0]->schedule->stops.size();
    bool interrupted = false;
    for (std::size_t k = 0; k < stops && !interrupted; ++k) {
        Interval interval{};
        for (std::size_t l = 0; l < w_.width; ++l) {
            const FdmSchedule& schedule = *lane[l]->schedule;
            const double t_cur = k == 0 ? schedule.t : schedule.stops[k - 1].t;
            interval.length[l] = t_cur - schedule.stops[k].t;
            interval.tau[l] = schedule.t - t_cur;
        }
        const FdmSchedule& first = *lane[0]->schedule;
        interval.steps = interval_steps(interval.length[0], first.t, config_.time_steps);
        interval.from_expiry = k == 0;  // tau is 0 in every lane
        interrupted = kernel.interval(w_, interval) == Stop::Interrupted;
        if (interrupted) break;
        // Before a dividend replaces the operator that met it.
        for (std::size_t l = 0; l < w_.width; ++l) {
            if (w_.live(l) && w_.bad_pivot[l]) w_.status[l] = LaneStatus::BadPivot;
        }
        pay(lane, k);
    }
    if (w_.any_live()) kernel.curvatures(w_);
    for (std::size_t l = 0; l < count; ++l) {
        Result<PricingResult>& slot = out[group[l]];
        switch (w_.status[l]) {
            case LaneStatus::Live:
                slot = read(*lane[l], l);
                break;
            case LaneStatus::BadPivot:
                slot = Err{fdm_bad_pivot_error()};
                break;
            case LaneStatus::Interrupted:
            case LaneStatus::Unused:
                slot = Err{Error::interrupted()};
                break;
        }
    }
}

}  // namespace

std::size_t fdm_lane_width(simd::Level level) noexcept { return variant(level).width; }
std::size_t fdm_lane_width() noexcept { return fdm_lane_width(simd::level()); }

bool fdm_lanes_match(const FdmLane& a, const FdmLane& b, const FdmConfig& config) noexcept {
    return ordinary(a, config) && ordinary(b, config) && same_march(a, b, config);
}

void price_fdm_lanes(std::span<const FdmLane> lanes, std::span<const Dividend> dividends, const FdmConfig& config,
                     std::span<Result<PricingResult>> out, FdmLaneWorkspace& workspace) {
    price_fdm_lanes(simd::level(), lanes, dividends, config, out, workspace);
}

void price_fdm_lanes(simd::Level kernel, std::span<const FdmLane> lanes, std::span<const Dividend> dividends,
                     const FdmConfig& config, std::span<Result<PricingResult>> out, FdmLaneWorkspace& workspace) {
    if (kernel > simd::detected_level()) panic("this machine does not run the requested lane kernel");
    if (out.size() < lanes.size()) panic("price_fdm_lanes: fewer results than lanes");
    const Variant& chosen = variant(kernel);
    const std::size_t width = chosen.width;

    // Lanes price_fdm prices alone: not ordinary, a schedule made for other
    // dividends (price_fdm panics), or all of them when no memory holds the group.
    std::vector<double>& storage = FdmLaneAccess::values(workspace);
    const bool held = config.grid_nodes >= 3 && config.grid_nodes <= std::numeric_limits<std::size_t>::max() &&
                      reserve(storage, static_cast<std::size_t>(config.grid_nodes), width);
    const auto alone = [&](const FdmLane& lane) {
        return !held || !ordinary(lane, config) || lane.schedule->dividends != dividends.size();
    };
    std::vector<unsigned char> done(lanes.size(), 0);
    bool interrupted = false;
    const auto scalar = [&](std::size_t i) {
        const FdmLane& lane = lanes[i];
        if (interrupted) {
            out[i] = Err{Error::interrupted()};
            return;
        }
        out[i] = price_fdm(*lane.option, dividends, *lane.schedule, config, lane.spot, lane.sigma, lane.r, lane.q);
        if (!out[i] && out[i].error().kind == ErrorKind::Interrupted) interrupted = true;
    };
    // A group runs on the first variant of kOffers, up to this level, that holds it.
    std::optional<LaneEngine> engines[kVariants];
    const auto engine_for = [&](std::size_t count) -> LaneEngine& {
        std::size_t k = 0;
        while (k + 1 < kVariants && (kOffers[k].level > kernel || kOffers[k].variant->width < count)) ++k;
        if (!engines[k]) engines[k].emplace(*kOffers[k].variant, dividends, config, storage);
        return *engines[k];
    };
    std::size_t group[kMaxWidth];
    for (std::size_t i = 0; i < lanes.size(); ++i) {
        if (done[i]) continue;
        done[i] = 1;
        if (alone(lanes[i])) {
            scalar(i);
            continue;
        }
        std::size_t count = 0;
        group[count++] = i;
        for (std::size_t j = i + 1; j < lanes.size() && count < width; ++j) {
            if (done[j] || alone(lanes[j]) || !same_march(lanes[i], lanes[j], config)) continue;
            done[j] = 1;
            group[count++] = j;
        }
        if (interrupted) {
            for (std::size_t l = 0; l < count; ++l) out[group[l]] = Err{Error::interrupted()};
            continue;
        }
        if (count == 1) {  // one option alone costs least on the scalar engine
            scalar(i);
            continue;
        }
        engine_for(count).price(lanes, group, count, out);
        for (std::size_t l = 0; l < count; ++l) {
            if (!out[group[l]] && out[group[l]].error().kind == ErrorKind::Interrupted) interrupted = true;
        }
    }
}

}  // namespace vorel
