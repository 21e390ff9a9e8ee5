// Operator, grids, process, TR-BDF2 and the American scheme.

#include <algorithm>
#include <cmath>
#include <vector>

#include "methods/finite_difference/fdm_process.hpp"
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

TEST(Operator, ApplyAndSolveAgree) {
    for (const std::size_t n : {0u, 1u, 2u}) {
        EXPECT_EQ(panic_text([&] { TridiagonalOperator(Vec(n), Vec(n), Vec(n)); }),
                  "TridiagonalOperator requires at least 3 elements, found " + std::to_string(n));
    }
    const TridiagonalOperator op = sample_operator();
    const Vec x{1.0, -2.0, 3.0, 0.5};
    Vec y(4);
    op.apply(x, y);
    EXPECT_EQ(y, (Vec{-4.0 - 3.0, 1.0 + 10.0 + 7.5, -4.0 - 18.0 + 1.75, 9.0 - 3.5}));

    // With c = 0 the solve hands b back, its end values included.
    const Vec b{1.0, 2.0, -1.0, 4.0};
    Vec solution(4), scratch(4);
    op.solve_implicit(b, solution, scratch, 0.0);
    EXPECT_EQ(solution, b);
    Vec short_input(3);
    EXPECT_FALSE(panic_text([&] { op.apply(short_input, y); }).empty());
    EXPECT_FALSE(panic_text([&] { op.solve_implicit(b, solution, short_input, 0.1); }).empty());
}

TEST(Operator, NeumannRows) {
    TridiagonalOperator op = sample_operator();
    const Vec b{0.25, 1.0, -1.0, -0.5};
    Vec x(4), scratch(4);
    op.solve_implicit(b, x, scratch, 0.2);  // a factorisation the closed rows must not reuse
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

// A system whose solution must stay above a floor that binds at one end, solved
// by the floored elimination in each direction and by projected Gauss–Seidel
// iterated to convergence (an independent solver of the same complementarity
// problem: x ≥ floor, (I − c·L)·x ≥ b, equality in one of the two per row).
class FlooredSolve : public ::testing::TestWithParam<bool> {};  // the floor binds at the bottom
TEST_P(FlooredSolve, SolvesTheComplementarityProblem) {
    const bool bottom = GetParam();
    const std::size_t n = 9;
    Vec lower(n), diag(n), upper(n), floor(n), b(n);
    for (std::size_t i = 0; i < n; ++i) {
        lower[i] = 2.0 + 0.1 * static_cast<double>(i);
        upper[i] = 1.5 + 0.05 * static_cast<double>(i);
        diag[i] = -(lower[i] + upper[i]) - 0.05;
        const double s = bottom ? static_cast<double>(i) : static_cast<double>(n - 1 - i);
        floor[i] = std::max(4.0 - s, 0.0);  // a payoff falling away from the binding end
        b[i] = 0.8 * floor[i] + 0.3;
    }
    TridiagonalOperator op(lower, diag, upper);
    const double c = 0.4;
    Vec x(n), scratch(n);
    op.solve_floored([&](std::size_t i) { return b[i]; }, b[0], b[n - 1], [&](std::size_t i) { return floor[i]; },
                     bottom, x, scratch, c);

    Vec y(n, 0.0);
    for (int sweep = 0; sweep < 20000; ++sweep) {
        for (std::size_t i = 0; i < n; ++i) {
            double rest = b[i];
            if (i > 0) rest += c * lower[i] * y[i - 1];
            if (i + 1 < n) rest += c * upper[i] * y[i + 1];
            y[i] = std::max(rest / (1.0 - c * diag[i]), floor[i]);
        }
    }
    std::size_t bound = 0;
    for (std::size_t i = 0; i < n; ++i) {
        EXPECT_NEAR(x[i], y[i], 1e-12) << i;
        EXPECT_GE(x[i], floor[i]);
        bound += x[i] == floor[i];
    }
    EXPECT_GT(bound, 0u);  // the case exercises the floor
    EXPECT_LT(bound, n);
}
INSTANTIATE_TEST_SUITE_P(Operator, FlooredSolve, ::testing::Bool());

FdmConfig config(std::uint64_t nodes, TransformConfig transform = {}) {
    FdmConfig c;
    c.grid_nodes = nodes;
    c.transform = transform;
    return c;
}

FdmGrid grid_at(double spot, const FdmConfig& c, double drift = 0.02, double sigma = 0.2, double years = 1.0) {
    return uniform_grid(100.0, sigma, years, c, spot, drift);
}

TEST(Grid, UniformGridsSpanTheStrikePlusMinusHalfWidth) {
    // Both span the strike times e^±half. Sinh: nodes densest at the strike. Log: geometric spots.
    const FdmGrid sinh = grid_at(100.0, config(101));
    const FdmGrid log = grid_at(100.0, config(11, TransformConfig::log()));
    EXPECT_NEAR(sinh.spot[50], 100.0, 1e-12);
    EXPECT_LT(sinh.spot[51] - sinh.spot[50], std::min(sinh.spot[1] - sinh.spot[0], sinh.spot[100] - sinh.spot[99]));
    for (const FdmGrid* grid : {&sinh, &log}) {
        EXPECT_NEAR(grid->spot.front(), 100.0 * std::exp(-0.8), 1e-12);
        EXPECT_NEAR(grid->spot.back(), 100.0 * std::exp(0.8), 1e-12);
    }
    for (std::size_t i = 1; i + 1 < log.size(); ++i)
        EXPECT_NEAR(log.spot[i + 1] / log.spot[i], log.spot[1] / log.spot[0], 1e-14);
}

// The grid holds the strike's range and the spot's paths: half of the
// half-width either side of where log spot drifts (at r − q − σ²/2) over the
// life. A spot that is not a usable number leaves the strike's range alone.
struct RoomCase { double spot, drift, sigma, years; };
class SpotRoom : public ::testing::TestWithParam<RoomCase> {};
TEST_P(SpotRoom, GridHoldsTheStrikeAndThePaths) {
    const auto [spot, drift, sigma, years] = GetParam();
    const FdmGrid grid = grid_at(spot, config(101), drift, sigma, years);
    const double half = 4.0 * sigma * std::sqrt(years);
    const double tol = 1 + 1e-12;
    EXPECT_LE(grid.spot.front(), 100.0 * std::exp(-half) * tol);
    EXPECT_GE(grid.spot.back() * tol, 100.0 * std::exp(half));
    if (!(std::isfinite(spot) && spot > 0.0)) {
        EXPECT_NEAR(grid.spot.front(), 100.0 * std::exp(-half), 1e-9);
        EXPECT_NEAR(grid.spot.back(), 100.0 * std::exp(half), 1e-9);
        return;
    }
    const double move = (drift - 0.5 * sigma * sigma) * years;
    EXPECT_LE(grid.spot.front(), spot * std::exp(std::min(move, 0.0) - half / 2) * tol);
    EXPECT_GE(grid.spot.back() * tol, spot * std::exp(std::max(move, 0.0) + half / 2));
}
// The fourth: ten years at 1% volatility, drifting down 5% a year.
INSTANTIATE_TEST_SUITE_P(Grid, SpotRoom,
                         ::testing::Values(RoomCase{140.0, 0.02, 0.2, 1.0}, RoomCase{230.0, 0.02, 0.2, 1.0},
                                           RoomCase{20.0, 0.02, 0.2, 1.0}, RoomCase{100.0, -0.05, 0.01, 10.0},
                                           RoomCase{75.0, 0.08, 0.05, 5.0}, RoomCase{INFINITY, 0.02, 0.2, 1.0},
                                           RoomCase{0.0, 0.02, 0.2, 1.0}));

TEST(Process, ValuesLinearInSpotAreExact) {
    // L·1 = −r and L·S = −q·S in every interior row, on any grid.
    for (const TransformConfig& transform : {TransformConfig{}, TransformConfig::log(), TransformConfig::sinh(0.05)}) {
        const FdmGrid grid = grid_at(100.0, config(41, transform));
        const TridiagonalOperator op = build_operator({0.05, 0.02, 0.3}, grid);
        Vec image(grid.size());
        op.apply(Vec(grid.size(), 1.0), image);
        for (std::size_t i = 1; i + 1 < grid.size(); ++i) EXPECT_NEAR(image[i], -0.05, 1e-12);
        op.apply(grid.spot, image);
        for (std::size_t i = 1; i + 1 < grid.size(); ++i) EXPECT_NEAR(image[i], -0.02 * grid.spot[i], 1e-10);
    }
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
    const FdmGrid grid = grid_at(100.0, config(5), 0.03, 0.3, 0.5);
    const FdmProcess process{0.04, 0.01, 0.3};
    const NeumannStandard boundary = NeumannStandard::vanilla(-1.0, 0.01);
    LinearScheme scheme(grid, process, boundary);
    const Vec payoff{30.0, 12.0, 0.0, 0.0, 0.0};
    TrBdf2Workspace workspace(5);
    InputVectors& state = workspace.state();
    std::copy(payoff.begin(), payoff.end(), state.values().begin());
    scheme.initialise(state);
    const double dt = 0.1, tau = 0.2;
    workspace.step(scheme, dt, tau);

    // The same stages written out with dense matrices.
    const TridiagonalOperator& op = scheme.discretisation().op();
    // Each stage's ends at its own time to expiry: stage 1 ends γ·dt into the step.
    const auto ends = [&](double t) { return (grid.spot[1] - grid.spot[0]) * -std::exp(-0.01 * t); };
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
    b[0] = ends(tau + (2.0 - std::sqrt(2.0)) * dt), b[4] = 0.0;
    const Vec u1 = dense_solve(system(a), b);
    const Vec v1 = image(u1);
    for (std::size_t i = 0; i < 5; ++i) b[i] = payoff[i] + w * v0[i] + w * v1[i];
    b[0] = ends(tau + dt), b[4] = 0.0;
    const Vec u2 = dense_solve(system(0.29289321881345254 * dt), b);
    const Vec v2 = image(u2);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_NEAR(state.values()[i], u2[i], 1e-12);
        EXPECT_NEAR(state.images()[i], v2[i], 1e-10);
    }
    EXPECT_EQ(op.factorised_for(), a);  // one factorisation for both stages
}

// An American put at the strike, stepped once from expiry on a 41-node grid.
struct PutStep {
    FdmGrid grid;
    PostProjectionScheme scheme;
    TrBdf2Workspace workspace;

    PutStep(double r, double q)
        : grid(grid_at(100.0, config(41), r - q)),
          scheme(grid, {r, q, 0.2}, NeumannStandard::vanilla(-1.0, q), 100.0, -1.0),
          workspace(grid.size()) {
        for (std::size_t i = 0; i < grid.size(); ++i)
            workspace.state().values()[i] = std::max(100.0 - grid.spot[i], 0.0);
        scheme.initialise(workspace.state());
    }
};

TEST(PostProjection, ImageIsClearedWhereExerciseBeatsHolding) {
    // At expiry every node sits on its payoff; in the money a put's held value
    // moves at q·S − r·K, so the image is cleared below r·K/q and kept above.
    PutStep put(0.02, 0.04);
    const InputVectors& state = put.workspace.state();
    // Interior nodes whose neighbours are in the money too, away from r·K/q.
    for (std::size_t i = 1; put.grid.spot[i + 1] < 100.0; ++i) {
        const double s = put.grid.spot[i];
        if (std::abs(s - 50.0) < 1.0) continue;
        if (s < 50.0) EXPECT_EQ(state.images()[i], 0.0) << s;
        else EXPECT_NEAR(state.images()[i], 0.04 * s - 0.02 * 100.0, 1e-9) << s;
    }
}

TEST(PostProjection, NoNodeEndsAStepBelowItsExerciseValue) {
    for (const auto& [r, q] : {std::pair{0.05, 0.0}, std::pair{0.0, 0.05}, std::pair{-0.02, 0.0}}) {
        PutStep put(r, q);
        for (int k = 0; k < 5; ++k) {
            put.workspace.step(put.scheme, 0.1, 0.1 * k);
            const InputVectors& state = put.workspace.state();
            for (std::size_t i = 0; i < put.grid.size(); ++i)
                EXPECT_GE(state.values()[i], put.scheme.exercise_value(put.grid.spot[i])) << r << ' ' << i;
        }
    }
    // With r > 0 the bottom sits on exercise and no longer evolves there.
    PutStep put(0.05, 0.0);
    put.workspace.step(put.scheme, 0.1, 0.0);
    EXPECT_EQ(put.workspace.state().values()[0], 100.0 - put.grid.spot[0]);
    EXPECT_EQ(put.workspace.state().images()[0], 0.0);
}

}  // namespace
}  // namespace vorel
