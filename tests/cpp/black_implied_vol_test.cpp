#include "execution/black_implied_vol.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>
#include <random>
#include <vector>

#include "execution/closed_form.hpp"

namespace vorel {
namespace {

constexpr double eps = std::numeric_limits<double>::epsilon();  // 2^-52
constexpr double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
constexpr long double inv_sqrt_2pi = 0.398942280401432677939946059934L;

// Uniform on [0, 1) from the generator's bits, the same on every platform.
double uniform(std::mt19937_64& rng) { return static_cast<double>(rng() >> 11) * 0x1p-53; }
double log_uniform(std::mt19937_64& rng, double lo, double hi) { return lo * std::pow(hi / lo, uniform(rng)); }

// ---------------------------------------------------------------------------
// References in extended precision, built on nothing the code under test uses.

// b(x, s) for x ≤ 0 is ∫_0^s n(x, u) du with the positive integrand
// n = e^{−x²/(2u²) − u²/8}/√(2π) (∂b/∂s), free of the cancellation of the
// closed form: composite 8-point Gauss–Legendre in long double on breakpoints
// that resolve every scale the integrand has (uniform, geometric towards 0 and
// towards s). In the money, b(x, s) = 2 sinh(x/2) + b(−x, s).
long double quadrature_black(double x, double s) {
    // The positive Gauss–Legendre nodes and their weights.
    constexpr long double node[] = {0.1834346424956498049394761L, 0.5255324099163289858177390L,
                                    0.7966664774136267395915539L, 0.9602898564975362316835609L};
    constexpr long double weight[] = {0.3626837833783619829651504L, 0.3137066458778872873379622L,
                                      0.2223810344533744705443560L, 0.1012285362903762591525314L};
    const long double ax = std::fabs(static_cast<long double>(x)), sl = s;
    const auto n = [&](long double u) { return std::exp(-ax * ax / (2 * u * u) - u * u / 8); };
    std::vector<long double> mesh;
    for (int i = 0; i <= 128; ++i) mesh.push_back(sl * i / 128);
    for (int k = 1; k <= 8 * 64; ++k) mesh.push_back(sl * std::exp2(-k / 8.0L));
    for (int k = 4; k <= 4 * 64; ++k) mesh.push_back(sl - sl * std::exp2(-k / 4.0L));
    std::sort(mesh.begin(), mesh.end());
    long double total = 0;
    for (std::size_t i = 0; i + 1 < mesh.size(); ++i) {
        const long double mid = (mesh[i] + mesh[i + 1]) / 2, half = (mesh[i + 1] - mesh[i]) / 2;
        if (!(half > 0)) continue;
        for (int j = 0; j < 4; ++j) total += weight[j] * half * (n(mid - half * node[j]) + n(mid + half * node[j]));
    }
    total *= inv_sqrt_2pi;
    return x > 0 ? total + 2 * std::sinh(static_cast<long double>(x) / 2) : total;
}

// ---------------------------------------------------------------------------
// erfcx

TEST(BlackImpliedVolErfcx, WithinFourUlpOfExtendedPrecision) {
    // Across the polynomial pieces, their joins, the tail and the reflection
    // used below −1; erfcl is good to long double's 64 bits out to x ≈ 106.
    // Either side of every join too, including the last double below 4, where
    // the piece index rounds up.
    std::vector<double> xs;
    for (int i = 0; i <= 200000; ++i) xs.push_back(-26.5 + 126.5 * i / 200000.0);
    for (int k = -2; k <= 8; ++k) xs.insert(xs.end(), {std::nextafter(0.5 * k, -inf), std::nextafter(0.5 * k, inf)});
    double worst = 0, worst_x = 0;
    for (const double x : xs) {
        const long double ref = std::exp(static_cast<long double>(x) * x) * std::erfc(static_cast<long double>(x));
        const double rel = static_cast<double>(std::fabs((erfcx(x) - ref) / ref));
        if (rel > worst) worst = rel, worst_x = x;
    }
    EXPECT_LE(worst, 4 * eps) << "at x = " << worst_x;
}

TEST(BlackImpliedVolErfcx, LimitsAndSpecialValues) {
    for (double x : {1e3, 1e8, 1e160, 1e300}) {
        const long double a = x, ref = (1 - 1 / (2 * a * a) + 3 / (4 * a * a * a * a)) / (a * 1.7724538509055160273L);
        EXPECT_NEAR(erfcx(x) / static_cast<double>(ref), 1.0, 2 * eps) << x;
    }
    EXPECT_EQ(erfcx(inf), 0.0);
    EXPECT_EQ(erfcx(-27.0), inf);  // e^{729} overflows
    EXPECT_EQ(erfcx(-inf), inf);
    EXPECT_TRUE(std::isnan(erfcx(nan)));
    EXPECT_EQ(erfcx(0.0), 1.0);
}

// ---------------------------------------------------------------------------
// Inverting exact quotes: the normalised price from the quadrature, rounded
// once, must come back as s to the precision that rounding leaves, |δs|/s ≲
// ε/(s·∂ln b/∂s).

TEST(BlackImpliedVolExactQuotes, RecoverTheVolatility) {
    std::mt19937_64 rng(20240611);
    double worst = 0;
    int solved = 0;
    for (int i = 0; i < 400; ++i) {
        // Out of the money, σ√T from 1e-4 to 55, |x| up to 8, h down to −30.
        const double s = log_uniform(rng, 1e-4, 55.0);
        double x = -std::min(8.0, 30.0 * s * uniform(rng) * uniform(rng));
        const bool put = i % 2 == 1;
        const double S = 100.0, K = put ? S * std::exp(x) : S * std::exp(-x);  // forward = spot (r = q = 0)
        x = -std::fabs(std::log(S / K));                                     // as the solver will see it
        const long double b = quadrature_black(x, s);
        const double price = static_cast<double>(b * std::sqrt(static_cast<long double>(S) * K));
        // Keep prices in the normal range and off the bound (S for a call, K for a
        // put here) that rounding reaches first for large s.
        if (!(price > 1e-280 && price < (put ? K : S))) continue;
        const double T = 0.75;
        const double sigma_true = s / std::sqrt(T);
        const ImpliedVolatility iv = black_implied_vol(price, put ? OptionType::Put : OptionType::Call, S, K, T, 0, 0);
        ASSERT_EQ(iv.status, ElementStatus::Ok) << "x=" << x << " s=" << s;
        const long double h = x / static_cast<long double>(s), t = s / 2.0L;
        const double elasticity = static_cast<double>(s * inv_sqrt_2pi * std::exp(-(h * h + t * t) / 2) / b);
        const double rel = std::fabs(iv.sigma - sigma_true) / sigma_true;
        EXPECT_LE(rel, 4e-15 + 2 * eps / elasticity) << "x=" << x << " s=" << s << " put=" << put;
        if (elasticity >= 0.1) worst = std::max(worst, rel);
        ++solved;
    }
    EXPECT_GT(solved, 350);
    // Wherever the price is not flat in σ the answer is good to a few ulp.
    EXPECT_LT(worst, 2e-15) << worst;
}

// ---------------------------------------------------------------------------
// Round trip through the library's closed form.
//
// The closed form's price carries an absolute rounding error of order
// ε·(S e^{−qT} + K e^{−rT}) (each N(·) comes from erf to within about ε, and
// the price is a difference of terms that large), so σ is only determined to
// that much over vega. A solution is right when
//     |σ − σ_true| ≤ 1e-12·σ_true + 8ε·(S e^{−qT} + K e^{−rT})/vega,
// or, where vega is so small that this linearisation fails (prices flat in σ,
// such as a deep in-the-money quote rounded onto its intrinsic value), when
// the closed form cannot tell the two volatilities apart: their prices differ
// by no more than the same 8ε·(S e^{−qT} + K e^{−rT}). A quote the closed form
// rounded onto or past a bound must get the status that bound calls for.

struct Quote { OptionType type; double S, K, T, sigma, r, q; };
void PrintTo(const Quote& c, std::ostream* os) {
    *os << (c.type == OptionType::Call ? "call" : "put") << " S=" << c.S << " K=" << c.K << " T=" << c.T
        << " sigma=" << c.sigma << " r=" << c.r << " q=" << c.q;
}

PricingResult closed_form(const Quote& c, double sigma) {
    return price_analytic(VanillaOption{c.K, {}, c.type, ExerciseStyle::European}, c.T, c.S, sigma, c.r, c.q);
}

// Checks one quote; true when its price pins σ to 1e-13 relative.
bool check_round_trip(const Quote& c, double* rel_error) {
    const PricingResult priced = closed_form(c, c.sigma);
    const double price = priced.price, vega = priced.vega.value_or(0.0);
    const double spot_value = c.S * std::exp(-c.q * c.T), strike_value = c.K * std::exp(-c.r * c.T);
    const double noise = 8 * eps * (spot_value + strike_value);
    const bool call = c.type == OptionType::Call;
    const double intrinsic = std::max(call ? spot_value - strike_value : strike_value - spot_value, 0.0);
    const double upper = call ? spot_value : strike_value;

    const ImpliedVolatility iv = black_implied_vol(price, c.type, c.S, c.K, c.T, c.r, c.q);
    *rel_error = 0;
    if (price >= upper) {
        EXPECT_EQ(iv.status, ElementStatus::AboveUpperBound);
    } else if (price < intrinsic) {
        EXPECT_EQ(iv.status, ElementStatus::BelowIntrinsic);
    } else {
        EXPECT_EQ(iv.status, ElementStatus::Ok);
        if (iv.status != ElementStatus::Ok) return false;
        const double error = std::fabs(iv.sigma - c.sigma);
        *rel_error = error / c.sigma;
        if (error > 1e-12 * c.sigma + noise / vega) {
            EXPECT_LE(std::fabs(closed_form(c, iv.sigma).price - price), noise) << "σ = " << iv.sigma;
        }
        return noise / vega <= 1e-13 * c.sigma;
    }
    EXPECT_TRUE(std::isnan(iv.sigma));
    return false;
}

TEST(BlackImpliedVolClosedForm, RandomQuotesRoundTrip) {
    // σ 1e-3…10 and S/K 0.2…5 log-uniform, T one day to 30 years log-uniform,
    // r and q in [−0.02, 0.10], calls and puts.
    std::mt19937_64 rng(7);
    int informative = 0;
    double worst_informative = 0;
    for (int i = 0; i < 4000; ++i) {
        // Braced initialisation draws S, T, σ, r and q in that order.
        const Quote c{i % 2 == 0 ? OptionType::Call : OptionType::Put, 100.0 * log_uniform(rng, 0.2, 5.0), 100.0,
                      log_uniform(rng, 1.0 / 365, 30.0), log_uniform(rng, 1e-3, 10.0), -0.02 + 0.12 * uniform(rng),
                      -0.02 + 0.12 * uniform(rng)};
        double rel = 0;
        const bool pins = check_round_trip(c, &rel);
        if (HasFailure()) {
            ADD_FAILURE() << testing::PrintToString(c);
            return;
        }
        if (pins) ++informative, worst_informative = std::max(worst_informative, rel);
    }
    // Where the quote carries the information, the answer is good to 1e-12
    // (in practice about 1e-14); make sure the sweep exercised that case widely.
    EXPECT_GT(informative, 600);
    EXPECT_LE(worst_informative, 1e-12);
}

class BlackImpliedVolExtremes : public testing::TestWithParam<Quote> {};

TEST_P(BlackImpliedVolExtremes, RoundTrip) {
    double rel = 0;
    check_round_trip(GetParam(), &rel);
}

constexpr double day = 1.0 / 365;
INSTANTIATE_TEST_SUITE_P(
    BlackImpliedVol, BlackImpliedVolExtremes,
    testing::Values(
        // σ√T tiny: a day at σ = 1e-4, near and away from the money.
        Quote{OptionType::Call, 100, 100, day, 1e-4, 0.01, 0.0}, Quote{OptionType::Put, 100, 100.001, day, 1e-4, 0, 0},
        // σ√T huge: σ = 10 for 30 years (s ≈ 55), the price within a hair of its bound.
        Quote{OptionType::Call, 100, 100, 30, 10, 0.05, 0.02}, Quote{OptionType::Put, 20, 100, 30, 10, -0.02, 0.1},
        Quote{OptionType::Call, 500, 100, 30, 3, 0.03, 0.0}, Quote{OptionType::Put, 100, 100, 10, 5, 0.1, -0.02},
        // Deep out of and in the money at the ends of S/K, short and long.
        Quote{OptionType::Call, 20, 100, day, 1.0, 0.0, 0.0}, Quote{OptionType::Call, 20, 100, day, 10.0, 0.0, 0.0},
        Quote{OptionType::Put, 500, 100, day, 2.0, 0.05, 0.0}, Quote{OptionType::Put, 500, 100, 30, 0.02, 0.1, 0.0},
        Quote{OptionType::Call, 500, 100, day, 5.0, 0.0, 0.0}, Quote{OptionType::Put, 20, 100, day, 5.0, 0.0, 0.0},
        Quote{OptionType::Call, 20, 100, 30, 0.05, -0.02, 0.1}, Quote{OptionType::Call, 20, 100, 30, 1e-3, 0.1, 0.0},
        Quote{OptionType::Call, 100, 20, 30, 0.3, -0.02, 0.1}, Quote{OptionType::Put, 100, 500, 2, 0.25, 0.0, 0.03},
        // Out of the money in the forward, with the spot at the strike.
        Quote{OptionType::Call, 100, 100, 30, 0.01, -0.02, 0.1},
        Quote{OptionType::Put, 100, 100, 30, 0.01, 0.1, -0.02}));

// ---------------------------------------------------------------------------
// Statuses.

struct StatusCase {
    const char* what; double price; OptionType type; double S, K, T, r, q; ElementStatus status;
    double sigma;  // expected when Ok
};
void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.what; }

class BlackImpliedVolStatus : public testing::TestWithParam<StatusCase> {};

TEST_P(BlackImpliedVolStatus, Reported) {
    const StatusCase& c = GetParam();
    const ImpliedVolatility iv = black_implied_vol(c.price, c.type, c.S, c.K, c.T, c.r, c.q);
    EXPECT_EQ(iv.status, c.status);
    EXPECT_TRUE(c.status == ElementStatus::Ok ? iv.sigma == c.sigma : std::isnan(iv.sigma)) << iv.sigma;
}

constexpr OptionType call = OptionType::Call, put = OptionType::Put;
using enum ElementStatus;
// S = 120, K = 100, r = 5%, q = 1%, T = 1: S e^{−qT} and K e^{−rT}.
const double Sq = 120 * std::exp(-0.01), Kr = 100 * std::exp(-0.05);
const StatusCase status_cases[] = {
    {"NaN price", nan, call, 100, 100, 1, 0, 0, InvalidInput, 0},
    {"infinite spot", 5, call, inf, 100, 1, 0, 0, InvalidInput, 0},
    {"NaN time", 5, call, 100, 100, nan, 0, 0, InvalidInput, 0},
    {"infinite yield", 5, put, 100, 100, 1, 0, -inf, InvalidInput, 0},
    {"zero spot", 5, call, 0, 100, 1, 0, 0, InvalidInput, 0}, {"zero strike", 5, put, 100, 0, 1, 0, 0, InvalidInput, 0},
    {"invalid before expired", nan, call, 100, 100, 0, 0, 0, InvalidInput, 0},
    {"at expiry", 5, call, 100, 100, 0, 0, 0, Expired, 0}, {"after expiry", 5, put, 100, 100, -0.5, 0, 0, Expired, 0},
    {"expired with an impossible price", -1, put, 100, 100, -0.5, 0, 0, Expired, 0},
    {"negative price", -1e-300, call, 100, 150, 1, 0, 0, BelowIntrinsic, 0},
    {"call below forward intrinsic", (Sq - Kr) * (1 - 1e-12), call, 120, 100, 1, 0.05, 0.01, BelowIntrinsic, 0},
    {"put below forward intrinsic", std::nextafter(Sq - Kr, 0.0), put, 100, 120, 1, 0.01, 0.05, BelowIntrinsic, 0},
    {"call at forward intrinsic", Sq - Kr, call, 120, 100, 1, 0.05, 0.01, Ok, 0.0},
    {"out of the money at zero", 0, put, 120, 100, 1, 0.05, 0.01, Ok, 0.0},
    {"call at its bound", Sq, call, 120, 100, 1, 0.05, 0.01, AboveUpperBound, 0},
    {"put at its bound", Kr, put, 120, 100, 1, 0.05, 0.01, AboveUpperBound, 0},
};
INSTANTIATE_TEST_SUITE_P(BlackImpliedVol, BlackImpliedVolStatus, testing::ValuesIn(status_cases));

TEST(BlackImpliedVolStatus, JustInsideTheBoundsIsSolved) {
    // One ulp inside either bound is still a price some volatility reaches.
    for (const double price : {std::nextafter(Sq - Kr, inf), std::nextafter(Sq, 0.0)}) {
        const ImpliedVolatility iv = black_implied_vol(price, call, 120, 100, 1, 0.05, 0.01);
        EXPECT_EQ(iv.status, Ok) << price;
        EXPECT_GT(iv.sigma, 0.0);
        EXPECT_LT(iv.sigma, inf);
    }
}

}  // namespace
}  // namespace vorel
