#pragma once
// What the engine tests price: options and dividends dated from one valuation
// instant, and grid settings.

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "orchestration/fdm.hpp"
#include "test_support.hpp"

namespace vorel::fdm_test {

using enum OptionType;
using enum ExerciseStyle;

inline const Instant kNow = test::at(2025, 1, 1);

// An instant `years` Actual/365 years after kNow, to the second.
inline Instant after(double years) {
    const auto seconds = static_cast<std::int64_t>(std::llround(years * 365.0 * 86400.0));
    return *Instant::from_unix(whole_seconds_between(Instant{}, kNow) + seconds, 0);
}

inline VanillaOption option(OptionType type, ExerciseStyle style, double years = 1.0, double strike = 100.0) {
    return VanillaOption{strike, after(years), type, style};
}

inline FdmConfig config(std::uint64_t nodes = 101, std::uint64_t steps = 10) {
    FdmConfig c;
    c.grid_nodes = nodes;
    c.time_steps = steps;
    return c;
}

inline std::vector<Dividend> cash(std::initializer_list<std::pair<double, double>> entries) {
    std::vector<Dividend> out;
    for (const auto& [years, amount] : entries) out.push_back({after(years), amount});
    return out;
}

// The engine on a schedule made for the one pricing, dated from `at`.
inline Result<PricingResult> price_fdm(const VanillaOption& option, std::span<const Dividend> dividends,
                                       const Instant& at, const FdmConfig& config, double spot, double sigma, double r,
                                       double q) {
    return vorel::price_fdm(option, dividends, fdm_schedule(option, dividends, at), config, spot, sigma, r, q);
}

}  // namespace vorel::fdm_test
