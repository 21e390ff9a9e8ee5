#include "core/period/instant.hpp"

#include <chrono>
#include <cmath>
#include <limits>

#include "core/panic.hpp"

namespace vorel {
namespace {

constexpr std::int64_t kSecondsPerDay = 86'400;
constexpr std::uint32_t kNanosPerSecond = 1'000'000'000;

// Float-to-integer conversions saturate at the target's bounds (NaN gives 0)
// instead of invoking undefined behaviour.
std::int64_t saturate_to_i64(double x) noexcept {
    constexpr double kTwo63 = 9223372036854775808.0;
    if (std::isnan(x)) return 0;
    if (x >= kTwo63) return std::numeric_limits<std::int64_t>::max();
    if (x < -kTwo63) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(x);
}

std::uint32_t saturate_to_u32(double x) noexcept {
    constexpr double kTwo32 = 4294967296.0;
    if (!(x > 0.0)) return 0;  // negatives and NaN
    if (x >= kTwo32) return std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(x);
}

}  // namespace

std::optional<Instant> Instant::from_parts(Date date, std::uint32_t second_of_day,
                                           std::uint32_t nanosecond) noexcept {
    if (second_of_day >= kSecondsPerDay) return std::nullopt;
    const bool leap_allowed = second_of_day % 60 == 59;
    if (nanosecond >= (leap_allowed ? 2 * kNanosPerSecond : kNanosPerSecond)) return std::nullopt;
    return Instant{date, second_of_day, nanosecond};
}

std::optional<Instant> Instant::from_unix(std::int64_t seconds, std::uint32_t nanosecond) noexcept {
    std::int64_t days = seconds / kSecondsPerDay;
    std::int64_t second_of_day = seconds % kSecondsPerDay;
    if (second_of_day < 0) {
        days -= 1;
        second_of_day += kSecondsPerDay;
    }
    const auto date = Date::from_days_since_epoch(days);
    if (!date) return std::nullopt;
    return from_parts(*date, static_cast<std::uint32_t>(second_of_day), nanosecond);
}

std::optional<Instant> instant_from_timestamp(double timestamp, TimestampRounding rounding) noexcept {
    // A NaN would saturate to 1970-01-01; refuse it rather than invent a date.
    if (std::isnan(timestamp)) return std::nullopt;
    std::int64_t seconds = 0;
    std::uint32_t nanos = 0;
    if (rounding == TimestampRounding::Nearest) {
        seconds = saturate_to_i64(std::floor(timestamp));
        nanos = saturate_to_u32(std::round((timestamp - static_cast<double>(seconds)) * 1e9));
    } else {
        seconds = saturate_to_i64(std::trunc(timestamp));
        nanos = saturate_to_u32(std::trunc((timestamp - static_cast<double>(seconds)) * 1e9));
    }
    return Instant::from_unix(seconds, nanos);
}

std::int64_t whole_seconds_between(const Instant& from, const Instant& to) noexcept {
    // The day span is at most ~1.9e8 days, so seconds fit easily in 64 bits but
    // nanoseconds would not: carry the nanosecond difference separately.
    std::int64_t seconds = (to.date.days_since_epoch() - from.date.days_since_epoch()) * kSecondsPerDay +
                           (static_cast<std::int64_t>(to.second_of_day) - from.second_of_day);
    const std::int64_t nanos = static_cast<std::int64_t>(to.nanosecond) - from.nanosecond;
    seconds += nanos / kNanosPerSecond;  // leap nanoseconds may carry a whole second
    const std::int64_t rest = nanos % kNanosPerSecond;
    // The exact span is seconds + rest/1e9 with |rest| < 1e9; truncate it toward zero.
    if (seconds > 0 && rest < 0) return seconds - 1;
    if (seconds < 0 && rest > 0) return seconds + 1;
    return seconds;
}

Instant now_utc() {
    using namespace std::chrono;
    const std::int64_t nanos = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    if (nanos < 0) panic("system clock reads before 1970");
    const auto instant = Instant::from_unix(nanos / kNanosPerSecond, static_cast<std::uint32_t>(nanos % kNanosPerSecond));
    if (!instant) panic("system clock out of range");
    return *instant;
}

}  // namespace vorel
