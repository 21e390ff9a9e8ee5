#include <cmath>

#include "core/period/day_count.hpp"
#include "test_support.hpp"

namespace vorel {
namespace {

using test::at;
using test::date;

const auto kUs = DayCountConvention::thirty_360(Thirty360Kind::UnitedStatesIsda);
const auto kEuro = DayCountConvention::thirty_360(Thirty360Kind::EurobondIsma);
const auto kGerman = DayCountConvention::thirty_360(Thirty360Kind::GermanIsda);
const auto kAct360 = DayCountConvention::actual_360();
const auto kAct365 = DayCountConvention::actual_365_fixed();
const auto kActAct = DayCountConvention::actual_actual(ActActKind::Isda);

TEST(DayCount, DaysBetween) {
    const struct { Date start, end; DayCountConvention convention; std::int64_t days; } cases[] = {
        // Python pins German 30/360 over January's end in 2024 and a backward Actual/360 count.
        {date(2024, 1, 31), date(2024, 2, 29), kUs, 29},     {date(2024, 1, 31), date(2024, 2, 29), kEuro, 29},
        {date(2023, 1, 30), date(2023, 3, 31), kUs, 60},     {date(2023, 1, 29), date(2023, 3, 31), kUs, 62},
        {date(2023, 1, 29), date(2023, 3, 31), kEuro, 61},   {date(2023, 2, 28), date(2023, 3, 31), kGerman, 30},
        {date(2023, 2, 28), date(2023, 3, 31), kEuro, 32},
        {date(2024, 2, 28), date(2024, 3, 31), kGerman, 32},  // not the last of February in 2024
        {date(2023, 3, 31), date(2023, 1, 30), kUs, -60},    {date(2023, 1, 1), date(2024, 1, 1), kActAct, 365},
    };
    for (const auto& c : cases)
        EXPECT_EQ(days_between(c.start, c.end, c.convention), c.days)
            << c.convention.debug_text() << " from " << c.start.days_since_epoch();
}

TEST(DayCount, YearFractionIsExactAndAntisymmetric) {
    const struct { Instant start, end; DayCountConvention convention; double expected; } cases[] = {
        {at(2024, 1, 1), at(2024, 1, 2), kAct360, 1.0 / 360.0},
        // Sub-second parts are dropped after the difference is taken.
        {at(2024, 1, 1, 0, 0, 0, 600'000'000), at(2024, 1, 1, 1, 0, 0, 500'000'000), kAct360,
         3599.0 / 31104000.0},
        {at(2024, 1, 1, 0), at(2024, 1, 1, 1, 0, 0, 999'999'999), kAct365, 3600.0 / 31536000.0},
        {at(2024, 1, 1), at(2025, 1, 1), kActAct, 1.0},
        {at(2023, 12, 31, 12), at(2024, 1, 1, 12), kActAct, 1.0 / 365.0 + 43200.0 / 31622400.0},
        {at(2024, 3, 1, 15), at(2024, 3, 2, 15), kActAct, 39.0 * 3600 / (366.0 * 86400)},
        {at(2020, 6, 15, 9), at(2024, 6, 15, 6), kActAct,
         ((200.0 / 366.0 + 1.0) + 1.0 + 1.0) + (166.0 * 86400 + 6 * 3600) / 31622400.0},
        {at(2024, 3, 2, 4), at(2024, 3, 2, 10), kUs, 0.0},
        {at(2024, 1, 31, 12), at(2024, 2, 29), kGerman, 30.0 / 360.0},
    };
    for (const auto& c : cases) {
        const std::string label = c.convention.debug_text();
        EXPECT_EQ(year_fraction(c.start, c.end, c.convention), c.expected) << label;
        EXPECT_EQ(year_fraction(c.end, c.start, c.convention), -c.expected) << label;
        const double same = year_fraction(c.start, c.start, c.convention);
        EXPECT_EQ(same, 0.0) << label;
        EXPECT_FALSE(std::signbit(same)) << label;
    }
}

TEST(DayCount, Equality) {
    EXPECT_EQ(kUs, DayCountConvention::thirty_360(Thirty360Kind::UnitedStatesIsda));
    EXPECT_NE(kUs, kEuro);
    EXPECT_NE(kAct360, kAct365);
    EXPECT_NE(kActAct, kUs);
}

}  // namespace
}  // namespace vorel
