#include "execution/batch.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

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

// The search for the volatility in [BATCH_VOL_LOW, BATCH_VOL_HIGH] at which an
// engine prices `target`, from a first guess: a bracket is found by secant
// steps from the guess, then closed by Brent's rounds to the volatility
// tolerance. It asks for one price at a time, so that the searches of many
// elements can price their trials together.
class VolSearch {
public:
    VolSearch(double target, double guess) noexcept
        : target_(target), a_(std::isfinite(guess) ? std::min(std::max(guess, BATCH_VOL_LOW), BATCH_VOL_HIGH) : 0.25) {
        trial_ = a_;
    }

    bool done() const noexcept { return phase_ == Phase::Done; }
    // The volatility to price next, while not done.
    double trial() const noexcept { return phase_ == Phase::Brent ? brent_->point() : trial_; }
    // Once done.
    double vol() const noexcept { return vol_; }
    ElementStatus status() const noexcept { return status_; }

    // The engine's price at trial().
    void take(double price) noexcept {
        const double gap = price - target_;
        switch (phase_) {
            case Phase::First:
                return first(gap);
            case Phase::Bracket:
                fb_ = gap;
                return bracket();
            case Phase::Brent:
                brent_->take(gap);
                if (brent_->state() != detail::BrentRounds::State::Trial) end_brent();
                return;
            case Phase::Done:
                return;
        }
    }
    // The engine could not price trial().
    void fail() noexcept { finish(kNaN, ElementStatus::Failed); }

private:
    enum class Phase { First, Bracket, Brent, Done };

    void finish(double vol, ElementStatus status) noexcept {
        vol_ = vol;
        status_ = status;
        phase_ = Phase::Done;
    }

    void first(double fa) noexcept {
        fa_ = fa;
        if (fa == 0.0) return finish(a_, ElementStatus::Ok);
        if (std::isnan(fa)) return finish(kNaN, ElementStatus::Failed);
        // The price rises with the volatility: a positive gap means a lower root.
        down_ = fa > 0.0;
        b_ = down_ ? a_ * 0.98 : a_ * 1.02;
        b_ = std::min(std::max(b_, BATCH_VOL_LOW), BATCH_VOL_HIGH);
        trial_ = b_;
        phase_ = Phase::Bracket;
    }

    void bracket() noexcept {
        if ((fb_ > 0.0) == down_ && fb_ != 0.0) {
            if (std::isnan(fb_)) return finish(kNaN, ElementStatus::Failed);
            const double limit = down_ ? BATCH_VOL_LOW : BATCH_VOL_HIGH;
            if (b_ == limit) {
                return finish(kNaN, down_ ? ElementStatus::BelowIntrinsic : ElementStatus::AboveUpperBound);
            }
            // Past the secant's root by half again, at least doubling the distance
            // moved and at most a factor of 4 in the volatility.
            const double secant = b_ - fb_ * (b_ - a_) / (fb_ - fa_);
            const double step = std::isfinite(secant) ? 1.5 * (secant - b_) : 0.0;
            const double least = 2.0 * (b_ - a_);
            double next = b_ + ((down_ ? step < least : step > least) ? step : least);
            next = down_ ? std::max(next, b_ * 0.25) : std::min(next, b_ * 4.0);
            next = std::min(std::max(next, BATCH_VOL_LOW), BATCH_VOL_HIGH);
            a_ = b_, fa_ = fb_;
            b_ = next;
            trial_ = b_;
            return;
        }
        if (fb_ == 0.0) return finish(b_, ElementStatus::Ok);
        const double lo = std::min(a_, b_), hi = std::max(a_, b_);
        const double f_lo = lo == a_ ? fa_ : fb_, f_hi = lo == a_ ? fb_ : fa_;
        constexpr std::uint64_t kRounds = 100;
        brent_.emplace(lo, f_lo, hi, f_hi,
                       detail::BrentTolerance{std::numeric_limits<double>::min(), 0.5 * BATCH_VOL_TOLERANCE, 0.0},
                       kRounds);
        phase_ = Phase::Brent;
        if (brent_->state() != detail::BrentRounds::State::Trial) end_brent();
    }

    void end_brent() noexcept {
        if (brent_->state() == detail::BrentRounds::State::Root) return finish(brent_->point(), ElementStatus::Ok);
        finish(kNaN, ElementStatus::NotConverged);
    }

    double target_;
    Phase phase_ = Phase::First;
    double trial_ = 0.0;
    double a_, fa_ = 0.0, b_ = 0.0, fb_ = 0.0;
    bool down_ = false;
    std::optional<detail::BrentRounds> brent_;
    double vol_ = kNaN;
    ElementStatus status_ = ElementStatus::Failed;
};

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
// the batch and priced together, in lock-step lanes where their marches agree:
// valuations at their own volatility, or volatility searches whose trials
// are priced a round at a time.
class FdmRun {
public:
    static constexpr std::size_t kCapacity = 64;

    FdmRun() { pending_.reserve(kCapacity); }

    bool full() const noexcept { return pending_.size() == kCapacity; }

    void add(std::size_t index, const VanillaOption& option, const MarketInputs& inputs, FdmPlan plan, double sigma) {
        pending_.push_back({index, option, inputs, std::move(plan), sigma, std::nullopt});
    }
    void add_search(std::size_t index, const VanillaOption& option, const MarketInputs& inputs, FdmPlan plan,
                    double target, double guess) {
        pending_.push_back({index, option, inputs, std::move(plan), 0.0, VolSearch(target, guess)});
    }

    // Values what was added into `out` and empties the run; stops at an interrupt.
    Result<Unit> value(const FdmConfig& config, std::span<const Dividend> dividends, const ValueOutputs& out,
                       FdmLaneWorkspace& workspace) {
        all();
        price(config, dividends, workspace);
        for (std::size_t j = 0; j < active_.size(); ++j) {
            const Pending& p = pending_[active_[j]];
            const Result<PricingResult> result = within_plan(std::move(results_[j]), p.plan);
            if (!result) {
                if (result.error().kind == ErrorKind::Interrupted) return Err{result.error()};
                write_failure(out, p.index, ElementStatus::Failed);
                continue;
            }
            write_value(out, p.index, *result, status_of(p.inputs.t, result->price));
        }
        pending_.clear();
        return Unit{};
    }

    // Runs the searches that were added to their ends, writes their answers
    // into `out` and empties the run; stops at an interrupt.
    Result<Unit> solve(const FdmConfig& config, std::span<const Dividend> dividends, const VolOutputs& out,
                       FdmLaneWorkspace& workspace) {
        all();
        while (!active_.empty()) {
            for (const std::size_t k : active_) pending_[k].sigma = pending_[k].search->trial();
            price(config, dividends, workspace);
            std::size_t still = 0;
            for (std::size_t j = 0; j < active_.size(); ++j) {
                Pending& p = pending_[active_[j]];
                const Result<PricingResult> result = within_plan(std::move(results_[j]), p.plan);
                if (!result && result.error().kind == ErrorKind::Interrupted) return Err{result.error()};
                if (result) {
                    p.search->take(result->price);
                } else {
                    p.search->fail();  // an engine's error is the element's
                }
                if (!p.search->done()) active_[still++] = active_[j];
            }
            active_.resize(still);
        }
        for (const Pending& p : pending_) write_vol(out, p.index, p.search->vol(), p.search->status());
        pending_.clear();
        return Unit{};
    }

private:
    struct Pending {
        std::size_t index;
        VanillaOption option;
        MarketInputs inputs;
        FdmPlan plan;
        double sigma;
        std::optional<VolSearch> search;
    };

    // Every element active, neighbours in expiry next to each other: they
    // share their march most often, and the lanes group neighbours.
    void all() {
        std::sort(pending_.begin(), pending_.end(), [](const Pending& a, const Pending& b) {
            return std::pair(a.option.option_type, a.inputs.t) < std::pair(b.option.option_type, b.inputs.t);
        });
        active_.resize(pending_.size());
        for (std::size_t k = 0; k < active_.size(); ++k) active_[k] = k;
    }

    // Prices the active elements at their volatilities into results_.
    void price(const FdmConfig& config, std::span<const Dividend> dividends, FdmLaneWorkspace& workspace) {
        lanes_.clear();
        for (const std::size_t k : active_) {
            const Pending& p = pending_[k];
            lanes_.push_back({&p.option, &p.plan.schedule, p.inputs.spot, p.sigma, p.inputs.r, p.inputs.q});
        }
        results_.assign(lanes_.size(), Err{Error::interrupted()});
        price_fdm_lanes(lanes_, dividends, config, results_, workspace);
    }

    std::vector<Pending> pending_;
    std::vector<std::size_t> active_;
    std::vector<FdmLane> lanes_;
    std::vector<Result<PricingResult>> results_;
};

// The finite-difference settings of each method slot (2·style + type), none
// for the closed form.
std::array<std::optional<FdmConfig>, 4> slot_settings(const Config& config) {
    std::array<std::optional<FdmConfig>, 4> settings;
    for (unsigned slot = 0; slot < 4; ++slot) {
        settings[slot] = fdm_settings(
            method_for(config, static_cast<ExerciseStyle>(slot / 2), static_cast<OptionType>(slot % 2)));
    }
    return settings;
}

unsigned slot_of(const VanillaOption& option) noexcept {
    return 2 * static_cast<unsigned>(option.exercise_style) + static_cast<unsigned>(option.option_type);
}

}  // namespace

Result<Unit> Batch::value(std::size_t begin, std::size_t end, const ValueOutputs& out) const {
    ExpiryCache cache(market_, at_);
    AnalyticRun analytic;
    FdmRun fdm[4];  // by method slot
    const std::array<std::optional<FdmConfig>, 4> settings = slot_settings(config_);
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
        const unsigned slot = slot_of(*option);
        if (!settings[slot] || !(inputs.t > 0.0)) {  // the closed form, as every engine at and after expiry
            analytic.add(i, *option, inputs, *sigma);
            if (analytic.full()) analytic.flush(out);
            continue;
        }
        fdm[slot].add(i, *option, inputs, fdm_plan(*option, dividends, inputs), *sigma);
        if (fdm[slot].full()) {
            if (Result<Unit> done = fdm[slot].value(*settings[slot], dividends, out, workspace); !done) return done;
        }
    }
    analytic.flush(out);
    for (unsigned slot = 0; slot < 4; ++slot) {
        if (!settings[slot]) continue;
        if (Result<Unit> done = fdm[slot].value(*settings[slot], dividends, out, workspace); !done) return done;
    }
    return Unit{};
}

Result<Unit> Batch::implied_vol(const double* prices, std::size_t begin, std::size_t end,
                                const VolOutputs& out) const {
    ExpiryCache cache(market_, at_);
    FdmRun fdm[4];  // by method slot
    const std::array<std::optional<FdmConfig>, 4> settings = slot_settings(config_);
    FdmLaneWorkspace workspace;
    const std::span<const Dividend> dividends = market_.dividends.entries();
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
        if (!settings[slot_of(*option)]) {
            write_vol(out, i, closed.sigma, closed.status);
            continue;
        }
        const unsigned slot = slot_of(*option);
        FdmPlan plan = fdm_plan(*option, dividends, inputs);
        if (target < plan.bounds.lower) {
            write_vol(out, i, kNaN, ElementStatus::BelowIntrinsic);
            continue;
        }
        if (target >= plan.bounds.upper) {
            write_vol(out, i, kNaN, ElementStatus::AboveUpperBound);
            continue;
        }
        fdm[slot].add_search(i, *option, inputs, std::move(plan), target, closed.sigma);
        if (fdm[slot].full()) {
            if (Result<Unit> done = fdm[slot].solve(*settings[slot], dividends, out, workspace); !done) return done;
        }
    }
    for (unsigned slot = 0; slot < 4; ++slot) {
        if (!settings[slot]) continue;
        if (Result<Unit> done = fdm[slot].solve(*settings[slot], dividends, out, workspace); !done) return done;
    }
    return Unit{};
}

}  // namespace vorel
