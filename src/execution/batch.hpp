#pragma once
// Many options valued, or their implied volatilities solved, against one
// market at one instant under one configuration. Each element is worked out
// exactly as valuing or inverting that option alone would (the same functions
// in the same order), and one element's failure is its status, never the batch's.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/error.hpp"
#include "core/period/instant.hpp"
#include "execution/element_status.hpp"
#include "execution/pricing_policy.hpp"
#include "instruments/pricing_result.hpp"
#include "instruments/vanilla_option.hpp"
#include "market/market_frame.hpp"

namespace vorel {

// The expiry field's value for "no time" (NumPy's NaT).
inline constexpr std::int64_t kNoTime = INT64_MIN;

// An expiry given in microseconds since 1970-01-01T00:00:00Z, read the way an
// option's expiry datetime is: through its POSIX timestamp, rounded toward
// zero. Nullopt for kNoTime and outside the representable range.
std::optional<Instant> expiry_from_micros(std::int64_t micros) noexcept;

// The options, one field per array, `size` elements each. Types and styles
// hold the enumerations' values; any other value is invalid input.
struct BatchOptions {
    std::size_t size = 0;
    const double* strike = nullptr;
    const std::int64_t* expiry = nullptr;  // microseconds since the epoch, or kNoTime
    const std::uint8_t* option_type = nullptr;
    const std::uint8_t* exercise_style = nullptr;
};

// Where results go: `size` elements each. Greeks may be null (not wanted);
// vega and rho are NaN from the finite-difference engine, which has none.
struct ValueOutputs {
    double* price = nullptr;
    double* delta = nullptr;
    double* gamma = nullptr;
    double* theta = nullptr;
    double* vega = nullptr;
    double* rho = nullptr;
    std::uint8_t* status = nullptr;
};

struct VolOutputs {
    double* vol = nullptr;  // NaN unless the status is Ok
    std::uint8_t* status = nullptr;
};

// The volatility range the finite-difference search brackets within, and its
// relative tolerance on the volatility.
inline constexpr double BATCH_VOL_LOW = 1e-4;
inline constexpr double BATCH_VOL_HIGH = 10.0;
inline constexpr double BATCH_VOL_TOLERANCE = 1e-8;

class Batch {
public:
    // Checks what the whole batch shares: the market's conventions and the
    // finite-difference settings of every method an element uses. Errors are
    // those valuing one such option alone raises.
    static Result<Batch> prepare(const MarketFrameData& market, const Config& config, const Instant& at,
                                 const BatchOptions& options);

    // Values elements [begin, end). Stops with Error::interrupted() when the
    // engines' interrupt poll asks; every other failure is an element's status.
    Result<Unit> value(std::size_t begin, std::size_t end, const ValueOutputs& out) const;

    // Solves elements [begin, end) for the quotes `prices`: by the closed form's
    // inversion where the configuration prices by the closed form, else by a
    // bracketed search over [BATCH_VOL_LOW, BATCH_VOL_HIGH] on the configured
    // engine, converged on the volatility.
    Result<Unit> implied_vol(const double* prices, std::size_t begin, std::size_t end, const VolOutputs& out) const;

    // Rough cost of one element in nanoseconds (valuation; a search costs
    // several), for deciding how many threads a batch is worth.
    double element_cost_ns() const noexcept { return element_cost_ns_; }

    // The fewest elements worth giving a thread at once: finite-difference
    // elements are priced several at a time in vector lanes.
    std::size_t least_chunk() const noexcept;

private:
    Batch(const MarketFrameData& market, const Config& config, const Instant& at, const BatchOptions& options,
          double element_cost_ns)
        : market_(market), config_(config), at_(at), options_(options), element_cost_ns_(element_cost_ns) {}

    // The element as an option, or nullopt when a field is invalid.
    class ExpiryCache;
    std::optional<VanillaOption> option_at(std::size_t i, ExpiryCache& cache) const noexcept;

    const MarketFrameData& market_;
    const Config& config_;
    Instant at_;
    BatchOptions options_;
    double element_cost_ns_;
};

}  // namespace vorel
