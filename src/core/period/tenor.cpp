#include "core/period/tenor.hpp"

#include <algorithm>

namespace vorel {
namespace {

Result<Date> plus_days(Date from, std::int64_t days) {
    const auto result = from.plus_days(days);
    if (!result) return Err{Error::out_of_range("`NaiveDate + TimeDelta` overflowed")};
    return *result;
}

Err<Error> months_out_of_range() { return Err{Error::out_of_range("`NaiveDate + Months` out of range")}; }

// Moves the month index by `months` (either sign) and clamps the day once,
// against the length of the final month.
Result<Date> plus_months(Date from, std::int64_t months) {
    if (months == 0) return from;
    const YearMonthDay ymd = from.ymd();
    // |months| <= 12 * 2^31, far from the 64-bit limits.
    const std::int64_t k = static_cast<std::int64_t>(ymd.year) * 12 + (ymd.month - 1) + months;
    std::int64_t year = k / 12;
    std::int64_t month0 = k % 12;
    if (month0 < 0) {
        month0 += 12;
        year -= 1;
    }
    const auto month = static_cast<unsigned>(month0 + 1);
    // Check the year before asking for the month length so the clamp never
    // sees a year the date type cannot hold.
    if (year < Date::kMinYear || year > Date::kMaxYear) return months_out_of_range();
    const unsigned day = std::min(ymd.day, days_in_month(year, month));
    const auto result = Date::from_ymd(year, month, day);
    if (!result) return months_out_of_range();
    return *result;
}

}  // namespace

Result<Date> advance(Date from, const Tenor& tenor) {
    switch (tenor.unit) {
        case TenorUnit::Days: return plus_days(from, tenor.count);
        case TenorUnit::Weeks: return plus_days(from, static_cast<std::int64_t>(tenor.count) * 7);
        case TenorUnit::Months: return plus_months(from, tenor.count);
        case TenorUnit::Years: return plus_months(from, static_cast<std::int64_t>(tenor.count) * 12);
    }
    return from;
}

}  // namespace vorel
