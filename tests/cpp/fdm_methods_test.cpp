// Operator, grids, process, TR-BDF2 and the projection runs.

#include <algorithm>
#include <cmath>
#include <vector>

#include "methods/finite_difference/fdm_process.hpp"
#include "methods/finite_difference/grids/fitted.hpp"
#include "methods/finite_difference/grids/uniform.hpp"
#include "methods/stepping_scheme/linear.hpp"
#include "methods/stepping_scheme/post_projection.hpp"
#include "methods/time_stepping/tr_bdf2.hpp"
#include "test_support.hpp"

namespace vorel {
namespace {

using test::panic_text;
using Vec = std::vector<double>;

TridiagonalOperator sample_operator() {
    return TridiagonalOperator({0.0, 1.0, 2.0, 3.0}, {-4.0, -5.0, -6.0, -7.0}, {1.5, 2.5, 3.5, 0.0});
}

// Dense row i of the matrix behind `op` applied to x.
double row_times(const TridiagonalOperator& op, std::size_t i, const Vec& x) {
    double sum = op.diag()[i] * x[i];
    if (i > 0) sum += op.lower()[i] * x[i - 1];
    if (i + 1 < x.size()) sum += op.upper()[i] * x[i + 1];
    return sum;
}

class TooFewNodes : public ::testing::TestWithParam<std::size_t> {};
TEST_P(TooFewNodes, AreRefused) {
    const std::size_t n = GetParam();
    EXPECT_EQ(panic_text([&] { TridiagonalOperator(Vec(n), Vec(n), Vec(n)); }),
              "TridiagonalOperator requires at least 3 elements, found " + std::to_string(n));
}
INSTANTIATE_TEST_SUITE_P(Operator, TooFewNodes, ::testing::Values(0u, 1u, 2u));

TEST(Operator, ApplyAndSolveAgree) {
    const TridiagonalOperator op = sample_operator();
    const Vec x{1.0, -2.0, 3.0, 0.5};
    Vec y(4);
    op.apply(x, y);
    EXPECT_EQ(y, (Vec{-4.0 - 3.0, 1.0 + 10.0 + 7.5, -4.0 - 18.0 + 1.75, 9.0 - 3.5}));

    // (I − c·L)·solution reproduces b row by row.
    const Vec b{1.0, 2.0, -1.0, 4.0};
    Vec solution(4), scratch(4);
    op.solve_implicit(b, solution, scratch, 0.3);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(solution[i] - 0.3 * row_times(op, i, solution), b[i], 1e-14);

    op.solve_implicit(b, solution, scratch, 0.0);
    EXPECT_EQ(solution, b);
    Vec short_input(3);
    EXPECT_FALSE(panic_text([&] { op.apply(short_input, y); }).empty());
    EXPECT_FALSE(panic_text([&] { op.solve_implicit(b, solution, short_input, 0.1); }).empty());
}

TEST(Operator, FactorisationIsReusedWithinTolerance) {
    const TridiagonalOperator op = sample_operator();
    const Vec b{1.0, 1.0, 1.0, 1.0};
    Vec x(4), scratch(4);
    op.solve_implicit(b, x, scratch, 0.1);
    op.solve_implicit(b, x, scratch, 0.1 + 5e-13);
    EXPECT_EQ(op.factorised_for(), 0.1);
    op.solve_implicit(b, x, scratch, 0.1 + 2e-12);
    EXPECT_EQ(op.factorised_for(), 0.1 + 2e-12);
    op.solve_implicit(b, x, scratch, NAN);  // never matches a cached coefficient
    EXPECT_TRUE(std::isnan(op.factorised_for()));
}

TEST(Operator, NeumannRows) {
    TridiagonalOperator op = sample_operator();
    const Vec b{0.25, 1.0, -1.0, -0.5};
    Vec x(4), scratch(4);
    op.solve_implicit(b, x, scratch, 0.2);
    op.set_neumann_row(2);  // interior: no coefficient changes, the cache goes
    EXPECT_FALSE(op.has_factorisation());
    EXPECT_EQ(op.diag(), (Vec{-4.0, -5.0, -6.0, -7.0}));

    op.set_neumann_row(0);
    op.set_neumann_row(3);
    Vec y(4);
    op.apply(Vec{7.0, 7.0, 7.0, 7.0}, y);
    EXPECT_EQ(y[0], 0.0);
    EXPECT_EQ(y[3], 0.0);

    // Closed rows impose the prescribed differences; interior rows stay implicit.
    op.solve_implicit(b, x, scratch, 0.2);
    EXPECT_NEAR(x[1] - x[0], b[0], 1e-14);
    EXPECT_NEAR(x[3] - x[2], b[3], 1e-14);
    for (std::size_t i = 1; i < 3; ++i) EXPECT_NEAR(x[i] - 0.2 * row_times(op, i, x), b[i], 1e-14);
}

FdmConfig config(std::uint64_t nodes, TransformConfig transform = {}) {
    FdmConfig c;
    c.grid_nodes = nodes;
    c.transform = transform;
    return c;
}

TEST(Grid, UniformGridsSpanTheStrikePlusMinusHalfWidth) {
    // Sinh: ends at ±asinh(half/α), nodes densest at the strike. Log: geometric spots.
    const FdmGrid sinh = uniform_grid(100.0, 0.2, 1.0, config(101), 100.0);
    const FdmGrid log = uniform_grid(100.0, 0.2, 1.0, config(11, TransformConfig::log()), 100.0);
    EXPECT_NEAR(sinh.x.back(), std::asinh(0.8 / 0.3), 1e-15);
    EXPECT_NEAR(sinh.x.front(), -sinh.x.back(), 1e-14);
    EXPECT_NEAR(sinh.spot[50], 100.0, 1e-12);
    EXPECT_LT(sinh.spot[51] - sinh.spot[50], std::min(sinh.spot[1] - sinh.spot[0], sinh.spot[100] - sinh.spot[99]));
    for (const FdmGrid* grid : {&sinh, &log}) {
        EXPECT_NEAR(grid->spot.front(), 100.0 * std::exp(-0.8), 1e-12);
        EXPECT_NEAR(grid->spot.back(), 100.0 * std::exp(0.8), 1e-12);
        EXPECT_EQ(grid->h_minus.front(), 0.0);
        EXPECT_EQ(grid->h_plus.back(), 0.0);
    }
    for (std::size_t i = 1; i + 1 < log.size(); ++i) {
        EXPECT_NEAR(log.spot[i + 1] / log.spot[i], log.spot[1] / log.spot[0], 1e-14);
    }
}

TEST(Grid, ShiftMovesEverySpotByTheAmount) {
    const FdmGrid grid = uniform_grid(100.0, 0.2, 1.0, config(21), 100.0);
    const FdmGrid moved = shifted(grid, 2.0);
    EXPECT_EQ(moved.variant, FdmGrid::Variant::Fitted);
    for (std::size_t i = 0; i < grid.size(); ++i) {
        EXPECT_EQ(moved.spot[i], grid.spot[i] + 2.0);
        EXPECT_EQ(moved.x[i], grid.transform.coordinate(grid.spot[i] + 2.0));
    }
    EXPECT_EQ(moved.h_minus.front(), 0.0);
    EXPECT_EQ(moved.h_plus.back(), 0.0);
    EXPECT_EQ(moved.h_plus[3], moved.x[4] - moved.x[3]);
}

// A spot far from the strike keeps half the grid's half-width of room; a spot
// near it, or one that is not a usable number, leaves the stated range.
struct RoomCase {
    double spot;
    bool widened;
};
class SpotRoom : public ::testing::TestWithParam<RoomCase> {};
TEST_P(SpotRoom, FarEndMovesOut) {
    const auto [spot, widened] = GetParam();
    const FdmGrid stated = uniform_grid(100.0, 0.2, 1.0, config(101), NAN);
    const FdmGrid grid = uniform_grid(100.0, 0.2, 1.0, config(101), spot);
    if (!widened) {
        EXPECT_EQ(grid.x, stated.x);
        return;
    }
    EXPECT_NE(grid.x, stated.x);
    EXPECT_LE(grid.spot.front(), spot * std::exp(-0.4) * (1 + 1e-12));
    EXPECT_GE(grid.spot.back(), spot * std::exp(0.4) * (1 - 1e-12));
    EXPECT_LE(grid.spot.front(), stated.spot.front() * (1 + 1e-12));
    EXPECT_GE(grid.spot.back(), stated.spot.back() * (1 - 1e-12));
}
INSTANTIATE_TEST_SUITE_P(Grid, SpotRoom,
                         ::testing::Values(RoomCase{140.0, false}, RoomCase{150.0, true}, RoomCase{230.0, true},
                                           RoomCase{20.0, true}, RoomCase{INFINITY, false}, RoomCase{0.0, false}));

TEST(Process, LogGridRowsAreConstant) {
    const FdmGrid grid = uniform_grid(100.0, 0.2, 1.0, config(9, TransformConfig::log()), 100.0);
    const TridiagonalOperator op = build_operator({0.05, 0.02, 0.2}, grid);
    const double h = grid.h_plus[0];
    EXPECT_EQ(op.diag().front(), 0.0);
    EXPECT_EQ(op.upper().front(), 0.0);
    EXPECT_EQ(op.lower().back(), 0.0);
    for (std::size_t i = 1; i + 1 < grid.size(); ++i) {
        EXPECT_NEAR(op.lower()[i], 0.02 / (h * h) - 0.005 / h, 1e-10);
        EXPECT_NEAR(op.diag()[i], -0.04 / (h * h) - 0.05, 1e-10);
        EXPECT_NEAR(op.upper()[i], 0.02 / (h * h) + 0.005 / h, 1e-10);
    }
    // L·S = (r − q)·S − r·S in the interior, up to the O(h²) error of the differences.
    Vec image(grid.size());
    op.apply(grid.spot, image);
    for (std::size_t i = 1; i + 1 < grid.size(); ++i) EXPECT_NEAR(image[i] / grid.spot[i], -0.02, 2e-3);
}

// Dense Gaussian elimination, independent of the operator's own solver.
Vec dense_solve(std::vector<Vec> a, Vec b) {
    const std::size_t n = b.size();
    for (std::size_t k = 0; k < n; ++k) {
        for (std::size_t i = k + 1; i < n; ++i) {
            const double f = a[i][k] / a[k][k];
            for (std::size_t j = k; j < n; ++j) a[i][j] -= f * a[k][j];
            b[i] -= f * b[k];
        }
    }
    Vec x(n);
    for (std::size_t i = n; i-- > 0;) {
        double s = b[i];
        for (std::size_t j = i + 1; j < n; ++j) s -= a[i][j] * x[j];
        x[i] = s / a[i][i];
    }
    return x;
}

TEST(TrBdf2, OneStepMatchesADenseComputation) {
    const FdmGrid grid = uniform_grid(100.0, 0.3, 0.5, config(5), 100.0);
    const FdmProcess process{0.04, 0.01, 0.3};
    LinearScheme scheme(grid, process, NeumannStandard::for_option(OptionType::Put));
    const Vec payoff{30.0, 12.0, 0.0, 0.0, 0.0};
    TrBdf2Workspace workspace(5);
    InputVectors& state = workspace.state();
    std::copy(payoff.begin(), payoff.end(), state.values().begin());
    scheme.initialise(state);
    const double dt = 0.1;
    workspace.step(scheme, dt);

    // The same stages written out with dense matrices.
    const TridiagonalOperator& op = scheme.discretisation().op();
    const auto rhs = NeumannStandard::for_option(OptionType::Put).rhs(grid);
    const auto image = [&](const Vec& u) {
        Vec v(5);
        for (std::size_t i = 0; i < 5; ++i) v[i] = row_times(op, i, u);
        return v;
    };
    const auto system = [&](double c) {
        std::vector<Vec> a(5, Vec(5, 0.0));
        a[0][0] = -1.0, a[0][1] = 1.0, a[4][3] = -1.0, a[4][4] = 1.0;
        for (std::size_t i = 1; i < 4; ++i) {
            a[i][i - 1] = -c * op.lower()[i];
            a[i][i] = 1.0 - c * op.diag()[i];
            a[i][i + 1] = -c * op.upper()[i];
        }
        return a;
    };
    const Vec v0 = image(payoff);
    const double a = 0.2928932188134524 * dt, w = 0.35355339059327373 * dt;
    Vec b(5);
    for (std::size_t i = 0; i < 5; ++i) b[i] = payoff[i] + a * v0[i];
    b[0] = rhs.low, b[4] = rhs.high;
    const Vec u1 = dense_solve(system(a), b);
    const Vec v1 = image(u1);
    for (std::size_t i = 0; i < 5; ++i) b[i] = payoff[i] + w * v0[i] + w * v1[i];
    b[0] = rhs.low, b[4] = rhs.high;
    const Vec u2 = dense_solve(system(0.29289321881345254 * dt), b);
    const Vec v2 = image(u2);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_NEAR(state.values()[i], u2[i], 1e-12);
        EXPECT_NEAR(state.images()[i], v2[i], 1e-10);
    }
    EXPECT_NEAR(op.factorised_for(), a, 1e-12);  // one factorisation for both stages
}

// A scheme on five nodes at spots 60..140 with strike 100.
PostProjectionScheme projection(double phi) {
    FdmGrid grid;
    grid.transform = Transform{TransformKind::Log, 100.0, 0.0};
    for (double s : {60.0, 80.0, 100.0, 120.0, 140.0}) {
        grid.spot.push_back(s);
        grid.x.push_back(std::log(s));
    }
    compute_spacings(grid);
    map_nodes(grid);
    return PostProjectionScheme(grid, {0.05, 0.0, 0.2}, NeumannStandard::for_option(OptionType::Put), 100.0, phi);
}

struct RunCase {
    double phi;
    Vec before;
    Vec after;
    LiftedRange lifted;
};
class ProjectionRuns : public ::testing::TestWithParam<RunCase> {};
TEST_P(ProjectionRuns, LiftOneEndOnly) {
    const RunCase& c = GetParam();
    Vec u = c.before;
    const LiftedRange lifted = projection(c.phi).project(u);
    EXPECT_EQ(u, c.after);
    EXPECT_EQ(lifted.any, c.lifted.any);
    if (lifted.any) {
        EXPECT_EQ(lifted.lo, c.lifted.lo);
        EXPECT_EQ(lifted.hi, c.lifted.hi);
    }
}
INSTANTIATE_TEST_SUITE_P(
    PostProjection, ProjectionRuns,
    ::testing::Values(
        // Put (exercise 40, 20, 0, −20, −40): the left run stops at the first node at or above exercise.
        RunCase{-1.0, {35, 15, 1, 0, 0}, {40, 20, 1, 0, 0}, {0, 1, true}},
        // A dip between the runs is never examined.
        RunCase{-1.0, {45, 15, 1, 0, 0}, {45, 15, 1, 0, 0}, {}},
        // Call (exercise −40, −20, 0, 20, 40): the right run from the top, a negative value stops it.
        RunCase{1.0, {0, 0, 1, 15, 35}, {0, 0, 1, 20, 40}, {3, 4, true}},
        RunCase{1.0, {0, 0, 1, 15, -2}, {0, 0, 1, 15, -2}, {}},
        // Both runs: the right run lifts only the top node.
        RunCase{1.0, {-50, 0, 1, 15, 35}, {-40, 0, 1, 15, 40}, {0, 4, true}},
        // A left run through the whole grid ends the projection.
        RunCase{-1.0, {0, 0, -1, -30, -50}, {40, 20, 0, -20, -40}, {0, 4, true}}));

TEST(PostProjection, AmericanPutSitsOnExerciseAtTheBottom) {
    const FdmGrid grid = uniform_grid(100.0, 0.2, 1.0, config(41), 100.0);
    const FdmProcess process{0.05, 0.0, 0.2};
    Vec put(grid.size());
    for (std::size_t i = 0; i < grid.size(); ++i) put[i] = std::max(100.0 - grid.spot[i], 0.0);
    PostProjectionScheme put_scheme(grid, process, NeumannStandard::for_option(OptionType::Put), 100.0, -1.0);
    TrBdf2Workspace workspace(grid.size());
    InputVectors& state = workspace.state();
    std::copy(put.begin(), put.end(), state.values().begin());
    put_scheme.initialise(state);
    EXPECT_TRUE(put_scheme.early_exercise_flag());
    for (std::size_t i = 0; grid.spot[i] < 100.0; ++i) EXPECT_EQ(state.images()[i], 0.0);

    // An American put after a step: the bottom nodes sit on exercise with a zero image.
    workspace.step(put_scheme, 0.1);
    EXPECT_EQ(state.values()[0], 100.0 - grid.spot[0]);
    EXPECT_EQ(state.images()[0], 0.0);
}

}  // namespace
}  // namespace vorel
