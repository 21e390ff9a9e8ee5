#include "execution/batch.hpp"

#include <algorithm>
#include <cmath>
#include <span>
#include <utility>
#include <vector>
#include <limits>
#include <new>
#include <type_traits>

#include "execution/black_implied_vol.hpp"
#include "execution/closed_form_lanes.hpp"
#include "execution/implied_vol.hpp"
#include "execution/valuation.hpp"
#include "orchestration/fdm_lanes.hpp"

namespace vorel {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::optional<OptionType> option_type_of(std::uint8_t value) noexcept {
    if (value == static_cast<std::uint8_t>(OptionType::Call)) return OptionType::Call;
    if (value == static_cast<std::uint8_t>(OptionType::Put)) return OptionType::Put;
    return std::nullopt;
}

std::optional<ExerciseStyle> exercise_style_of(std::uint8_t value) noexcept {
    if (value == static_cast<std::uint8_t>(ExerciseStyle::American)) return ExerciseStyle::American;
    if (value == static_cast<std::uint8_t>(ExerciseStyle::European)) return ExerciseStyle::European;
    return std::nullopt;
}

void write_value(const ValueOutputs& out, std::size_t i, const PricingResult& result, ElementStatus status) {
    out.price[i] = result.price;
    if (out.delta) {
        out.delta[i] = result.delta;
        out.gamma[i] = result.gamma;
        out.theta[i] = result.theta;
        out.vega[i] = result.vega.value_or(kNaN);
        out.rho[i] = result.rho.value_or(kNaN);
    }
    out.status[i] = static_cast<std::uint8_t>(status);
}

void write_failure(const ValueOutputs& out, std::size_t i, ElementStatus status) {
    write_value(out, i, PricingResult{kNaN, kNaN, kNaN, kNaN, kNaN, kNaN}, status);
}

void write_vol(const VolOutputs& out, std::size_t i, double vol, ElementStatus status) {
    out.vol[i] = status == ElementStatus::Ok ? vol : kNaN;
    out.status[i] = static_cast<std::uint8_t>(status);
}

// Of a valuation `years` before expiry that gave `price`.
ElementStatus status_of(double years, double price) noexcept {
    if (years <= 0.0) return ElementStatus::Expired;
    return std::isfinite(price) ? ElementStatus::Ok : ElementStatus::Failed;
}

// Cost of a valuation: about 15 ns a node and step on the grid, 150 ns for the
// closed form.
double method_cost_ns(const PricingMethod& method) noexcept {
    const std::optional<FdmConfig> fdm = fdm_settings(method);
    if (!fdm) return 150.0;
    return 15.0 * static_cast<double>(fdm->grid_nodes) * static_cast<double>(fdm->time_steps);
}

struct Solved {
    double vol;
    ElementStatus status;
};

// The volatility in [BATCH_VOL_LOW, BATCH_VOL_HIGH] at which `pricer` prices
// `target`, from a first guess: a bracket is found by secant steps from the
// guess, then closed by Brent's rounds to the volatility tolerance.
Result<Solved> search_volatility(const Pricer& pricer, double target, double guess) {
    const auto gap = [&](double sigma) -> Result<double> {
        Result<PricingResult> priced = pricer(sigma);
        if (!priced) return Err{std::move(priced).error()};
        return priced->price - target;
    };
    double a = std::isfinite(guess) ? std::min(std::max(guess, BATCH_VOL_LOW), BATCH_VOL_HIGH) : 0.25;
    Result<double> at_a = gap(a);
    if (!at_a) return Err{std::move(at_a).error()};
    double fa = *at_a;
    if (fa == 0.0) return Solved{a, ElementStatus::Ok};
    if (std::isnan(fa)) return Solved{kNaN, ElementStatus::Failed};
    // The price rises with the volatility: a positive gap means a lower root.
    const bool down = fa > 0.0;
    double b = down ? a * 0.98 : a * 1.02;
    b = std::min(std::max(b, BATCH_VOL_LOW), BATCH_VOL_HIGH);
    Result<double> at_b = gap(b);
    if (!at_b) return Err{std::move(at_b).error()};
    double fb = *at_b;
    while ((fb > 0.0) == down && fb != 0.0) {
        if (std::isnan(fb)) return Solved{kNaN, ElementStatus::Failed};
        const double limit = down ? BATCH_VOL_LOW : BATCH_VOL_HIGH;
        if (b == limit) return Solved{kNaN, down ? ElementStatus::BelowIntrinsic : ElementStatus::AboveUpperBound};
        // Past the secant's root by half again, at least doubling the distance
        // moved and at most a factor of 4 in the volatility.
        const double secant = b - fb * (b - a) / (fb - fa);
        const double step = std::isfinite(secant) ? 1.5 * (secant - b) : 0.0;
        const double least = 2.0 * (b - a);
        double next = b + ((down ? step < least : step > least) ? step : least);
        next = down ? std::max(next, b * 0.25) : std::min(next, b * 4.0);
        next = std::min(std::max(next, BATCH_VOL_LOW), BATCH_VOL_HIGH);
        a = b, fa = fb;
        b = next;
        at_b = gap(b);
        if (!at_b) return Err{std::move(at_b).error()};
        fb = *at_b;
    }
    if (fb == 0.0) return Solved{b, ElementStatus::Ok};
    const double lo = std::min(a, b), hi = std::max(a, b);
    const double f_lo = lo == a ? fa : fb, f_hi = lo == a ? fb : fa;
    constexpr std::uint64_t kRounds = 100;
    Result<double> root = detail::brent_rounds(gap, lo, f_lo, hi, f_hi,
                                               {std::numeric_limits<double>::min(), 0.5 * BATCH_VOL_TOLERANCE, 0.0},
                                               kRounds);
    if (root) return Solved{*root, ElementStatus::Ok};
    if (root.error().kind == ErrorKind::Interrupted) return Err{std::move(root).error()};
    // Brent's rounds fail only by running out (gap's own errors are returned above).
    return Solved{kNaN, ElementStatus::NotConverged};
}

}  // namespace

std::optional<Instant> expiry_from_micros(std::int64_t micros) noexcept {
    if (micros == kNoTime) return std::nullopt;
    // Exact below 2^53 µs (about 285,000 years), far beyond the date range; the
    // quotient is the float timestamp `datetime.timestamp()` gives.
    const double timestamp = static_cast<double>(micros) / 1e6;
    return instant_from_timestamp(timestamp, TimestampRounding::TowardZero);
}

Result<Batch> Batch::prepare(const MarketFrameData& market, const Config& config, const Instant& at,
                             const BatchOptions& options) {
    if (Result<Unit> checked = check_conventions(market); !checked) return Err{std::move(checked).error()};
    // Which (style, type) slots the elements use, each checked once.
    static_assert(static_cast<int>(OptionType::Call) <= 1 && static_cast<int>(OptionType::Put) <= 1 &&
                  static_cast<int>(ExerciseStyle::American) <= 1 && static_cast<int>(ExerciseStyle::European) <= 1);
    unsigned used = 0;  // bit 2·style + type
    for (std::size_t i = 0; i < options.size && used != 0xF; ++i) {
        const unsigned type = options.option_type[i], style = options.exercise_style[i];
        if ((type | style) <= 1) used |= 1u << (2 * style + type);
    }
    double cost = 0.0;
    for (const ExerciseStyle style : {ExerciseStyle::American, ExerciseStyle::European}) {
        for (const OptionType type : {OptionType::Put, OptionType::Call}) {
            if ((used >> (2 * static_cast<unsigned>(style) + static_cast<unsigned>(type)) & 1u) == 0) continue;
            const PricingMethod& method = method_for(config, style, type);
            if (Result<Unit> settled = check_method(method, market); !settled) {
                return Err{std::move(settled).error()};
            }
            cost = std::max(cost, method_cost_ns(method));
        }
    }
    return Batch(market, config, at, options, cost == 0.0 ? 150.0 : cost);
}

// Four groups' worth, so that calls and puts (which American lanes keep apart)
// and the expiries' stop patterns still fill whole groups.
std::size_t Batch::least_chunk() const noexcept { return element_cost_ns_ > 150.0 ? 4 * fdm_lane_width() : 1; }

// A chain has few expiries: each one's instant and market inputs are read
// once and kept in a small direct-mapped table, in whatever order the
// elements come. An element whose expiry is not in the table replaces the
// slot's entry; the values are those reading it afresh would give. When the
// first kTrial misses bring fewer hits, the expiries are mostly distinct and
// only the last one is kept.
class Batch::ExpiryCache {
public:
    ExpiryCache(const MarketFrameData& market, const Instant& at) : market_(market), at_(at) {}

    const std::optional<Instant>& expiry(std::int64_t micros) {
        bool filled = true;
        if (bypass_) {
            current_ = &last_;
            filled = last_filled_;
            last_filled_ = true;
        } else {
            // Fibonacci hashing of the microseconds into the table's index bits.
            const std::size_t index = (static_cast<std::uint64_t>(micros) * 0x9E3779B97F4A7C15ull) >> (64 - kBits);
            std::uint64_t& word = filled_[index / 64];
            const std::uint64_t bit = std::uint64_t{1} << (index % 64);
            current_ = &table_.slots[index];
            filled = (word & bit) != 0;
            word |= bit;
        }
        if (filled && current_->micros == micros) {
            ++hits_;
            return current_->expiry;
        }
        if (!filled) ::new (static_cast<void*>(current_)) Slot{};  // trivially destructible: never torn down
        current_->micros = micros;
        current_->expiry = expiry_from_micros(micros);
        current_->inputs.reset();
        if (++misses_ == kTrial && hits_ < misses_) bypass_ = true;
        return current_->expiry;
    }
    // The inputs of an option whose expiry was the last one read.
    const MarketInputs& inputs(const VanillaOption& option) {
        if (!current_->inputs) current_->inputs = market_inputs(option, market_, at_);
        return *current_->inputs;
    }

private:
    static constexpr int kBits = 8;
    static constexpr unsigned kTrial = 256;  // misses before the table's worth is judged
    struct Slot {
        std::int64_t micros;
        std::optional<Instant> expiry;
        std::optional<MarketInputs> inputs;
    };
    static_assert(std::is_trivially_destructible_v<Slot>);
    // Left unbuilt until used (a batch of one touches one slot); filled_ says which are.
    union Table {
        Table() {}
        Slot slots[1 << kBits];
    };
    const MarketFrameData& market_;
    const Instant& at_;
    Table table_;
    std::uint64_t filled_[(1 << kBits) / 64] = {};
    Slot last_{};
    bool last_filled_ = false;
    bool bypass_ = false;
    unsigned hits_ = 0, misses_ = 0;
    Slot* current_ = nullptr;
};

std::optional<VanillaOption> Batch::option_at(std::size_t i, ExpiryCache& cache) const noexcept {
    const double strike = options_.strike[i];
    const std::optional<Instant>& expiry = cache.expiry(options_.expiry[i]);
    const std::optional<OptionType> type = option_type_of(options_.option_type[i]);
    const std::optional<ExerciseStyle> style = exercise_style_of(options_.exercise_style[i]);
    if (!(std::isfinite(strike) && strike > 0.0) || !expiry || !type || !style) return std::nullopt;
    return VanillaOption{strike, *expiry, *type, *style};
}

namespace {

// Closed-form elements gathered from a run of the batch, priced together in
// vector lanes and then written to their places.
class AnalyticRun {
public:
    static constexpr std::size_t kCapacity = 256;

    bool full() const noexcept { return size_ == kCapacity; }

    void add(std::size_t index, const VanillaOption& option, const MarketInputs& inputs, double sigma) noexcept {
        const std::size_t k = size_++;
        index_[k] = index;
        strike_[k] = option.strike;
        years_[k] = inputs.t;
        spot_[k] = inputs.spot;
        sigma_[k] = sigma;
        r_[k] = inputs.r;
        q_[k] = inputs.q;
        call_[k] = option.option_type == OptionType::Call ? 1.0 : 0.0;
    }

    // Prices what was added into `out` and empties the run.
    void flush(const ValueOutputs& out) noexcept {
        if (size_ == 0) return;
        const AnalyticInputs in{size_, strike_, years_, spot_, sigma_, r_, q_, call_};
        const bool greeks = out.delta != nullptr;
        price_analytic_lanes(in, {price_, greeks ? delta_ : nullptr, gamma_, theta_, vega_, rho_});
        for (std::size_t k = 0; k < size_; ++k) {
            const std::size_t i = index_[k];
            out.price[i] = price_[k];
            if (greeks) {
                out.delta[i] = delta_[k];
                out.gamma[i] = gamma_[k];
                out.theta[i] = theta_[k];
                out.vega[i] = vega_[k];
                out.rho[i] = rho_[k];
            }
            out.status[i] = static_cast<std::uint8_t>(status_of(years_[k], price_[k]));
        }
        size_ = 0;
    }

private:
    std::size_t size_ = 0;
    std::size_t index_[kCapacity];
    double strike_[kCapacity], years_[kCapacity], spot_[kCapacity], sigma_[kCapacity], r_[kCapacity],
        q_[kCapacity], call_[kCapacity];
    double price_[kCapacity], delta_[kCapacity], gamma_[kCapacity], theta_[kCapacity], vega_[kCapacity],
        rho_[kCapacity];
};

// Finite-difference elements of one (style, type) slot gathered from a run of
// the batch and priced together, in lock-step lanes where their marches agree.
class FdmRun {
public:
    static constexpr std::size_t kCapacity = 64;

    FdmRun() { pending_.reserve(kCapacity); }

    bool full() const noexcept { return pending_.size() == kCapacity; }

    void add(std::size_t index, const VanillaOption& option, const MarketInputs& inputs, double sigma,
             std::span<const Dividend> dividends) {
        pending_.push_back({index, option, inputs, sigma, fdm_plan(option, dividends, inputs)});
    }

    // Prices what was added into `out` and empties the run; stops at an interrupt.
    Result<Unit> flush(const FdmConfig& config, std::span<const Dividend> dividends, const ValueOutputs& out,
                       FdmLaneWorkspace& workspace) {
        if (pending_.empty()) return Unit{};
        // Neighbours in expiry share their march most often; the lanes group neighbours.
        std::sort(pending_.begin(), pending_.end(), [](const Pending& a, const Pending& b) {
            return std::pair(a.option.option_type, a.inputs.t) < std::pair(b.option.option_type, b.inputs.t);
        });
        lanes_.clear();
        for (const Pending& p : pending_) {
            lanes_.push_back({&p.option, &p.plan.schedule, p.inputs.spot, p.sigma, p.inputs.r, p.inputs.q});
        }
        results_.assign(pending_.size(), Err{Error::interrupted()});
        price_fdm_lanes(lanes_, dividends, config, results_, workspace);
        for (std::size_t k = 0; k < pending_.size(); ++k) {
            const Result<PricingResult> result = within_plan(std::move(results_[k]), pending_[k].plan);
            const std::size_t i = pending_[k].index;
            if (!result) {
                if (result.error().kind == ErrorKind::Interrupted) return Err{result.error()};
                write_failure(out, i, ElementStatus::Failed);
                continue;
            }
            write_value(out, i, *result, status_of(pending_[k].inputs.t, result->price));
        }
        pending_.clear();
        return Unit{};
    }

private:
    struct Pending {
        std::size_t index;
        VanillaOption option;
        MarketInputs inputs;
        double sigma;
        FdmPlan plan;
    };
    std::vector<Pending> pending_;
    std::vector<FdmLane> lanes_;
    std::vector<Result<PricingResult>> results_;
};

}  // namespace

Result<Unit> Batch::value(std::size_t begin, std::size_t end, const ValueOutputs& out) const {
    ExpiryCache cache(market_, at_);
    AnalyticRun analytic;
    FdmRun fdm[4];  // by method slot: 2·style + type
    FdmLaneWorkspace workspace;
    const std::span<const Dividend> dividends = market_.dividends.entries();
    for (std::size_t i = begin; i < end; ++i) {
        const std::optional<VanillaOption> option = option_at(i, cache);
        if (!option) {
            write_failure(out, i, ElementStatus::InvalidInput);
            continue;
        }
        const MarketInputs& inputs = cache.inputs(*option);
        const Result<double> sigma = surface_volatility(*option, market_, inputs);
        const PricingMethod& method = method_for(config_, option->exercise_style, option->option_type);
        if (!sigma || !check_method_covers(method, *option, inputs)) {
            write_failure(out, i, ElementStatus::Failed);
            continue;
        }
        const std::optional<FdmConfig> settings = fdm_settings(method);
        if (!settings || !(inputs.t > 0.0)) {  // the closed form, as every engine at and after expiry
            analytic.add(i, *option, inputs, *sigma);
            if (analytic.full()) analytic.flush(out);
            continue;
        }
        FdmRun& run =
            fdm[2 * static_cast<unsigned>(option->exercise_style) + static_cast<unsigned>(option->option_type)];
        run.add(i, *option, inputs, *sigma, dividends);
        if (run.full()) {
            if (Result<Unit> done = run.flush(*settings, dividends, out, workspace); !done) return done;
        }
    }
    analytic.flush(out);
    for (unsigned slot = 0; slot < 4; ++slot) {
        const auto style = static_cast<ExerciseStyle>(slot / 2);
        const auto type = static_cast<OptionType>(slot % 2);
        const std::optional<FdmConfig> settings = fdm_settings(method_for(config_, style, type));
        if (!settings) continue;
        if (Result<Unit> done = fdm[slot].flush(*settings, dividends, out, workspace); !done) return done;
    }
    return Unit{};
}

Result<Unit> Batch::implied_vol(const double* prices, std::size_t begin, std::size_t end,
                                const VolOutputs& out) const {
    ExpiryCache cache(market_, at_);
    for (std::size_t i = begin; i < end; ++i) {
        const std::optional<VanillaOption> option = option_at(i, cache);
        const double target = prices[i];
        if (!option || !std::isfinite(target)) {
            write_vol(out, i, kNaN, ElementStatus::InvalidInput);
            continue;
        }
        const MarketInputs& inputs = cache.inputs(*option);
        const PricingMethod& method = method_for(config_, option->exercise_style, option->option_type);
        if (!check_method_covers(method, *option, inputs)) {
            write_vol(out, i, kNaN, ElementStatus::Failed);
            continue;
        }
        if (!(inputs.t > 0.0)) {
            write_vol(out, i, kNaN, ElementStatus::Expired);
            continue;
        }
        const ImpliedVolatility closed = black_implied_vol(target, option->option_type, inputs.spot, option->strike,
                                                           inputs.t, inputs.r, inputs.q);
        if (!fdm_settings(method)) {
            write_vol(out, i, closed.sigma, closed.status);
            continue;
        }
        const Pricer pricer(method, *option, market_.dividends.entries(), inputs);
        const PriceBounds& bounds = *pricer.bounds();
        if (target < bounds.lower) {
            write_vol(out, i, kNaN, ElementStatus::BelowIntrinsic);
            continue;
        }
        if (target >= bounds.upper) {
            write_vol(out, i, kNaN, ElementStatus::AboveUpperBound);
            continue;
        }
        const Result<Solved> solved = search_volatility(pricer, target, closed.sigma);
        if (!solved) {  // an engine's error is the element's; an interrupt stops the batch
            if (solved.error().kind == ErrorKind::Interrupted) return Err{solved.error()};
            write_vol(out, i, kNaN, ElementStatus::Failed);
            continue;
        }
        write_vol(out, i, solved->vol, solved->status);
    }
    return Unit{};
}

}  // namespace vorel
