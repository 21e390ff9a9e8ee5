#include <cmath>
#include <limits>

#include "core/rate/interest_rate.hpp"
#include "test_support.hpp"

namespace vorel {
namespace {

TEST(Compounding, DiscountFactorsAreExact) {
    const struct { double rate; Compounding compounding; double t, expected; } cases[] = {
        // Continuous, semi-annual and simple discounting of 5% are pinned from Python.
        {0.03, Compounding::compounded(Frequency::Monthly), 1.5, 0.9560511687418194},
        {-0.01, Compounding::compounded(Frequency::Quarterly), 2.0, 1.0202268879683893},
        {0.05, Compounding::simple(), 0.0, 1.0}, {0.05, Compounding::continuous(), 0.0, 1.0},
        {0.05, Compounding::compounded(Frequency::Annual), 0.0, 1.0},
        {-0.5, Compounding::simple(), 2.0, std::numeric_limits<double>::infinity()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(discount_factor(c.rate, c.compounding, c.t), c.expected) << c.compounding.debug_text();
    }
}

TEST(Compounding, SimpleThenCompoundedIsSimpleUpToOnePeriod) {
    const Compounding rule = Compounding::simple_then_compounded(Frequency::SemiAnnual);
    for (const double t : {0.0, 0.25, 0.5, 0.75, 3.0}) {
        const Compounding same = t <= 0.5 ? Compounding::simple() : Compounding::compounded(Frequency::SemiAnnual);
        EXPECT_EQ(discount_factor(0.05, rule, t), discount_factor(0.05, same, t)) << t;
    }
}

// The continuous equivalent reproduces each rule's discount factor, also where
// the factor itself rounds to 1.
TEST(Compounding, ContinuousRateHasTheSameDiscountFactor) {
    const Compounding rules[] = {Compounding::simple(), Compounding::compounded(Frequency::Quarterly),
                                 Compounding::simple_then_compounded(Frequency::Annual),
                                 Compounding::continuous()};
    for (const Compounding rule : rules) {
        for (const double t : {1e-9, 0.3, 1.0, 2.5, 30.0}) {
            const double r = continuous_rate(0.05, rule, t);
            const double df = discount_factor(0.05, rule, t);
            EXPECT_NEAR(std::exp(-r * t), df, 1e-14 * df) << rule.debug_text() << " " << t;
            if (t == 1e-9 && rule.tag() != Compounding::Tag::Compounded) {
                EXPECT_NEAR(r, 0.05, 1e-10);
            }
        }
        EXPECT_EQ(continuous_rate(0.05, rule, 0.0), 0.05) << "no discounting at t = 0";
    }
}

}  // namespace
}  // namespace vorel
