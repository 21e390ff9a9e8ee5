#include <chrono>
#include <limits>
#include <tuple>

#include "test_support.hpp"

namespace vorel {
namespace {

using test::at;
using test::date;
constexpr auto kI64Max = std::numeric_limits<std::int64_t>::max();
constexpr auto kI64Min = std::numeric_limits<std::int64_t>::min();

TEST(Date, CivilRoundTrip) {
    const struct { std::int32_t y; unsigned m, d; std::int64_t days; } cases[] = {
        {1970, 1, 1, 0},           {1969, 12, 31, -1},        {2000, 2, 29, 11016},   {2024, 2, 29, 19782},
        {1900, 3, 1, -25508},      {1600, 2, 29, -135081},    {1, 1, 1, -719162},     {9999, 12, 31, 2932896},
        {-262143, 1, 1, -96465292}, {262142, 12, 31, 95026236}};
    for (const auto& c : cases) {
        const auto from = Date::from_ymd(c.y, c.m, c.d);
        ASSERT_TRUE(from) << c.days;
        EXPECT_EQ(from->days_since_epoch(), c.days);
        const auto back = Date::from_days_since_epoch(c.days)->ymd();
        EXPECT_EQ(std::tuple(back.year, back.month, back.day), std::tuple(c.y, c.m, c.d));
    }
}

// Consecutive day numbers must map to consecutive calendar days, including
// across century leap rules, year zero and both ends of the range.
TEST(Date, SuccessiveDaysAreSuccessiveDates) {
    const std::int64_t windows[] = {date(1899, 12, 1).days_since_epoch(), date(2000, 1, 1).days_since_epoch(),
                                    date(-1, 11, 1).days_since_epoch(), Date::min().days_since_epoch(),
                                    Date::max().days_since_epoch() - 800};
    for (std::int64_t start : windows) {
        YearMonthDay prev = Date::from_days_since_epoch(start)->ymd();
        for (std::int64_t n = start + 1; n <= start + 800; ++n) {
            const YearMonthDay cur = Date::from_days_since_epoch(n)->ymd();
            const bool new_month = prev.day == days_in_month(prev.year, prev.month);
            const bool new_year = new_month && prev.month == 12;
            ASSERT_EQ(cur.year, prev.year + (new_year ? 1 : 0)) << n;
            ASSERT_EQ(cur.month, new_year ? 1u : prev.month + (new_month ? 1 : 0)) << n;
            ASSERT_EQ(cur.day, new_month ? 1u : prev.day + 1) << n;
            prev = cur;
        }
    }
}

TEST(Date, FromYmdRejectsInvalidAndWideInputs) {
    const std::int64_t bad[][3] = {{2023, 2, 29}, {2100, 2, 29}, {2024, 2, 30}, {2023, 4, 31},
                                   {2023, 0, 1}, {2023, 13, 1}, {2023, 1, 0}, {2023, 1, 32},
                                   {262143, 1, 1}, {-262144, 12, 31}, {kI64Max, 1, 1}, {kI64Min, 1, 1},
                                   {2024, kI64Min, 1}, {2024, 1, kI64Max}, {2024, kI64Max, kI64Min}};
    for (const auto& b : bad) EXPECT_FALSE(Date::from_ymd(b[0], b[1], b[2])) << b[0] << "-" << b[1] << "-" << b[2];
}

TEST(Date, RangeEnds) {
    EXPECT_FALSE(Date::max().plus_days(1));
    EXPECT_FALSE(Date::min().plus_days(-1));
    EXPECT_FALSE(Date::min().plus_days(kI64Max));
    EXPECT_FALSE(Date::max().plus_days(kI64Min));
    EXPECT_EQ(Date::min().plus_days(Date::max().days_since_epoch() - Date::min().days_since_epoch()), Date::max());
    EXPECT_FALSE(Date::from_days_since_epoch(Date::max().days_since_epoch() + 1));
    EXPECT_FALSE(Date::from_days_since_epoch(kI64Min));
}

TEST(Instant, LeapNanosecondsOnlyAtSecond59) {
    const Date d = date(2016, 12, 31);
    EXPECT_TRUE(Instant::from_parts(d, 86399, 1'999'999'999));
    EXPECT_TRUE(Instant::from_parts(d, 59, 1'000'000'000));
    EXPECT_FALSE(Instant::from_parts(d, 86399, 2'000'000'000));
    EXPECT_FALSE(Instant::from_parts(d, 58, 1'000'000'000));
    EXPECT_FALSE(Instant::from_parts(d, 86400, 0));
    EXPECT_EQ(Instant::from_unix(-1, 0), at(1969, 12, 31, 23, 59, 59));
    EXPECT_FALSE(Instant::from_unix(kI64Min, 0));
    EXPECT_FALSE(Instant::from_unix(kI64Max, 0));
}

TEST(Instant, TimestampSplitting) {
    constexpr auto kNear = TimestampRounding::Nearest;
    constexpr auto kZero = TimestampRounding::TowardZero;
    constexpr double kInf = std::numeric_limits<double>::infinity();
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double kLastSecond = 95026236.0 * 86400 + 86399;  // 262142-12-31 23:59:59
    const struct { double ts; TimestampRounding rounding; std::optional<Instant> expected; } cases[] = {
        {-0.5, kNear, at(1969, 12, 31, 23, 59, 59, 500'000'000)}, {-0.5, kZero, at(1970, 1, 1)},
        {-1.25, kZero, at(1969, 12, 31, 23, 59, 59)},             {1.000001, kNear, at(1970, 1, 1, 0, 0, 1, 1000)},
        {1.75, kZero, at(1970, 1, 1, 0, 0, 1, 750'000'000)},
        // A fraction that rounds up to a whole second becomes a leap second at :59
        // and is unrepresentable anywhere else.
        {59.9999999999, kNear, at(1970, 1, 1, 0, 0, 59, 1'000'000'000)}, {0.9999999999, kNear, std::nullopt},
        {0.9999999999, kZero, at(1970, 1, 1, 0, 0, 0, 999'999'999)},
        {kLastSecond, kNear, at(262142, 12, 31, 23, 59, 59)}, {kLastSecond + 1, kZero, std::nullopt},
        {-1e300, kNear, std::nullopt}, {1e300, kZero, std::nullopt}, {kInf, kNear, std::nullopt},
        {-kInf, kZero, std::nullopt},  {kNaN, kNear, std::nullopt},  {kNaN, kZero, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(instant_from_timestamp(c.ts, c.rounding), c.expected)
            << c.ts << (c.rounding == kNear ? " nearest" : " toward zero");
}

TEST(Instant, WholeSecondsTruncateTowardZero) {
    const struct { Instant from, to; std::int64_t seconds; } cases[] = {
        {at(2024, 1, 1, 0, 0, 0, 500'000'000), at(2024, 1, 1, 0, 0, 1, 400'000'000), 0},
        {at(2024, 1, 1, 0, 0, 0, 400'000'000), at(2024, 1, 1, 0, 0, 2, 500'000'000), 2},
        {at(2024, 1, 1, 0, 0, 2, 500'000'000), at(2024, 1, 1, 0, 0, 0, 600'000'000), -1},
        {at(2023, 12, 31, 23, 59, 59, 900'000'000), at(2024, 1, 1, 0, 0, 0, 100'000'000), 0},
        {at(2024, 1, 1), at(2024, 1, 1, 0, 0, 59, 1'999'999'999), 60},
        {at(2024, 1, 1, 0, 0, 59, 1'500'000'000), at(2024, 1, 1, 0, 1, 0), 0},
        {at(2024, 1, 1, 0, 0, 59, 1'500'000'000), at(2024, 1, 1, 0, 1, 1, 600'000'000), 1},
        {Instant{Date::min(), 0, 0}, Instant{Date::max(), 86399, 999'999'999},
         (95026236LL + 96465292LL) * 86400 + 86399},
    };
    for (const auto& c : cases) EXPECT_EQ(whole_seconds_between(c.from, c.to), c.seconds);
}

TEST(Instant, NowIsTheSystemClock) {
    const auto before = std::chrono::system_clock::now();
    const Instant now = now_utc();
    const auto after = std::chrono::system_clock::now();
    const auto secs = [](auto tp) { return std::chrono::floor<std::chrono::seconds>(tp).time_since_epoch().count(); };
    const std::int64_t n = whole_seconds_between(at(1970, 1, 1), now);
    EXPECT_LE(secs(before), n);
    EXPECT_GE(secs(after), n);
    EXPECT_LT(now.nanosecond, 1'000'000'000u);
}

}  // namespace
}  // namespace vorel
