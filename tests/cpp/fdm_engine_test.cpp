// The finite-difference engine end to end: steps, dividends, accuracy, failures.

#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

#include "execution/closed_form.hpp"
#include "orchestration/fdm.hpp"
#include "fdm_test_support.hpp"

namespace vorel {
namespace {

using test::panic_text;
using namespace fdm_test;

double price(const VanillaOption& o, const std::vector<Dividend>& divs = {}, const FdmConfig& c = config(),
             double spot = 100.0, double r = 0.05, double q = 0.0, double sigma = 0.2) {
    return price_fdm(o, divs, kNow, c, spot, sigma, r, q)->price;
}

TEST(FdmSteps, NearestHalvesAwayAtLeastOne) {
    EXPECT_EQ(interval_steps(0.45, 1.0, 10), 5u);  // 4.5
    EXPECT_EQ(interval_steps(0.55, 1.0, 10), 6u);  // 5.5
    EXPECT_EQ(interval_steps(0.01, 1.0, 10), 1u);
    EXPECT_EQ(interval_steps(1.0, 1.0, 0), 1u);
    EXPECT_EQ(interval_steps(NAN, 1.0, 10), 1u);
    EXPECT_EQ(interval_steps(1.0, 1e-300, std::numeric_limits<std::uint64_t>::max()),
              std::numeric_limits<std::uint64_t>::max());
}

TEST(FdmEngine, EuropeanConvergesToTheClosedForm) {
    const VanillaOption call = option(Call, European);
    const PricingResult exact = price_analytic(call, years_to_expiry(call, kNow), 100.0, 0.2, 0.05, 0.0);
    // From 201 x 20 on: at 101 x 10 the time and space errors partly cancel.
    double previous = 1.0;
    for (std::uint64_t k : {2, 4, 8, 16}) {
        const PricingResult fdm = price_fdm(call, {}, kNow, config(100 * k + 1, 10 * k), 100.0, 0.2, 0.05, 0.0).value();
        const double error = std::abs(fdm.price - exact.price);
        EXPECT_LT(error, previous / 3.0) << k;  // second order: about a quarter per doubling
        previous = error;
        EXPECT_NEAR(fdm.delta, exact.delta, 1e-3);
        EXPECT_NEAR(fdm.gamma, exact.gamma, 1e-4);
        EXPECT_NEAR(fdm.theta, exact.theta, 1e-2);
    }
    EXPECT_LT(previous, 2e-5);
}

// Default settings stay within about 0.15% (or 1.5e-3) of the closed form
// across spots and expiries, however far the spot sits from the strike (the
// worst case, a quarter-year call at 90, is 0.95 times that).
TEST(FdmEngine, DefaultSettingsHoldAcrossSpotsAndExpiries) {
    for (OptionType type : {Call, Put}) {
        for (double years : {1.0 / 365, 7.0 / 365, 30.0 / 365, 0.25, 1.0}) {
            const VanillaOption o = option(type, European, years);
            for (double spot = 60.0; spot <= 200.0; spot += 10.0) {
                const double exact = price_analytic(o, years_to_expiry(o, kNow), spot, 0.2, 0.05, 0.0).price;
                const double fdm = price(o, {}, config(), spot);
                EXPECT_NEAR(fdm, exact, std::max(1.5e-3, 1.5e-3 * exact)) << years << ' ' << spot;
            }
        }
    }
}

// Converged values of a binomial tree written independently of the engine
// (4000 and 8000 steps extrapolated, closed form at the last step; the
// dividend, paid at half the life, by interpolation across its level), good to
// about 3e-5. at_defaults is the tolerance at 101 x 10.
struct Reference { OptionType type; ExerciseStyle style; double r, q, dividend, value, at_defaults; };
class References : public ::testing::TestWithParam<Reference> {};
TEST_P(References, AreMetAtDefaultsAndCloselyUnderRefinement) {
    const Reference& c = GetParam();
    const auto divs = c.dividend > 0.0 ? cash({{0.5, c.dividend}}) : std::vector<Dividend>{};
    const VanillaOption o = option(c.type, c.style);
    EXPECT_NEAR(price(o, divs, config(), 100.0, c.r, c.q), c.value, c.at_defaults);
    EXPECT_NEAR(price(o, divs, config(801, 800), 100.0, c.r, c.q), c.value, 2e-4);
}
INSTANTIATE_TEST_SUITE_P(FdmEngine, References,
                         ::testing::Values(Reference{Put, American, 0.05, 0.0, 0.0, 6.090375, 2e-3},
                                           // Ten steps share out as five on either side of the dividend.
                                           Reference{Put, American, 0.05, 0.0, 2.0, 6.922950, 4e-3},
                                           Reference{Call, European, 0.05, 0.0, 2.0, 9.321311, 2e-3},
                                           Reference{Call, American, 0.05, 0.06, 0.0, 7.256688, 2e-3},
                                           Reference{Call, American, 0.02, 0.08, 0.0, 5.739226, 2e-3},
                                           // r = 0: never exercised early, the European closed form.
                                           Reference{Put, American, 0.0, 0.05, 0.0, 10.450584, 2e-3}));

TEST(FdmEngine, AmericanCallWithoutYieldIsTheEuropeanCall) {
    // Never exercised early: both styles take the same steps.
    for (double spot : {60.0, 100.0, 180.0})
        EXPECT_EQ(price(option(Call, American), {}, config(), spot), price(option(Call, European), {}, config(), spot));
}

// A call is the put with spot and strike, rate and yield exchanged:
// C(S, K, r, q) = P(K, S, q, r), American as European.
struct Symmetry { double spot, years, sigma, r, q; };
class PutCallSymmetry : public ::testing::TestWithParam<Symmetry> {};
TEST_P(PutCallSymmetry, HoldsAtFineGrids) {
    const auto [spot, years, sigma, r, q] = GetParam();
    for (ExerciseStyle style : {American, European}) {
        const double call = price_fdm(option(Call, style, years, 100.0), {}, kNow, config(801, 800), spot,
                                      sigma, r, q)->price;
        const double put = price_fdm(option(Put, style, years, spot), {}, kNow, config(801, 800), 100.0,
                                     sigma, q, r)->price;
        EXPECT_NEAR(call, put, 1e-3 * std::max(1.0, call)) << debug_text(style);
    }
}
INSTANTIATE_TEST_SUITE_P(FdmEngine, PutCallSymmetry,
                         ::testing::Values(Symmetry{200.0, 5.0, 0.6, 0.03, 0.08}, Symmetry{80.0, 1.0, 0.2, 0.0, 0.05},
                                           Symmetry{130.0, 0.5, 0.4, -0.01, 0.06},
                                           Symmetry{100.0, 2.0, 0.15, 0.08, 0.02}));

// No setting, regime or spot gives an American price below its exercise value
// or below the European price on the same grid.
struct Regime { OptionType type; double r, q; };
class AmericanBounds : public ::testing::TestWithParam<Regime> {};
TEST_P(AmericanBounds, NeverBelowExerciseOrEuropean) {
    const auto [type, r, q] = GetParam();
    const double phi = type == Call ? 1.0 : -1.0;
    FdmConfig coarse_log = config(21, 3);
    coarse_log.transform = TransformConfig::log();
    for (const FdmConfig& c : {config(), config(51, 5), config(201, 50), coarse_log}) {
        for (double years : {1.0 / 365, 0.5, 3.0}) {
            for (double sigma : {0.08, 0.5}) {
                for (double spot : {55.0, 92.0, 100.0, 140.0, 190.0}) {
                    const auto value = [&](ExerciseStyle style) {
                        return price_fdm(option(type, style, years), {}, kNow, c, spot, sigma, r, q)->price;
                    };
                    const double american = value(American);
                    const double floor = std::max({phi * (spot - 100.0), 0.0, value(European)});
                    EXPECT_GE(american, floor - 1e-9 * std::max(1.0, floor))
                        << c.grid_nodes << 'x' << c.time_steps << ' ' << years << ' ' << sigma << ' ' << spot;
                }
            }
        }
    }
}
INSTANTIATE_TEST_SUITE_P(FdmEngine, AmericanBounds,
                         ::testing::Values(Regime{Put, 0.05, 0.0}, Regime{Put, 0.0, 0.05}, Regime{Put, -0.02, 0.03},
                                           Regime{Call, 0.03, 0.08}, Regime{Call, 0.05, 0.02},
                                           Regime{Call, -0.02, 0.0}));

TEST(FdmEngine, DeepInTheExerciseRegionValueDoesNotMoveWithTime) {
    // A put far below its boundary and a call far above its own.
    const PricingResult put = price_fdm(option(Put, American), {}, kNow, config(), 50.0, 0.2, 0.05, 0.0).value();
    const PricingResult call = price_fdm(option(Call, American), {}, kNow, config(), 250.0, 0.2, 0.03, 0.08).value();
    for (const auto& [result, value, delta] : {std::tuple{put, 50.0, -1.0}, std::tuple{call, 150.0, 1.0}}) {
        EXPECT_NEAR(result.price, value, 1e-9);
        EXPECT_NEAR(result.delta, delta, 1e-9);
        EXPECT_NEAR(result.gamma, 0.0, 1e-9);
        EXPECT_EQ(result.theta, 0.0);
    }
}

TEST(FdmEngine, AmericanConvergesAtLeastAtFirstOrder) {
    const VanillaOption put = option(Put, American);
    std::vector<double> errors;
    for (int k : {2, 4, 8}) errors.push_back(std::abs(price(put, {}, config(100 * k + 1, 10 * k)) - 6.090375));
    for (std::size_t i = 1; i < errors.size(); ++i) EXPECT_GE(std::log2(errors[i - 1] / errors[i]), 1.0) << i;
}

// Grids follow the drift and long lives: European prices against the closed form.
struct Drifting { OptionType type; double spot, years, sigma, r, q, tolerance; };  // tolerance at the defaults
class DriftAndLongLives : public ::testing::TestWithParam<Drifting> {};
TEST_P(DriftAndLongLives, EuropeanMeetsTheClosedForm) {
    const Drifting& c = GetParam();
    const VanillaOption o = option(c.type, European, c.years);
    const double exact = price_analytic(o, years_to_expiry(o, kNow), c.spot, c.sigma, c.r, c.q).price;
    EXPECT_NEAR(price_fdm(o, {}, kNow, config(), c.spot, c.sigma, c.r, c.q)->price, exact, c.tolerance);
    EXPECT_NEAR(price_fdm(o, {}, kNow, config(801, 800), c.spot, c.sigma, c.r, c.q)->price, exact, c.tolerance / 50);
}
INSTANTIATE_TEST_SUITE_P(FdmEngine, DriftAndLongLives,
                         ::testing::Values(Drifting{Put, 75.36, 2.0, 0.1, 0.005, 0.065, 1e-3},
                                           Drifting{Put, 60.0, 10.0, 0.01, 0.0, 0.05, 1e-2},
                                           Drifting{Call, 100.0, 10.0, 0.01, 0.06, 0.0, 1e-2},
                                           Drifting{Call, 100.0, 100.0, 0.2, 0.05, 0.02, 0.1},
                                           Drifting{Call, 200.0, 5.0, 1.0, 0.1, 0.0, 0.1}));

// A dividend at least the spot's distance to the grid's bottom (about 55
// here): the march still covers the spot, and what the stock cannot pay leaves
// it at zero.
class LargeDividends : public ::testing::TestWithParam<double> {};
TEST_P(LargeDividends, PricesStaySound) {
    const double amount = GetParam();
    const auto divs = cash({{0.5, amount}});
    for (ExerciseStyle style : {American, European}) {
        for (const FdmConfig& c : {config(), config(801, 800)}) {
            for (OptionType type : {Put, Call}) {
                const double value = price(option(type, style), divs, c);
                EXPECT_TRUE(value >= 0.0 && value <= 100.0) << value;
            }
        }
    }
    if (amount < 300.0) return;
    // The stock is worth nothing after the ex-date: the put pays the strike,
    // at once when American.
    EXPECT_NEAR(price(option(Put, American), divs), 100.0 * std::exp(-0.025), 3e-4);
    EXPECT_NEAR(price(option(Put, European), divs), 100.0 * std::exp(-0.05), 3e-4);
    EXPECT_NEAR(price(option(Call, European), divs), 0.0, 1e-4);
}
INSTANTIATE_TEST_SUITE_P(FdmEngine, LargeDividends, ::testing::Values(40.0, 60.0, 99.0, 150.0, 300.0));

// Grids so wide (four standard deviations at volatilities of 5 to 20 reach
// e^±20 to e^±80 around the strike) that the nodes far below a dividend would
// run together if moved by it.
TEST(FdmEngine, DividendOnAVeryWideGridPricesSoundly) {
    for (double sigma : {5.0, 10.0, 20.0}) {
        const double with = price(option(Put, European), cash({{0.7, 1.0}}), config(), 100.0, 0.05, 0.0, sigma);
        EXPECT_TRUE(with > 90.0 && with <= 100.0) << sigma << ' ' << with;
    }
}

TEST(FdmEngine, ExDatesSecondsApartEachPayTheirOwnAmount) {
    const VanillaOption put = option(Put, American);
    // The same two stops (about ten seconds apart), all of the 3.0 paid at the first.
    const double together = price(put, cash({{0.55, 3.0}, {0.55 + 3e-7, 0.0}}));
    const double apart = price(put, cash({{0.55, 1.0}, {0.55 + 3e-7, 2.0}}));
    EXPECT_NEAR(apart, together, 1e-6);
}

TEST(FdmEngine, Failures) {
    const VanillaOption put = option(Put, American);
    EXPECT_EQ(panic_text([&] { price(put, {}, config(1)); }),
              "TridiagonalOperator requires at least 3 elements, found 1");
    EXPECT_TRUE(std::isfinite(price(put, {}, config(3))));
    EXPECT_THROW(price(put, {}, config(std::numeric_limits<std::uint64_t>::max())), std::bad_alloc);
    EXPECT_EQ(panic_text([&] { price(option(Put, European, 0.0)); }), "Solver never ran");
    EXPECT_EQ(panic_text([&] { price(option(Call, American, -0.1)); }), "Solver never ran");
}

// Degenerate numbers flow through as IEEE arithmetic says; nothing may index
// out of bounds or convert a NaN to an integer (the sanitizer build checks).
TEST(FdmEngine, DegenerateInputsRunToTheEnd) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (OptionType type : {Call, Put}) {
        for (ExerciseStyle style : {European, American}) {
            for (double strike : {100.0, 0.0, -5.0, nan, inf}) {
                const VanillaOption o = option(type, style, 0.5, strike);
                for (double spot : {100.0, nan, inf, -inf, 0.0, -1.0, 1e300}) {
                    for (double sigma : {0.2, 0.0, -0.2, nan, inf}) {
                        (void)price_fdm(o, cash({{0.25, 1.0}}), kNow, config(7, 3), spot, sigma, nan, inf);
                        (void)price_fdm(o, {}, kNow, config(7, 3), spot, sigma, 0.05, 0.0);
                    }
                }
            }
        }
    }
    FdmConfig odd = config(9, 4);
    odd.grid_std_devs = -1.0;
    odd.transform = TransformConfig::sinh(0.0);
    (void)price_fdm(option(Put, American), {}, kNow, odd, 100.0, 0.2, 0.05, 0.0);
}

}  // namespace
}  // namespace vorel
