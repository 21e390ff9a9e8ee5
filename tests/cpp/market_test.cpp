#include <cmath>
#include <memory>

#include "market/market_frame.hpp"
#include "test_support.hpp"

namespace vorel {
namespace {

using test::date;
using test::panic_text;

InterestRate continuous_rate(double r, DayCountConvention dc = DayCountConvention::actual_365_fixed()) {
    return InterestRate{std::move(dc), r, Compounding::continuous()};
}

RateCurve two_pillar_curve() {
    auto curve = RateCurve::interpolated(date(2024, 1, 1), {{TenorUnit::Years, 1}, {TenorUnit::Years, 2}},
                                         {continuous_rate(0.02), continuous_rate(0.03)});
    EXPECT_TRUE(curve.ok());
    return std::move(*curve);
}

TEST(RateCurve, InterpolatedCurvesTakeTheirPillarsConvention) {
    EXPECT_EQ(two_pillar_curve().day_count_convention().value(), DayCountConvention::actual_365_fixed());
    EXPECT_EQ(RateCurve::continuous(0.01, DayCountConvention::actual_360()).day_count_convention().value(),
              DayCountConvention::actual_360());
    auto mixed =
        RateCurve::interpolated(date(2024, 1, 1), {{TenorUnit::Years, 1}, {TenorUnit::Years, 2}},
                                {continuous_rate(0.02), continuous_rate(0.03, DayCountConvention::actual_360())});
    ASSERT_TRUE(mixed.ok());
    const Result<DayCountConvention> convention = mixed->day_count_convention();
    ASSERT_FALSE(convention);
    EXPECT_EQ(convention.error().message,
              "Mismatched day count conventions: the rate curve's pillars use Actual365Fixed and Actual360. They "
              "must be identical.");
}

TEST(RateCurve, PricesWithTheContinuousRateOfItsDiscountFactor) {
    const RateCurve simple = RateCurve::flat({DayCountConvention::actual_365_fixed(), 0.05, Compounding::simple()});
    EXPECT_EQ(simple.zero_rate(2.0), 0.05);
    EXPECT_NEAR(std::exp(-2.0 * simple.continuous_rate(2.0)), simple.discount_factor(2.0), 1e-16);
    EXPECT_EQ(simple.continuous_rate(0.0), 0.05);
    const RateCurve curve = two_pillar_curve();
    EXPECT_EQ(curve.continuous_rate(1.5), curve.zero_rate(1.5)) << "continuous pillars need no conversion";
}

TEST(VolSurface, TermStructureInterpolatesInTimeOnly) {
    auto by_time = LinearInterpolator::create(share({1.0, 2.0}), share({0.2, 0.3}));
    ASSERT_TRUE(by_time.ok());
    const VolSurface surface = VolSurface::term_structure(std::move(*by_time));
    EXPECT_DOUBLE_EQ(surface.volatility(50.0, 1.5), 0.25);
    EXPECT_EQ(surface.volatility(50.0, 1.0), surface.volatility(500.0, 1.0));
    EXPECT_EQ(panic_text([&] { (void)surface.day_count_convention(); }), "not yet implemented");
    EXPECT_EQ(VolSurface::flat(-0.1, DayCountConvention::actual_360()).volatility(1.0, -3.0), -0.1);
}

TEST(ValuationTime, ConvertsEachTagToAnInstant) {
    EXPECT_EQ(ValuationTime::at_date(date(2025, 3, 1)).to_instant(), test::at(2025, 3, 1));
    EXPECT_EQ(ValuationTime::at_instant(test::at(2025, 3, 1, 14, 30)).to_instant(), test::at(2025, 3, 1, 14, 30));
    ValuationTime unknown = ValuationTime::at_date(date(2025, 3, 1));
    unknown.tag = static_cast<ValuationTime::Tag>(2);
    EXPECT_EQ(panic_text([&] { (void)unknown.to_instant(); }), "not yet implemented");
}

MarketFrameData sample_frame() {
    return {100.0, RateCurve::continuous(0.05, DayCountConvention::actual_365_fixed()),
            VolSurface::flat(0.2, DayCountConvention::actual_365_fixed()),
            DividendSchedule({{ValuationTime::at_instant(test::at(2025, 3, 1)), 1.0}}),
            MarketFrameData::default_borrow_curve()};
}

TEST(MarketFrame, UpdatesAreCopyOnWrite) {
    MarketFrame frame(sample_frame());
    const MarketFrameData* unshared = &frame.data();
    frame.update([](MarketFrameData& data) { data.spot = 101.0; });
    EXPECT_EQ(&frame.data(), unshared) << "an unshared record is changed in place";

    const std::shared_ptr<const MarketFrameData> taken = frame.snapshot();
    frame.update([](MarketFrameData& data) {
        data.spot = 102.0;
        data.borrow_curve.reset();
    });
    EXPECT_EQ(taken->spot, 101.0);
    EXPECT_EQ(taken->borrow_rate(1.0), 0.0);
    EXPECT_TRUE(taken->borrow_curve.has_value());
    EXPECT_EQ(frame.data().spot, 102.0);
    EXPECT_FALSE(frame.data().borrow_curve.has_value());
    EXPECT_EQ(frame.data().dividends.entries().data(), taken->dividends.entries().data()) << "entries are shared";
}

TEST(MarketFrame, BorrowRateReadsTheCurveOrZero) {
    MarketFrameData data = sample_frame();
    data.borrow_curve = two_pillar_curve();
    EXPECT_EQ(data.borrow_rate(366.0 / 365.0), 0.02);
    data.borrow_curve.reset();
    EXPECT_EQ(data.borrow_rate(366.0 / 365.0), 0.0);
}

}  // namespace
}  // namespace vorel
