#include <cmath>
#include <limits>

#include "core/rate/interest_rate.hpp"
#include "test_support.hpp"

namespace vorel {
namespace {

using test::panic_text;

TEST(Compounding, DiscountFactorsAreExact) {
    const struct {
        double rate;
        Compounding compounding;
        double t, expected;
    } cases[] = {
        {0.05, Compounding::continuous(), 2.0, 0.9048374180359595},
        {0.05, Compounding::compounded(Frequency::SemiAnnual), 1.0, 0.9518143961927424},
        {0.05, Compounding::simple(), 0.5, 0.9756097560975611},
        {0.03, Compounding::compounded(Frequency::Monthly), 1.5, 0.9560511687418194},
        {-0.01, Compounding::compounded(Frequency::Quarterly), 2.0, 1.0202268879683893},
        {0.05, Compounding::simple(), 0.0, 1.0},
        {0.05, Compounding::compounded(Frequency::Annual), 0.0, 1.0},
        {0.05, Compounding::continuous(), 0.0, 1.0},
        {-0.5, Compounding::simple(), 2.0, std::numeric_limits<double>::infinity()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(discount_factor(c.rate, c.compounding, c.t), c.expected) << c.compounding.debug_text();
    }
}

TEST(Compounding, SimpleThenCompoundedHasNoFormula) {
    const InterestRate rate{DayCountConvention::actual_365_fixed(), 0.05,
                            Compounding::simple_then_compounded(Frequency::Annual)};
    EXPECT_EQ(panic_text([&] { (void)rate.discount_factor(1.0); }), "not yet implemented: Implement other logic");
}

}  // namespace
}  // namespace vorel
