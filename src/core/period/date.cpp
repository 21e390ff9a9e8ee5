#include "core/period/date.hpp"

namespace vorel {
namespace {

// Floor division for the era computations; the divisors are positive.
constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) noexcept {
    const std::int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

// Days since 1970-01-01 of a proleptic Gregorian date, counted in 400-year
// eras starting on 1 March so that the leap day is the last day of an era year.
constexpr std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) noexcept {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = floor_div(y, 400);
    const std::int64_t yoe = y - era * 400;                                  // 0..399
    const std::int64_t mp = m > 2 ? m - 3 : m + 9;                           // 0..11, March first
    const std::int64_t doy = (153 * mp + 2) / 5 + static_cast<std::int64_t>(d) - 1;  // 0..365
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;         // 0..146096
    return era * 146097 + doe - 719468;
}

constexpr YearMonthDay civil_from_days(std::int64_t z) noexcept {
    z += 719468;
    const std::int64_t era = floor_div(z, 146097);
    const std::int64_t doe = z - era * 146097;                                   // 0..146096
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // 0..399
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);            // 0..365
    const std::int64_t mp = (5 * doy + 2) / 153;                                 // 0..11
    const auto d = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
    const auto m = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
    const std::int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    return {static_cast<std::int32_t>(y), m, d};
}

constexpr std::int64_t kMinDays = days_from_civil(Date::kMinYear, 1, 1);
constexpr std::int64_t kMaxDays = days_from_civil(Date::kMaxYear, 12, 31);

static_assert(days_from_civil(1970, 1, 1) == 0);
static_assert(days_from_civil(2000, 3, 1) == 11017);
static_assert(kMinDays >= INT32_MIN && kMaxDays <= INT32_MAX);

}  // namespace

bool is_leap_year(std::int64_t year) noexcept {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

unsigned days_in_month(std::int64_t year, unsigned month) noexcept {
    switch (month) {
        case 2: return is_leap_year(year) ? 29 : 28;
        case 4: case 6: case 9: case 11: return 30;
        default: return 31;
    }
}

std::optional<Date> Date::from_ymd(std::int64_t year, std::int64_t month, std::int64_t day) noexcept {
    if (year < kMinYear || year > kMaxYear || month < 1 || month > 12 || day < 1) return std::nullopt;
    const auto m = static_cast<unsigned>(month);
    if (day > days_in_month(year, m)) return std::nullopt;
    return Date(static_cast<std::int32_t>(days_from_civil(year, m, static_cast<unsigned>(day))));
}

std::optional<Date> Date::from_days_since_epoch(std::int64_t days) noexcept {
    if (days < kMinDays || days > kMaxDays) return std::nullopt;
    return Date(static_cast<std::int32_t>(days));
}

Date Date::min() noexcept { return Date(static_cast<std::int32_t>(kMinDays)); }
Date Date::max() noexcept { return Date(static_cast<std::int32_t>(kMaxDays)); }

YearMonthDay Date::ymd() const noexcept { return civil_from_days(days_); }

std::optional<Date> Date::plus_days(std::int64_t days) const noexcept {
    // |days_| < 2^31, so a step beyond the whole range is rejected before the sum.
    if (days < kMinDays - kMaxDays || days > kMaxDays - kMinDays) return std::nullopt;
    return from_days_since_epoch(days_ + days);
}

}  // namespace vorel
