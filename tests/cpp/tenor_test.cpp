#include <limits>

#include "core/period/tenor.hpp"
#include "test_support.hpp"

namespace vorel {
namespace {

using test::date;

TEST(Tenor, Advance) {
    using enum TenorUnit;
    const struct { Date from; Tenor tenor; Date expected; } cases[] = {
        // Python pins no days from 2024-05-17, a month forward from 2024-01-31 and back from 2024-03-31.
        {date(2024, 5, 31), {Months, 0}, date(2024, 5, 31)}, {date(2024, 3, 1), {Days, -1}, date(2024, 2, 29)},
        {date(2024, 3, 1), {Weeks, -2}, date(2024, 2, 16)}, {date(2023, 1, 31), {Months, 1}, date(2023, 2, 28)},
        {date(2023, 1, 31), {Months, 2}, date(2023, 3, 31)},  // clamped once, at the end
        {date(2023, 3, 31), {Months, 1}, date(2023, 4, 30)}, {date(2023, 12, 15), {Months, 13}, date(2025, 1, 15)},
        {date(2024, 2, 29), {Years, 1}, date(2025, 2, 28)}, {date(2024, 2, 29), {Years, 4}, date(2028, 2, 29)},
        {date(2024, 2, 29), {Years, -1}, date(2023, 2, 28)}, {date(2024, 1, 15), {Months, -13}, date(2022, 12, 15)},
        {date(1, 3, 31), {Months, -15}, date(-1, 12, 31)},  // floor division below year 0
        {date(-1, 12, 31), {Months, 2}, date(0, 2, 29)},    // year 0 is a leap year
    };
    for (const auto& c : cases)
        EXPECT_EQ(advance(c.from, c.tenor).value(), c.expected)
            << static_cast<int>(c.tenor.unit) << " x " << c.tenor.count << " from " << c.from.days_since_epoch();
}

TEST(Tenor, LeavingTheRangeIsAnOverflowWithFixedTexts) {
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    const std::string days = "`NaiveDate + TimeDelta` overflowed";
    const std::string months = "`NaiveDate + Months` out of range";
    const struct { Date from; Tenor tenor; const std::string& text; } cases[] = {
        {Date::max(), {TenorUnit::Days, 1}, days},        {Date::min(), {TenorUnit::Weeks, -1}, days},
        {date(2000, 1, 1), {TenorUnit::Days, kMin}, days}, {date(2000, 1, 1), {TenorUnit::Weeks, kMax}, days},
        {Date::max(), {TenorUnit::Months, 1}, months},    {Date::min(), {TenorUnit::Years, -1}, months},
        {date(2000, 1, 1), {TenorUnit::Years, kMin}, months}, {date(2000, 1, 1), {TenorUnit::Months, kMin}, months},
    };
    for (const auto& c : cases) {
        const Result<Date> moved = advance(c.from, c.tenor);
        ASSERT_FALSE(moved);
        EXPECT_EQ(moved.error().kind, ErrorKind::OutOfRange);
        EXPECT_EQ(moved.error().message, c.text);
    }
    EXPECT_EQ(advance(date(Date::kMaxYear, 10, 31), {TenorUnit::Months, 2}).value(), Date::max());
}

}  // namespace
}  // namespace vorel
