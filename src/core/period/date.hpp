#pragma once
// Proleptic Gregorian calendar date, held as a day number relative to
// 1970-01-01 so that every conversion is O(1). Years -262143 to 262142.

#include <compare>
#include <cstdint>
#include <optional>

namespace vorel {

bool is_leap_year(std::int64_t year) noexcept;
// 28..31; month is 1..12.
unsigned days_in_month(std::int64_t year, unsigned month) noexcept;

struct YearMonthDay {
    std::int32_t year;
    unsigned month;  // 1..12
    unsigned day;    // 1..31
};

class Date {
public:
    static constexpr std::int32_t kMinYear = -262143;
    static constexpr std::int32_t kMaxYear = 262142;

    constexpr Date() noexcept = default;  // 1970-01-01

    // Arguments are wide so that callers never overflow before the range check.
    static std::optional<Date> from_ymd(std::int64_t year, std::int64_t month, std::int64_t day) noexcept;
    static std::optional<Date> from_days_since_epoch(std::int64_t days) noexcept;
    static Date min() noexcept;  // kMinYear-01-01
    static Date max() noexcept;  // kMaxYear-12-31

    std::int64_t days_since_epoch() const noexcept { return days_; }
    YearMonthDay ymd() const noexcept;
    std::int32_t year() const noexcept { return ymd().year; }

    // Nullopt when the result leaves the date range.
    std::optional<Date> plus_days(std::int64_t days) const noexcept;

    friend auto operator<=>(const Date&, const Date&) = default;

private:
    explicit constexpr Date(std::int32_t days) noexcept : days_(days) {}
    std::int32_t days_ = 0;
};

}  // namespace vorel
