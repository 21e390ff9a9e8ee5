#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <vector>

#include "math/interpolate/linear.hpp"
#include "math/interpolate/monotone_cubic.hpp"
#include "test_support.hpp"

namespace vorel {
namespace {

using test::panic_text;
using Points = std::vector<double>;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const Points uneven{0, 0.3, 1.1, 1.2, 2.0, 3.5, 3.6, 5.0};

template <class Interpolator>
Interpolator make(Points xs, Points ys) {
    auto result = Interpolator::create(share(std::move(xs)), share(std::move(ys)));
    if (!result) throw std::invalid_argument(debug_text(result.error()));
    return std::move(result).value();
}

// Samples every interval densely: the curve must run from y_k to y_{k+1}
// without turning back or leaving that range, and hit the nodes exactly.
void expect_shape_preserved(const MonotoneCubicInterpolator& f) {
    const Points& xs = f.xs();
    const Points& ys = f.ys();
    constexpr int kSamples = 1000;
    constexpr double kTol = 1e-12;
    for (std::size_t k = 0; k + 1 < xs.size(); ++k) {
        const double direction = ys[k + 1] >= ys[k] ? 1.0 : -1.0;
        const auto [lo, hi] = std::minmax(ys[k], ys[k + 1]);
        EXPECT_EQ(f.evaluate(xs[k]), ys[k]);
        double previous = ys[k];
        for (int j = 1; j <= kSamples; ++j) {
            const double x = xs[k] + (xs[k + 1] - xs[k]) * j / kSamples;
            const double v = f.evaluate(x);
            ASSERT_TRUE(v >= lo - kTol && v <= hi + kTol) << "x=" << x << " value " << v;
            ASSERT_GE(direction * (v - previous), -kTol) << "x=" << x;
            previous = v;
        }
    }
}

TEST(LocateInterval, NodesBelongToTheIntervalOnTheirRight) {
    const Points xs{0.0, 1.0, 2.5, 4.0, 7.0};
    const struct { double x; std::size_t k; } cases[] = {{-3.0, 0}, {0.0, 0}, {std::nextafter(1.0, 0.0), 0}, {1.0, 1},
                                                         {2.5, 2},  {3.9, 2}, {4.0, 3}, {7.0, 3}, {9.0, 3},
                                                         {kNaN, 0}, {-kInf, 0}, {kInf, 3}};
    for (const auto& c : cases) EXPECT_EQ(locate_interval(xs, c.x), c.k) << c.x;
    const Points with_nan{0.0, kNaN, 2.0, kNaN, 4.0};
    for (const double x : {-1.0, 0.5, 3.0, 5.0, kNaN, kInf}) EXPECT_LE(locate_interval(with_nan, x), 3u) << x;
    EXPECT_NE(panic_text([] { (void)locate_interval(Points{1.0}, 0.0); }), "");
}

// Interior values and end lines are also pinned through the rate curve; these
// are the cases a curve cannot produce.
TEST(LinearInterpolator, NonFiniteQueries) {
    const auto f = make<LinearInterpolator>({0.0, 1.0, 2.0, 4.0}, {1.0, 3.0, 2.0, 6.0});
    EXPECT_EQ(f.evaluate(kInf), kInf);
    EXPECT_EQ(f.evaluate(-kInf), -kInf);
    EXPECT_TRUE(std::isnan(f.evaluate(kNaN)));
}

// The linear interpolator needs two points (its errors reach Python through the rate curve), the cubic three;
// unequal lengths panic.
TEST(Interpolators, ConstructionErrors) {
    using enum InterpolationError;
    const auto error = [](const auto& result) { return result.ok() ? std::nullopt : std::optional(result.error()); };
    const struct { bool cubic; Points xs; std::optional<InterpolationError> error; } cases[] = {
        {false, {0.0, 1.0}, std::nullopt}, {true, {}, InsufficientPoints},
        {true, {0.0, 1.0}, InsufficientPoints}, {true, {0.0, 1.0, 2.0}, std::nullopt},
    };
    for (const auto& c : cases) {
        const SharedArray xs = share(c.xs), ys = share(Points(c.xs.size(), 1.0));
        const auto got =
            c.cubic ? error(MonotoneCubicInterpolator::create(xs, ys)) : error(LinearInterpolator::create(xs, ys));
        EXPECT_EQ(got, c.error) << c.cubic << ' ' << c.xs.size();
    }
    EXPECT_NE(panic_text([] { (void)LinearInterpolator::create(share({0.0, 1.0, 2.0}), share({0.0, 1.0})); }), "");
    EXPECT_NE(panic_text([] { (void)MonotoneCubicInterpolator::create(share({0.0, 1.0, 2.0}), share({0.0})); }), "");
}

// Each case exercises one branch of the slope limiter; M is the natural spline.
TEST(MonotoneCubic, LimitedSlopesAndSplineCurvatures) {
    const struct { Points xs, ys, slopes, curvatures; } cases[] = {
        {{0, 1, 2, 3}, {0, 1, 10, 11}, {0, 3, 3, 0}, {0, 16, -16, 0}},  // end slopes against the secant: 0
        {{0, 1, 2}, {0, 1, -8}, {3, 0, -11.5}, {0, -15, 0}},            // clamped at the start, extremum
        {{0, 1, 2}, {0, -1, 8}, {-3, 0, 11.5}, {0, 15, 0}},             // the same, mirrored
        {{0, 1, 2}, {0, -8, -7}, {-10.25, 0, 3}, {0, 13.5, 0}},         // clamped at the end
        {{0, 1, 2}, {1, 1, 3}, {0, 0, 2.5}, {0, 3, 0}},                 // flat first interval
        {{0, 1, 2}, {0, 10, 11}, {12.25, 3, 0}, {0, -13.5, 0}},         // interior clamp
        {{0, 0.5, 2, 3, 5}, {1, 2, 5, 7, 11}, {2, 2, 2, 2, 2}, {0, 0, 0, 0, 0}},  // a straight line
    };
    for (const auto& c : cases) {
        const auto f = make<MonotoneCubicInterpolator>(c.xs, c.ys);
        EXPECT_EQ(f.slopes(), c.slopes) << c.ys[1];
        EXPECT_EQ(f.second_derivatives(), c.curvatures) << c.ys[1];
        for (std::size_t i = 0; i < c.xs.size(); ++i) {
            EXPECT_EQ(f.second_derivative(c.xs[i]), c.curvatures[i]);
            EXPECT_DOUBLE_EQ(f.derivative(c.xs[i]), c.slopes[i]);
        }
    }
}

TEST(MonotoneCubic, NaturalSplineOnUnevenSpacing) {
    // h = 1, 2, 1: 6 M1 + 2 M2 = -15 and 2 M1 + 6 M2 = 27.
    const auto f = make<MonotoneCubicInterpolator>({0, 1, 3, 4}, {0, 2, 1, 5});
    const double expected[] = {0.0, -4.5, 6.0, 0.0};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(f.second_derivatives()[i], expected[i], 1e-12);
    EXPECT_NEAR(f.second_derivative(2.0), 0.75, 1e-12);  // halfway between -4.5 and 6
}

TEST(MonotoneCubic, KeepsTheShapeOfTheData) {
    expect_shape_preserved(make<MonotoneCubicInterpolator>({0, 1, 2, 3}, {0, 1, 10, 11}));
    expect_shape_preserved(make<MonotoneCubicInterpolator>(uneven, {0, -0.2, -0.3, -6.0, -6.1, -6.2, -14.0, -14.4}));
    expect_shape_preserved(make<MonotoneCubicInterpolator>({0, 1, 2, 3, 4}, {1, 1, 3, 3, 0}));
    expect_shape_preserved(make<MonotoneCubicInterpolator>({0, 1, 2, 3}, {0, 2, 1, 3}));
}

// A reading at one point matches the built interpolant bit for bit, in every
// interval (the end ones use the spline's end slopes), beyond the ends, at nodes
// and for NaN; the image read-out skips the curvature.
TEST(MonotoneCubic, OnePointReadingEqualsTheInterpolant) {
    const struct { Points xs, ys; } data[] = {
        {uneven, {0, -0.2, -0.3, -6.0, -6.1, -6.2, -14.0, -14.4}}, {uneven, {3, 1, 4, 1, 5, 9, 2, 6}},
        {{0, 1, 2}, {0, 10, 11}}, {{0, 1, 2, 3}, {0, 1, 10, 11}}, {{-1, 0, 2, 7}, {5, -1e-300, 0, kInf}},
    };
    const auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
    for (const auto& d : data) {
        const auto f = make<MonotoneCubicInterpolator>(d.xs, d.ys);
        Points scratch(2 * d.xs.size());
        Points queries{kNaN, -kInf, d.xs.front() - 3.0, d.xs.back() + 0.7};
        for (std::size_t i = 0; i < d.xs.size(); ++i) {
            queries.push_back(d.xs[i]);
            if (i + 1 < d.xs.size()) queries.push_back(d.xs[i] + (d.xs[i + 1] - d.xs[i]) / 3.0);
        }
        for (const double x : queries) {
            for (const bool curvature : {true, false}) {
                const auto r = MonotoneCubicInterpolator::read_at(d.xs, d.ys, x, curvature, scratch);
                ASSERT_TRUE(r.ok());
                EXPECT_TRUE(same(r->value, f.evaluate(x))) << x;
                EXPECT_TRUE(same(r->derivative, f.derivative(x))) << x;
                EXPECT_TRUE(same(r->second_derivative, curvature ? f.second_derivative(x) : kNaN)) << x;
            }
        }
    }
    Points scratch(4);
    const auto two = MonotoneCubicInterpolator::read_at(Points{0, 1}, Points{0, 1}, 0.5, true, scratch);
    EXPECT_EQ(two.error(), InterpolationError::InsufficientPoints);
}

TEST(MonotoneCubic, ExtrapolatesWithTheEndCubics) {
    // Slopes 0, 3, 3, 0: the first piece is t^3, the last 11 + (t - 1)^3.
    const auto f = make<MonotoneCubicInterpolator>({0, 1, 2, 3}, {0, 1, 10, 11});
    const struct { double x, value, slope; } cases[] = {
        {-2.0, -8.0, 12.0}, {-1.0, -1.0, 3.0}, {0.5, 0.125, 0.75}, {4.0, 12.0, 3.0}, {5.0, 19.0, 12.0}};
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(f.evaluate(c.x), c.value) << c.x;
        EXPECT_DOUBLE_EQ(f.derivative(c.x), c.slope) << c.x;
    }
    EXPECT_EQ(f.second_derivative(4.0), 16.0);  // the blend continues as a line
    EXPECT_TRUE(std::isnan(f.evaluate(kNaN)));
}

}  // namespace
}  // namespace vorel
