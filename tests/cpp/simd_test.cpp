#include <bit>
#include <cmath>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "execution/closed_form.hpp"
#include "execution/closed_form_lanes.hpp"
#include "math/portable_math.hpp"
#include "math/portable_constants.hpp"
#include "math/simd.hpp"
#include "test_support.hpp"

namespace vorel {
namespace {

// The vector twins as generic code: the closed-form test below reaches the
// kernels compiled for each instruction set.
namespace generic {
#include "math/simd_lanes.inc"
#include "math/portable_math_lanes.inc"
}  // namespace generic

constexpr double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }
// NaNs of either sign compare equal; everything else to the bit.
bool same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || bits(a) == bits(b); }

// Band edges, specials and a dense sweep of each function's range, with the
// neighbours of every edge.
std::vector<double> arguments() {
    std::vector<double> xs = {0.0, -0.0, inf, -inf, nan, -nan, std::numeric_limits<double>::denorm_min(),
                              std::numeric_limits<double>::min(), std::numeric_limits<double>::max(), 1e-310};
    for (double edge : {0x1p-1022, 0x1p-1015, 0x1p-28, 0x1p-20, 0.34657359, 0.84375, 1.0, 1.03972077, 1.25,
                        1.4142135623730951, 2.857142857142857, 2.8571434020996094, 6.0, 708.0,
                        7.09782712893383973096e+02, 7.45133219101941108420e+02, 1021.0 * 0.6931471805599453}) {
        for (double x : {std::nextafter(edge, 0.0), edge, std::nextafter(edge, inf)}) {
            xs.push_back(x);
            xs.push_back(-x);
        }
    }
    for (double x = -750.0; x < 750.0; x += 0.0731) xs.push_back(x);
    for (double x = -7.0; x < 7.0; x += 0.000917) xs.push_back(x);
    std::mt19937_64 random(7);
    for (int i = 0; i < 20000; ++i) xs.push_back(std::bit_cast<double>(random()));
    return xs;
}

template <int W>
void expect_twins_agree() {
    const std::vector<double> xs = arguments();
    using V = simd::D<W>;
    for (std::size_t i = 0; i + W <= xs.size(); i += W) {
        const V x = generic::simd::load<W>(xs.data() + i);
        const V e = generic::portable::lanes::exp<W>(x), l = generic::portable::lanes::log<W>(x);
        for (int lane = 0; lane < W; ++lane) {
            const double xi = xs[i + lane];
            ASSERT_TRUE(same(e[lane], portable::exp(xi))) << "exp " << xi;
            ASSERT_TRUE(same(l[lane], portable::log(xi))) << "log " << xi;
        }
    }
    std::vector<double> erfs(generic::portable::lanes::kErfBatch);
    for (std::size_t i = 0; i < xs.size(); i += erfs.size()) {
        const std::size_t n = std::min(erfs.size(), xs.size() - i);
        generic::portable::lanes::erf_many<W>(xs.data() + i, erfs.data(), n);
        for (std::size_t j = 0; j < n; ++j) ASSERT_TRUE(same(erfs[j], portable::erf(xs[i + j]))) << "erf " << xs[i + j];
    }
}

TEST(PortableLanes, EveryLaneGetsTheScalarBits) {
    expect_twins_agree<2>();
    expect_twins_agree<4>();
    expect_twins_agree<8>();
}

TEST(PortableLog, AgreesWithTheSystemWithinOneUlp) {
    EXPECT_EQ(portable::log(1.0), 0.0);
    EXPECT_EQ(portable::log(0.0), -inf);
    EXPECT_EQ(portable::log(-0.0), -inf);
    EXPECT_EQ(portable::log(inf), inf);
    EXPECT_TRUE(std::isnan(portable::log(-1.0)));
    EXPECT_TRUE(std::isnan(portable::log(nan)));
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> exponent(-1074.0, 1024.0);
    for (int i = 0; i < 200000; ++i) {
        const double x = std::exp2(exponent(random));
        if (!(x > 0.0) || std::isinf(x)) continue;
        const double got = portable::log(x), want = std::log(x);
        ASSERT_LE(std::fabs(got - want), std::fabs(std::nextafter(want, inf) - want)) << x;
    }
}

// A chain with both types, every moneyness and life the closed form sees and
// the degenerate inputs (expiry, zero volatility, non-finite values); on every
// level this processor has, with a length that leaves a partial vector.
TEST(ClosedFormLanes, EveryElementGetsTheScalarBits) {
    std::vector<double> K, T, S, sigma, r, q, call;
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < 4001; ++i) {
        K.push_back(20.0 + 300.0 * unit(random));
        T.push_back(i % 97 == 0 ? 0.0 : 3.0 * unit(random) * unit(random));
        S.push_back(100.0);
        sigma.push_back(i % 89 == 0 ? 0.0 : 0.01 + 1.5 * unit(random));
        r.push_back(0.1 * unit(random) - 0.02);
        q.push_back(0.05 * unit(random));
        call.push_back(unit(random) < 0.5 ? 1.0 : 0.0);
    }
    for (const double odd : {nan, inf, -1.0, 1e-300, 1e300}) {
        for (std::vector<double>* field : {&K, &T, &S, &sigma, &r, &q}) {
            K.push_back(100.0), T.push_back(0.5), S.push_back(100.0), sigma.push_back(0.2), r.push_back(0.03),
                q.push_back(0.01), call.push_back(static_cast<double>(K.size() % 2));
            field->back() = odd;
        }
    }
    const std::size_t n = K.size();
    for (const simd::Level level : {simd::Level::Portable, simd::Level::Avx2, simd::Level::Avx512}) {
        if (level > simd::detected_level()) continue;
        std::vector<double> out[6];
        for (auto& o : out) o.assign(n, -1.0);
        std::vector<double> price_only(n, -1.0);
        const AnalyticInputs in{n, K.data(), T.data(), S.data(), sigma.data(), r.data(), q.data(), call.data()};
        price_analytic_lanes(in, {out[0].data(), out[1].data(), out[2].data(), out[3].data(), out[4].data(),
                                  out[5].data()}, level);
        price_analytic_lanes(in, {price_only.data()}, level);
        for (std::size_t i = 0; i < n; ++i) {
            const VanillaOption option{K[i], test::at(2030, 1, 1), call[i] != 0.0 ? OptionType::Call : OptionType::Put};
            const PricingResult want = price_analytic(option, T[i], S[i], sigma[i], r[i], q[i]);
            const double wanted[6] = {want.price, want.delta, want.gamma, want.theta, *want.vega, *want.rho};
            for (int f = 0; f < 6; ++f) {
                ASSERT_TRUE(same(out[f][i], wanted[f]))
                    << simd::level_name(level) << " element " << i << " field " << f;
            }
            ASSERT_TRUE(same(price_only[i], want.price));
        }
    }
}

}  // namespace
}  // namespace vorel
