#include <memory>

#include "market/market_frame.hpp"
#include "test_support.hpp"

namespace vorel {
namespace {

MarketFrameData sample_frame() {
    return {100.0, RateCurve::continuous(0.05, DayCountConvention::actual_365_fixed()),
            VolSurface::flat(0.2, DayCountConvention::actual_365_fixed()),
            DividendSchedule({{test::at(2025, 3, 1), 1.0}}),
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
