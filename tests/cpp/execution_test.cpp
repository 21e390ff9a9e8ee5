#include <cmath>
#include <string>
#include <variant>

#include "execution/implied_vol.hpp"
#include "execution/pricing_policy.hpp"
#include "execution/valuation.hpp"
#include "test_support.hpp"

namespace vorel {
namespace {

using pricing_method::Analytic;
using pricing_method::Fdm;
using pricing_method::FdmDefault;
using pricing_method::Unset;
constexpr auto kAmerican = ExerciseStyle::American;
constexpr auto kEuropean = ExerciseStyle::European;
constexpr auto kCall = OptionType::Call;
constexpr auto kPut = OptionType::Put;

// The method kinds of (American, Put), (American, Call), (European, Put), (European, Call).
std::string kinds(const Config& config) {
    std::string out;
    for (const auto& [style, type] : {std::pair{kAmerican, kPut}, {kAmerican, kCall}, {kEuropean, kPut},
                                      {kEuropean, kCall}}) {
        out += "UAdF"[method_for(config, style, type).index()];
    }
    return out;
}

TEST(PricingPolicy, AppliesToMatchingSlotsLaterPoliciesWin) {
    EXPECT_EQ(kinds(Config{}), "UUUU");
    EXPECT_EQ(kinds(default_config()), "ddUU");
    EXPECT_EQ(kinds(apply_policy(default_config(), {FdmDefault{}, {}, {}})), "dddd");
    EXPECT_EQ(kinds(apply_policy(default_config(), {Analytic{}, {}, {kPut}})), "AdAU");
    EXPECT_EQ(kinds(apply_policy(default_config(), {Unset{}, {kAmerican, kAmerican}, {}})), "UUUU");
    const Config first = apply_policy(Config{}, {Fdm{FdmConfig{{}, 201, 20, 4.0}}, {kAmerican}, {kCall}});
    EXPECT_EQ(kinds(first), "UFUU");
    EXPECT_EQ(fdm_settings(method_for(first, kAmerican, kCall))->grid_nodes, 201u);
    EXPECT_EQ(kinds(apply_policy(first, {Analytic{}, {}, {kCall}})), "UAUA");
    EXPECT_EQ(fdm_settings(FdmDefault{})->grid_nodes, 101u);
    EXPECT_FALSE(fdm_settings(Unset{}));
}

TEST(Brent, LinearRootBySecantInOneRound) {
    int calls = 0;
    const auto root = brent([&](double x) { return ++calls, x - 0.3; }, 1e-4, 100);
    ASSERT_TRUE(root);
    EXPECT_NEAR(*root, 0.3, 1e-15);
    EXPECT_EQ(calls, 3);  // both ends, then the secant lands on the root
}

TEST(Brent, EndsFailuresAndMessages) {
    const auto line = [](double offset) { return [=](double x) { return x - offset; }; };
    EXPECT_EQ(*brent(line(0.1 + 5e-5), 1e-4, 0), VOL_LOW);  // ends are tested before the round limit
    EXPECT_EQ(*brent(line(5.0 - 5e-5), 1e-4, 0), VOL_HIGH);
    for (const std::uint64_t rounds : {0, 1}) {
        const auto failed = brent([](double x) { return std::expm1(3.0 * (x - 2.0)); }, 1e-12, rounds);
        EXPECT_EQ(failed.error().message, "Brent's method failed to converge within max iterations");
    }
}

}  // namespace
}  // namespace vorel
