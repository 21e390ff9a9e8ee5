#include <memory>

#include "market/market_frame.hpp"
#include "test_support.hpp"

namespace vorel {
namespace {

using test::panic_text;

TEST(VolSurface, TermStructureInterpolatesInTimeOnly) {
    auto by_time = LinearInterpolator::create(share({1.0, 2.0}), share({0.2, 0.3}));
    ASSERT_TRUE(by_time.ok());
    const VolSurface surface = VolSurface::term_structure(std::move(*by_time));
    EXPECT_DOUBLE_EQ(surface.volatility(50.0, 1.5), 0.25);
    EXPECT_EQ(surface.volatility(50.0, 1.0), surface.volatility(500.0, 1.0));
    EXPECT_EQ(panic_text([&] { (void)surface.day_count_convention(); }), "not yet implemented");
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

}  // namespace
}  // namespace vorel
