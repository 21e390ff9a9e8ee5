#pragma once
// The volatility at which the library's own pricing reproduces a target price,
// searched in [0.1, 5.0] by Brent's method.

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

#include "core/error.hpp"
#include "core/format.hpp"
#include "core/period/instant.hpp"
#include "execution/pricing_policy.hpp"
#include "instruments/vanilla_option.hpp"
#include "market/market_frame.hpp"

namespace vorel {

inline constexpr double VOL_LOW = 0.1;
inline constexpr double VOL_HIGH = 5.0;

// Checks the conventions, requires the target, fixes the instant (`at`, else
// the clock), refuses finite-difference settings that check_fdm_settings
// refuses (before any work), reads T, r and q once and runs the configured root
// finder over the price by the configured engine. A trial price that fails
// ends the search with its error; engine panics propagate.
Result<double> implied_vol_solve(const VanillaOption& option, const MarketFrameData& market,
                                 std::optional<Instant> at, const Config& config, std::optional<double> target);

namespace detail {
// f at x, from an f that returns a double or a Result<double>.
template <class F>
Result<double> trial(F& f, double x) {
    return f(x);
}

// f at both ends of the search interval, the first error if either fails.
struct Ends {
    double lo, hi;
};
template <class F>
Result<Ends> at_ends(F& f) {
    const Result<double> lo = trial(f, VOL_LOW);
    if (!lo) return Err{lo.error()};
    const Result<double> hi = trial(f, VOL_HIGH);
    if (!hi) return Err{hi.error()};
    return Ends{*lo, *hi};
}

// min that ignores one NaN operand.
inline double min_ignoring_nan(double a, double b) noexcept {
    if (std::isnan(a)) return b;
    if (std::isnan(b)) return a;
    return a < b ? a : b;
}
}  // namespace detail

namespace detail {
// When Brent's rounds stop: |f| below `f`, or the bracket's half-width within
// x_rel·|x| + x_abs of the best point x.
struct BrentTolerance {
    double f;
    double x_rel;
    double x_abs;
};

// Brent's rounds from a bracket [lo, hi] whose values f_lo, f_hi have strictly
// opposite signs, one at a time: the search says where it wants f next and
// takes the value, so that several searches can share their evaluations.
class BrentRounds {
public:
    enum class State { Trial, Root, OutOfRounds };

    BrentRounds(double lo, double f_lo, double hi, double f_hi, BrentTolerance tolerance,
                std::uint64_t max_iterations) noexcept;

    // Trial: f is wanted at point(); Root: point() is the root; OutOfRounds:
    // max_iterations rounds found none.
    State state() const noexcept { return state_; }
    double point() const noexcept { return state_ == State::Trial ? x_ : b_; }

    // f at point(), while the state is Trial.
    void take(double fx) noexcept;

private:
    void begin_round() noexcept;

    BrentTolerance tolerance_;
    std::uint64_t max_iterations_;
    std::uint64_t round_ = 0;
    State state_ = State::Trial;
    double x_, fx_;            // newest point
    double c_, fc_;            // contrapoint
    double b_prev_, fb_prev_;  // best point of the previous round
    double b_ = 0.0, fb_ = 0.0;  // best point of this round
    double d_, e_;             // last step and the one before
};

// The same rounds on an f that returns a double or a Result<double>; an error
// ends the search. Gives up with "Brent's method failed to converge within
// max iterations".
template <class F>
Result<double> brent_rounds(F& f, double lo, double f_lo, double hi, double f_hi, BrentTolerance tolerance,
                            std::uint64_t max_iterations) {
    BrentRounds rounds(lo, f_lo, hi, f_hi, tolerance, max_iterations);
    while (rounds.state() == BrentRounds::State::Trial) {
        const Result<double> at_x = trial(f, rounds.point());
        if (!at_x) return at_x;
        rounds.take(*at_x);
    }
    if (rounds.state() == BrentRounds::State::Root) return rounds.point();
    return Err{Error::invalid_input("Brent's method failed to converge within max iterations")};
}
}  // namespace detail

// Brent's method on f over [VOL_LOW, VOL_HIGH]. An end within `tolerance` of a
// root is returned as it is. Ends whose values do not have strictly opposite
// signs (a NaN value included) are "not bracketed". f returns a double or a
// Result<double>; an error ends the search.
template <class F>
Result<double> brent(F&& f, double tolerance, std::uint64_t max_iterations) {
    const Result<detail::Ends> ends = detail::at_ends(f);
    if (!ends) return Err{ends.error()};
    const double f_lo = ends->lo;
    const double f_hi = ends->hi;
    if (std::abs(f_lo) < tolerance) return VOL_LOW;
    if (std::abs(f_hi) < tolerance) return VOL_HIGH;
    if (!(f_lo * f_hi < 0.0)) {
        return Err{Error::invalid_input("Root is not bracketed. f(low) = " + format_shortest(f_lo) + ", f(high) = " +
                                        format_shortest(f_hi) + ". Target price might be out of bounds.")};
    }
    return detail::brent_rounds(f, VOL_LOW, f_lo, VOL_HIGH, f_hi, {tolerance, 2e-15, 0.5 * tolerance},
                                max_iterations);
}

}  // namespace vorel
