#pragma once
// A UTC point in time: calendar date, second of the day and nanosecond. A
// nanosecond of 1e9 or more marks a leap second and is valid only at second 59
// of a minute. No zone is stored.

#include <compare>
#include <cstdint>
#include <optional>

#include "core/period/date.hpp"

namespace vorel {

struct Instant {
    Date date;
    std::uint32_t second_of_day = 0;  // 0..86399
    std::uint32_t nanosecond = 0;     // 0..1999999999

    // Nullopt unless second_of_day < 86400 and the nanosecond obeys the leap rule.
    static std::optional<Instant> from_parts(Date date, std::uint32_t second_of_day,
                                             std::uint32_t nanosecond) noexcept;
    // Seconds since 1970-01-01T00:00:00Z split into date and second of day.
    static std::optional<Instant> from_unix(std::int64_t seconds, std::uint32_t nanosecond) noexcept;

    friend auto operator<=>(const Instant&, const Instant&) = default;
};

// How a float POSIX timestamp is split into seconds and nanoseconds.
enum class TimestampRounding : std::uint8_t {
    Nearest,     // floor(ts); fraction * 1e9 rounded, halves away from zero
    TowardZero,  // trunc(ts); fraction * 1e9 truncated, negative becomes 0
};

// Nullopt when the timestamp is not finite or lies outside the representable range.
std::optional<Instant> instant_from_timestamp(double timestamp, TimestampRounding rounding) noexcept;

// Whole seconds from `from` to `to`, the fraction truncated toward zero.
std::int64_t whole_seconds_between(const Instant& from, const Instant& to) noexcept;

// The real-time clock. Panics when the clock reads before 1970.
Instant now_utc();

}  // namespace vorel
