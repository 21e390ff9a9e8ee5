// The lock-step engine against price_fdm: every lane's result, every field and
// every error, bit for bit, on every kernel variant this machine runs.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/interrupt.hpp"
#include "orchestration/fdm_lanes.hpp"
#include "fdm_test_support.hpp"

namespace vorel {
namespace {

using namespace fdm_test;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Equal bits, or both NaN.
bool same(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) ||
                                       (std::isnan(a) && std::isnan(b)); }
bool same(const std::optional<double>& a, const std::optional<double>& b) {
    return a.has_value() == b.has_value() && (!a || same(*a, *b));
}

// "" when equal, else what differs.
std::string difference(const Result<PricingResult>& lanes, const Result<PricingResult>& scalar) {
    if (lanes.ok() != scalar.ok()) {
        return lanes.ok() ? "lanes priced, scalar failed: " + scalar.error().message
                          : "lanes failed: " + lanes.error().message;
    }
    if (!lanes.ok()) {
        const bool equal = lanes.error().kind == scalar.error().kind && lanes.error().message == scalar.error().message;
        return equal ? "" : "errors differ: " + lanes.error().message + " / " + scalar.error().message;
    }
    const PricingResult& a = *lanes;
    const PricingResult& b = *scalar;
    std::string out;
    const auto field = [&](const char* name, double x, double y) {
        if (!same(x, y)) out += std::string(name) + " " + std::to_string(x) + " vs " + std::to_string(y) + "; ";
    };
    field("price", a.price, b.price);
    field("delta", a.delta, b.delta);
    field("gamma", a.gamma, b.gamma);
    field("theta", a.theta, b.theta);
    if (!same(a.vega, b.vega) || !same(a.rho, b.rho)) out += "vega or rho; ";
    return out;
}

// One lane's market and contract besides the option type and style.
struct Quote {
    double strike, years, spot, sigma, r, q;
};

// Near the strike, deep in and out of the money, low and high volatility,
// negative and zero rates, a yield above the rate. One more than the widest
// kernel holds, so that the whole table fills a group and starts another.
const std::vector<Quote> kQuotes = {
    {100.0, 1.0, 100.0, 0.2, 0.05, 0.0},   {90.0, 0.5, 100.5, 0.35, 0.0, 0.02}, {120.0, 2.0, 60.0, 0.15, 0.1, 0.0},
    {100.0, 1.0, 250.0, 0.5, -0.01, 0.03}, {100.0, 0.25, 99.0, 0.1, 0.03, 0.08}, {75.0, 1.5, 100.0, 0.25, 0.05, 0.0},
    {100.0, 1.0, 30.0, 0.6, 0.02, 0.01},   {140.0, 3.0, 100.0, 0.2, 0.07, 0.0}, {100.0, 0.1, 101.0, 0.05, 0.0, 0.0},
    {100.0, 1.0, 100.0, 0.3, 0.04, 0.05},  {100.0, 0.8, 1000.0, 0.2, 0.05, 0.0}, {110.0, 0.6, 105.0, 0.45, 0.06, 0.01},
    {95.0, 1.2, 80.0, 0.12, 0.02, 0.04},   {100.0, 2.5, 140.0, 0.8, 0.09, 0.0}, {60.0, 0.3, 62.0, 0.22, -0.02, 0.0},
    {100.0, 1.0, 100.0, 0.02, 0.05, 0.05}, {130.0, 0.7, 128.0, 0.3, 0.0, 0.06},
};
const std::size_t kAll = kQuotes.size();

struct Case {
    const char* name;
    OptionType type;
    ExerciseStyle style;
    TransformConfig transform;
    std::uint64_t nodes, steps;
    std::vector<std::pair<double, double>> dividends;  // (years, amount)
    bool one_expiry;     // every lane expires in a year (with dividends, so that the intervals' steps agree)
    std::size_t lanes;   // the first `lanes` quotes
    bool always_interrupt;
    bool one_group = true;  // every lane can run in lock-step with the first
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const TransformConfig kSinh = TransformConfig::sinh(0.3);
const TransformConfig kLog = TransformConfig::log();

class LanesMatchScalar : public ::testing::TestWithParam<Case> {};

TEST_P(LanesMatchScalar, BitForBitOnEveryKernel) {
    const Case& c = GetParam();
    std::vector<Dividend> dividends;
    for (const auto& [years, amount] : c.dividends) {
        dividends.push_back({after(years), amount});
    }
    FdmConfig settings = config(c.nodes, c.steps);
    settings.transform = c.transform;

    std::vector<VanillaOption> options;
    std::vector<FdmSchedule> schedules;
    for (std::size_t i = 0; i < c.lanes; ++i) {
        const Quote& quote = kQuotes[i];
        options.push_back(option(c.type, c.style, c.one_expiry ? 1.0 : quote.years, quote.strike));
        schedules.push_back(fdm_schedule(options.back(), dividends, kNow));
    }
    std::vector<FdmLane> lanes;
    for (std::size_t i = 0; i < c.lanes; ++i) {
        const Quote& quote = kQuotes[i];
        lanes.push_back({&options[i], &schedules[i], quote.spot, quote.sigma, quote.r, quote.q});
    }
    // The table's lanes all run in lock-step, so a group is never priced one by one.
    if (c.one_group) {
        for (const FdmLane& lane : lanes) EXPECT_TRUE(fdm_lanes_match(lanes[0], lane, settings));
    }

    std::optional<InterruptScope> scope;
    if (c.always_interrupt) scope.emplace([]() noexcept { return true; });
    std::vector<Result<PricingResult>> expected;
    for (const FdmLane& lane : lanes) {
        expected.push_back(price_fdm(*lane.option, dividends, *lane.schedule, settings, lane.spot, lane.sigma, lane.r,
                                     lane.q));
    }
    FdmLaneWorkspace workspace;
    for (const simd::Level kernel : {simd::Level::Portable, simd::Level::Avx2, simd::Level::Avx512}) {
        if (kernel > simd::detected_level()) continue;
        // The table in slices of every size from one lane (price_fdm) to all of
        // them: each of the level's kernels, single or several vector chains,
        // runs full groups and partial ones, every lane of a chain used.
        for (std::size_t size = 1; size <= lanes.size(); ++size) {
            for (std::size_t from = 0; from < lanes.size(); from += size) {
                const std::size_t count = std::min(size, lanes.size() - from);
                std::vector<Result<PricingResult>> out(count, Err{Error::invalid_input("unset")});
                price_fdm_lanes(kernel, std::span(lanes).subspan(from, count), dividends, settings, out, workspace);
                for (std::size_t i = 0; i < count; ++i) {
                    EXPECT_EQ(difference(out[i], expected[from + i]), "")
                        << "kernel " << static_cast<int>(kernel) << " slices of " << size << " lane " << from + i;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    FdmLanes, LanesMatchScalar,
    ::testing::Values(
        Case{"AmericanPutSinh", Put, American, kSinh, 101, 10, {}, false, kAll, false},
        Case{"EuropeanPutLog", Put, European, kLog, 101, 10, {}, false, kAll, false},
        Case{"EuropeanCallSinh", Call, European, kSinh, 51, 7, {}, false, kAll, false},
        Case{"AmericanPutLogFine", Put, American, kLog, 401, 120, {}, false, kAll, false},
        Case{"ThreeNodesOneStep", Put, American, kSinh, 3, 1, {}, false, kAll, false},
        Case{"ThreeNodesEuropean", Call, European, kLog, 3, 2, {}, false, 5, false},
        Case{"FourNodesTwoSteps", Call, American, kLog, 4, 2, {}, false, 3, false},
        Case{"AmericanCallDividends", Call, American, kSinh, 101, 20, {{0.3, 2.5}, {0.6, 4.0}}, true, kAll, false},
        Case{"EuropeanPutLargeDividend", Put, European, kLog, 101, 10, {{0.5, 60.0}}, true, kAll, false},
        Case{"AmericanPutLargeDividends", Put, American, kSinh, 61, 15, {{0.2, 30.0}, {0.7, 45.0}}, true, kAll, false},
        Case{"DividendAfterExpiry", Put, American, kSinh, 101, 10, {{0.9, 3.0}}, false, kAll, false, false},
        // A march shorter than the poll's period never asks it; a longer one stops.
        Case{"InterruptNeverAsked", Put, American, kSinh, 101, 10, {}, false, kAll, true},
        Case{"InterruptStops", Put, American, kSinh, 301, 30, {{0.4, 2.0}}, true, kAll, true}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// Lanes that cannot run in lock-step with the others (a σ that is not
// positive, a non-finite input, another option type or exercise style, a
// schedule with other steps, one that overflows into a bad pivot) are priced
// alone or in their own group, each as price_fdm prices it.
TEST(FdmLanes, MixedLanesFallBackAndKeepTheirResults) {
    const std::vector<Dividend> dividends = cash({{0.4, 1.5}});
    const FdmConfig settings = config(41, 8);
    const std::vector<VanillaOption> options = {
        option(Put, American, 1.0),  option(Call, American, 1.0), option(Put, European, 1.0),
        option(Put, American, 0.45), option(Put, American, 1.0),  option(Put, American, 1.0),
        option(Put, American, 1.0),  option(Put, American, 1.0),  option(Put, American, 1.0, 0.0)};
    const std::vector<Quote> quotes = {
        {0, 0, 100.0, 0.2, 0.05, 0.0}, {0, 0, 100.0, 0.2, 0.05, 0.0},  {0, 0, 100.0, 0.2, 0.05, 0.0},
        {0, 0, 100.0, 0.2, 0.05, 0.0}, {0, 0, 100.0, 0.0, 0.05, 0.0},  {0, 0, kNaN, 0.2, 0.05, 0.0},
        {0, 0, 100.0, 1e200, 0.05, 0.0}, {0, 0, 95.0, 0.3, 0.01, 0.02},
        {0, 0, 100.0, 0.2, 0.05, 0.0}};
    std::vector<FdmSchedule> schedules;
    for (const VanillaOption& o : options) schedules.push_back(fdm_schedule(o, dividends, kNow));
    std::vector<FdmLane> lanes;
    for (std::size_t i = 0; i < options.size(); ++i) {
        lanes.push_back({&options[i], &schedules[i], quotes[i].spot, quotes[i].sigma, quotes[i].r, quotes[i].q});
    }
    EXPECT_FALSE(fdm_lanes_match(lanes[0], lanes[1], settings));  // type
    EXPECT_FALSE(fdm_lanes_match(lanes[0], lanes[2], settings));  // style
    EXPECT_FALSE(fdm_lanes_match(lanes[0], lanes[3], settings));  // stops
    EXPECT_FALSE(fdm_lanes_match(lanes[0], lanes[4], settings));  // σ = 0
    EXPECT_FALSE(fdm_lanes_match(lanes[0], lanes[5], settings));  // NaN spot
    EXPECT_TRUE(fdm_lanes_match(lanes[0], lanes[6], settings));   // finite, though it fails
    FdmLaneWorkspace workspace;
    for (const simd::Level kernel : {simd::Level::Portable, simd::Level::Avx2, simd::Level::Avx512}) {
        if (kernel > simd::detected_level()) continue;
        std::vector<Result<PricingResult>> out(lanes.size(), Err{Error::invalid_input("unset")});
        price_fdm_lanes(kernel, lanes, dividends, settings, out, workspace);
        for (std::size_t i = 0; i < lanes.size(); ++i) {
            const FdmLane& lane = lanes[i];
            const auto expected =
                price_fdm(*lane.option, dividends, *lane.schedule, settings, lane.spot, lane.sigma, lane.r, lane.q);
            EXPECT_EQ(difference(out[i], expected), "") << "kernel " << static_cast<int>(kernel) << " lane " << i;
        }
    }
}

// A lane whose factorisation meets a bad pivot (σ so large that the operator
// overflows) fails as price_fdm does wherever it sits in its group, in any
// chain of any kernel, and the lanes beside it keep their prices.
TEST(FdmLanes, BadPivotInEveryPosition) {
    const std::vector<Dividend> dividends;
    const FdmConfig settings = config(41, 8);
    const VanillaOption put = option(Put, American, 1.0);
    const FdmSchedule schedule = fdm_schedule(put, dividends, kNow);
    constexpr std::size_t kLanes = 17;
    std::vector<FdmLane> healthy;
    std::vector<Result<PricingResult>> healthy_expected;
    for (std::size_t i = 0; i < kLanes; ++i) {
        const double spot = 80.0 + 2.5 * static_cast<double>(i);
        healthy.push_back({&put, &schedule, spot, 0.25, 0.03, 0.01});
        healthy_expected.push_back(price_fdm(put, dividends, schedule, settings, spot, 0.25, 0.03, 0.01));
    }
    FdmLane failing = healthy[0];
    failing.sigma = 1e200;
    const Result<PricingResult> failing_expected =
        price_fdm(put, dividends, schedule, settings, failing.spot, failing.sigma, failing.r, failing.q);
    ASSERT_FALSE(failing_expected.ok());
    ASSERT_TRUE(fdm_lanes_match(healthy[0], failing, settings));

    FdmLaneWorkspace workspace;
    for (const simd::Level kernel : {simd::Level::Portable, simd::Level::Avx2, simd::Level::Avx512}) {
        if (kernel > simd::detected_level()) continue;
        for (std::size_t size = 2; size <= kLanes; ++size) {
            for (std::size_t bad = 0; bad < size; ++bad) {
                std::vector<FdmLane> lanes(healthy.begin(), healthy.begin() + static_cast<std::ptrdiff_t>(size));
                lanes[bad] = failing;
                std::vector<Result<PricingResult>> out(size, Err{Error::invalid_input("unset")});
                price_fdm_lanes(kernel, lanes, dividends, settings, out, workspace);
                for (std::size_t i = 0; i < size; ++i) {
                    EXPECT_EQ(difference(out[i], i == bad ? failing_expected : healthy_expected[i]), "")
                        << "kernel " << static_cast<int>(kernel) << " group of " << size << " failing lane " << bad
                        << " lane " << i;
                }
            }
        }
    }
}

}  // namespace
}  // namespace vorel
