// The finite-difference engine's refusals and stops: settings that cannot give
// a grid, working sets beyond memory, bad pivots, interrupts, and the dividend
// schedule the march reads.
//
// This file replaces the global operator new and delete (for the whole test
// binary) so that a test can measure the most memory a pricing holds.

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "core/interrupt.hpp"
#include "execution/implied_vol.hpp"
#include "methods/linear_operators/tridiagonal_operator.hpp"
#include "orchestration/fdm.hpp"
#include "fdm_test_support.hpp"

namespace {

std::atomic<std::size_t> g_live_bytes{0};
std::atomic<std::size_t> g_peak_bytes{0};

void* counted_allocation(std::size_t size) noexcept {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) return nullptr;
    const std::size_t live = g_live_bytes.fetch_add(malloc_usable_size(p), std::memory_order_relaxed) +
                             malloc_usable_size(p);
    std::size_t peak = g_peak_bytes.load(std::memory_order_relaxed);
    while (live > peak && !g_peak_bytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
    }
    return p;
}

void counted_release(void* p) noexcept {
    if (p == nullptr) return;
    g_live_bytes.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
    std::free(p);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* p = counted_allocation(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = counted_allocation(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return counted_allocation(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return counted_allocation(size); }
void operator delete(void* p) noexcept { counted_release(p); }
void operator delete[](void* p) noexcept { counted_release(p); }
void operator delete(void* p, std::size_t) noexcept { counted_release(p); }
void operator delete[](void* p, std::size_t) noexcept { counted_release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { counted_release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { counted_release(p); }

namespace vorel {
namespace {

using namespace fdm_test;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::uint64_t kUint64Max = std::numeric_limits<std::uint64_t>::max();

// Node counts whose byte count wraps round 2^64 to a small number (176 and 328
// bytes a node are 11·16 and 41·8) are still refused, the count given in full.
struct Oversized { std::uint64_t nodes; std::size_t dividends; };
class OversizedWork : public ::testing::TestWithParam<Oversized> {};
TEST_P(OversizedWork, IsTooLarge) {
    const Result<Unit> checked =
        check_fdm_settings(config(GetParam().nodes), GetParam().dividends, {std::uint64_t{1} << 40, false});
    ASSERT_FALSE(checked);
    EXPECT_EQ(checked.error().kind, ErrorKind::TooLarge);
    EXPECT_TRUE(checked.error().message.starts_with("the finite-difference working set of "));
    EXPECT_TRUE(checked.error().message.ends_with(" bytes exceeds this machine's memory of 1099511627776 bytes"));
}
INSTANTIATE_TEST_SUITE_P(Fdm, OversizedWork,
                         ::testing::Values(Oversized{(std::uint64_t{1} << 60) + 1, 0}, Oversized{kUint64Max, 1},
                                           Oversized{(std::uint64_t{1} << 61) + 1, 1}, Oversized{kUint64Max, 0},
                                           Oversized{std::uint64_t{1} << 33, 0}, Oversized{101, std::size_t{1} << 40}));

TEST(FdmSettings, MemoryMessageNamesTheWholeCountAndTheLimit) {
    const Result<Unit> checked = check_fdm_settings(config((std::uint64_t{1} << 60) + 1), 0, {1000, true});
    EXPECT_EQ(checked.error().message,
              "the finite-difference working set of 202914184810805067952 bytes exceeds this process's memory limit "
              "of 1000 bytes");
}

// A soft limit below the machine's memory is the ceiling. Each case runs in
// a child process: the limit stays there, and nothing is allocated under it.
class MemoryCeilingDeathTest : public ::testing::TestWithParam<int> {};
TEST_P(MemoryCeilingDeathTest, FollowsASoftResourceLimit) {
    const MemoryCeiling machine = memory_ceiling();
    ASSERT_GT(machine.bytes, std::uint64_t{1} << 28);
    constexpr rlim_t kLimit = rlim_t{1} << 28;
    const int resource = GetParam();
    EXPECT_EXIT(
        {
            rlimit limit{};
            getrlimit(resource, &limit);
            limit.rlim_cur = std::min<rlim_t>(kLimit, limit.rlim_max);
            setrlimit(resource, &limit);
            const MemoryCeiling ceiling = memory_ceiling();
            _exit(ceiling.process_limit && ceiling.bytes == limit.rlim_cur ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
INSTANTIATE_TEST_SUITE_P(Fdm, MemoryCeilingDeathTest, ::testing::Values(RLIMIT_AS, RLIMIT_DATA));

// The working set the check counts covers what a pricing really holds at its
// peak, without counting more than twice that.
struct Held { OptionType type; ExerciseStyle style; bool log, dividends; };
class WorkingSet : public ::testing::TestWithParam<Held> {};
TEST_P(WorkingSet, BoundsThePeakAllocation) {
    const auto [type, style, log, dividends] = GetParam();
    FdmConfig c = config(20001, 4);
    if (log) c.transform = TransformConfig::log();
    std::vector<Dividend> divs;
    if (dividends) {
        // The large one leaves nodes far below it running together: a fresh grid.
        divs = cash({{0.5, 60.0}, {0.25, 1.0}, {0.75, 2.0}});
        for (int i = 0; i < 50; ++i) divs.push_back({after(0.01 * i + 0.005), 0.01});
    }
    const VanillaOption o = option(type, style);
    const std::size_t before = g_live_bytes.load();
    g_peak_bytes.store(before);
    const Result<PricingResult> priced = price_fdm(o, divs, kNow, c, 100.0, 0.3, 0.05, 0.01);
    const std::size_t held = g_peak_bytes.load() - before;
    ASSERT_TRUE(priced);
    EXPECT_TRUE(std::isfinite(priced->price));
    EXPECT_FALSE(check_fdm_settings(c, divs.size(), {held - 1, false})) << held;
    EXPECT_TRUE(check_fdm_settings(c, divs.size(), {2 * held, false})) << held;
}
INSTANTIATE_TEST_SUITE_P(Fdm, WorkingSet,
                         ::testing::Values(Held{Put, American, false, false}, Held{Call, American, true, true},
                                           Held{Put, European, false, true}, Held{Call, European, true, false}));

TEST(Operator, ZeroOrNonFinitePivotsAreFlaggedInEitherDirection) {
    using Vec = std::vector<double>;
    const Vec b{1.0, 2.0, -1.0, 4.0};
    Vec x(4), scratch(4);
    const auto floor = [](std::size_t) { return -kInf; };
    // Every row's diagonal is −4: at c = −0.25 the first pivot either way is 1 − c·4 = 0.
    for (const double c : {-0.25, kNan, kInf, -kInf}) {
        for (const bool downwards : {false, true}) {
            const TridiagonalOperator op({0.0, 1.0, 2.0, 3.0}, {-4.0, -4.0, -4.0, -4.0}, {1.5, 2.5, 3.5, 0.0});
            op.solve_floored([&](std::size_t i) { return b[i]; }, b[0], b[3], floor, downwards, x, scratch, 0.3);
            EXPECT_FALSE(op.met_bad_pivot());
            op.solve_floored([&](std::size_t i) { return b[i]; }, b[0], b[3], floor, downwards, x, scratch, c);
            EXPECT_TRUE(op.met_bad_pivot()) << c << ' ' << downwards;
            op.solve_floored([&](std::size_t i) { return b[i]; }, b[0], b[3], floor, downwards, x, scratch, 0.3);
            EXPECT_TRUE(op.met_bad_pivot()) << "the flag stays once raised";
        }
    }
}

// Finite inputs that leave the grid without width or without numbers: the
// bad pivot is an error, not a price.
struct Degenerate { double strike, sigma, r, q; TransformConfig transform; };
class BadPivots : public ::testing::TestWithParam<Degenerate> {};
TEST_P(BadPivots, AreInvalidInputsWhenEveryInputIsFinite) {
    const auto [strike, sigma, r, q, transform] = GetParam();
    FdmConfig c = config();
    c.transform = transform;
    for (ExerciseStyle style : {European, American}) {
        const Result<PricingResult> priced =
            price_fdm(option(Put, style, 1.0, strike), {}, kNow, c, 100.0, sigma, r, q);
        ASSERT_FALSE(priced) << priced->price;
        EXPECT_EQ(priced.error().kind, ErrorKind::InvalidInput);
        EXPECT_EQ(priced.error().message, "the finite-difference solve met a zero or non-finite pivot");
    }
}
INSTANTIATE_TEST_SUITE_P(
    Fdm, BadPivots,
    ::testing::Values(Degenerate{100.0, 1e-300, 0.03, 0.03, TransformConfig::sinh(0.3)},
                      Degenerate{100.0, 1e-300, 0.03, 0.03, TransformConfig::log()},
                      Degenerate{0.0, 0.2, 0.05, 0.0, TransformConfig::sinh(0.3)},
                      Degenerate{-5.0, 0.2, 0.05, 0.0, TransformConfig::log()},
                      Degenerate{100.0, 0.2, 0.05, 0.0, TransformConfig::sinh(1e-300)}));

// A NaN or infinite input gives the NaN or infinite values it leads to, as the
// closed form does, whatever the pivots met on the way.
struct NonFinite { double spot, strike, sigma, r, q, dividend; };
class NonFiniteInputs : public ::testing::TestWithParam<NonFinite> {};
TEST_P(NonFiniteInputs, PropagateWithoutAnError) {
    const auto [spot, strike, sigma, r, q, dividend] = GetParam();
    for (ExerciseStyle style : {European, American}) {
        const Result<PricingResult> priced =
            price_fdm(option(Put, style, 1.0, strike), cash({{0.5, dividend}}), kNow, config(), spot, sigma, r, q);
        ASSERT_TRUE(priced) << priced.error().message;
        EXPECT_FALSE(std::isfinite(priced->price)) << priced->price;
    }
}
INSTANTIATE_TEST_SUITE_P(
    Fdm, NonFiniteInputs,
    ::testing::Values(NonFinite{kNan, 100.0, 0.2, 0.05, 0.0, 1.0}, NonFinite{kInf, 100.0, 0.2, 0.05, 0.0, 1.0},
                      NonFinite{100.0, kNan, 0.2, 0.05, 0.0, 1.0}, NonFinite{100.0, 100.0, kInf, 0.05, 0.0, 1.0},
                      NonFinite{100.0, 100.0, kNan, 0.05, 0.0, 1.0}, NonFinite{100.0, 100.0, 0.2, kNan, 0.0, 1.0},
                      NonFinite{100.0, 100.0, 0.2, 0.05, kInf, 1.0}, NonFinite{100.0, 100.0, 0.2, 0.05, 0.0, kInf}));

TEST(FdmEngine, NoVolatilityIsRefused) {
    for (const auto& [sigma, text] : {std::pair{0.0, "0"}, {-0.0, "-0"}, {-0.2, "-0.2"}}) {
        const Result<PricingResult> priced =
            price_fdm(option(Call, American), {}, kNow, config(), 100.0, sigma, 0.05, 0.0);
        ASSERT_FALSE(priced);
        EXPECT_EQ(priced.error().message, std::string("finite differences need a positive volatility, got ") + text);
    }
}

// Polls that count the times they are asked, and stop after a given number.
std::uint64_t g_polls = 0;
std::uint64_t g_polls_before_stop = 0;
bool counting_poll() noexcept { return ++g_polls > g_polls_before_stop; }

TEST(Interrupt, PollsAreAskedThroughoutAndChangeNothingUntilTheyStop) {
    const VanillaOption put = option(Put, American);
    const auto divs = cash({{0.3, 1.0}, {0.6, 1.0}});
    const FdmConfig c = config(101, 4096);
    const double plain = price_fdm(put, divs, kNow, c, 100.0, 0.2, 0.05, 0.0)->price;
    g_polls = 0;
    g_polls_before_stop = kUint64Max;
    {
        const InterruptScope scope(counting_poll);
        EXPECT_EQ(price_fdm(put, divs, kNow, c, 100.0, 0.2, 0.05, 0.0)->price, plain);
    }
    // One poll per kUnits node-steps (and per kUnits graded shares summed),
    // across both kinds of interval: about 101 for the 4096 steps (give or
    // take the rounding of each interval's share).
    EXPECT_GE(g_polls, 101 * 4090 / InterruptCounter::kUnits);
    EXPECT_FALSE(interrupt_requested()) << "the scope restores no poll";
}

TEST(Interrupt, StopsAHugeStepCountBeforeItsFirstStep) {
    g_polls = 0;
    g_polls_before_stop = 3;
    const InterruptScope scope(counting_poll);
    for (ExerciseStyle style : {European, American}) {
        g_polls = 0;
        const Result<PricingResult> priced =
            price_fdm(option(Put, style), {}, kNow, config(101, std::uint64_t{1} << 62), 100.0, 0.2, 0.05, 0.0);
        ASSERT_FALSE(priced);
        EXPECT_EQ(priced.error().kind, ErrorKind::Interrupted);
        EXPECT_EQ(g_polls, 4u);
    }
}

bool always_stop() noexcept { return true; }

TEST(Interrupt, EndsARootSearchAndScopesNest) {
    const VanillaOption put{100.0, after(1.0), Put, American};
    const MarketFrameData market{100.0, RateCurve::continuous(0.05, DayCountConvention::actual_365_fixed()),
                                 VolSurface::flat(0.2, DayCountConvention::actual_365_fixed()), DividendSchedule(),
                                 MarketFrameData::default_borrow_curve()};
    Config slow = default_config();
    slow.methods[0] = pricing_method::Fdm{config(101, std::uint64_t{1} << 40)};
    g_polls = 0;
    g_polls_before_stop = kUint64Max;
    const InterruptScope outer(counting_poll);
    {
        const InterruptScope inner(always_stop);
        const Result<double> solved = implied_vol_solve(put, market, kNow, slow, 6.0);
        ASSERT_FALSE(solved);
        EXPECT_EQ(solved.error().kind, ErrorKind::Interrupted);
        EXPECT_EQ(g_polls, 0u);
    }
    EXPECT_FALSE(interrupt_requested());
    EXPECT_EQ(g_polls, 1u);
}

TEST(DividendStops, DistinctExDatesWithTheFirstListedAmountAndWhatIsLeftToPay) {
    // Entries at the valuation, at expiry or outside the life make no stop; an
    // ex-date whose first entry is zero, negative or NaN stops without paying.
    const auto divs = cash({{0.5, 2.0}, {0.25, 1.0}, {0.5, 3.0}, {0.75, kNan}, {1.5, 4.0}, {-0.1, 5.0}, {0.6, -1.0},
                            {0.0, 3.0}, {1.0, 3.0}, {0.4, 0.0}, {0.4, 3.0}});
    const FdmSchedule schedule = fdm_schedule(option(Put, American), divs, kNow);
    ASSERT_EQ(schedule.stops.size(), 6u);
    const double amounts[] = {0.0, 0.0, 2.0, 0.0, 1.0, 0.0};
    const double left[] = {3.0, 3.0, 1.0, 1.0, 0.0, 0.0};
    for (std::size_t k = 0; k < 6; ++k) {
        EXPECT_LT(schedule.stops[k].t, k > 0 ? schedule.stops[k - 1].t : kInf) << k;  // latest first
        EXPECT_EQ(schedule.stops[k].amount, amounts[k]) << k;
        EXPECT_EQ(schedule.stops[k].paid_before, left[k]) << k;
    }
    EXPECT_EQ(schedule.stops.back().t, 0.0);
    EXPECT_TRUE(schedule.amounts_finite);
    EXPECT_FALSE(fdm_schedule(option(Put, American), cash({{0.5, kInf}}), kNow).amounts_finite);
}

TEST(FdmEngine, ManyDividendsPriceTheSameInAnyListOrder) {
    std::vector<Dividend> divs;
    for (int i = 1; i <= 20000; ++i) divs.push_back({after(i / 20001.0), 2.0 / 20000});
    const VanillaOption put = option(Put, American);
    const double in_order = price_fdm(put, divs, kNow, config(), 100.0, 0.2, 0.05, 0.0)->price;
    std::shuffle(divs.begin(), divs.end(), std::mt19937(7));
    EXPECT_EQ(price_fdm(put, divs, kNow, config(), 100.0, 0.2, 0.05, 0.0)->price, in_order);
    EXPECT_GT(in_order, price_fdm(put, {}, kNow, config(), 100.0, 0.2, 0.05, 0.0)->price + 0.3);
}

}  // namespace
}  // namespace vorel
