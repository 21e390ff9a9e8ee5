#include "execution/implied_vol.hpp"

#include "execution/valuation.hpp"

namespace vorel {

namespace detail {

BrentRounds::BrentRounds(double lo, double f_lo, double hi, double f_hi, BrentTolerance tolerance,
                         std::uint64_t max_iterations) noexcept
    : tolerance_(tolerance),
      max_iterations_(max_iterations),
      x_(hi),
      fx_(f_hi),
      c_(lo),
      fc_(f_lo),
      b_prev_(lo),
      fb_prev_(f_lo),
      d_(hi - lo),
      e_(hi - lo) {
    begin_round();
}

void BrentRounds::begin_round() noexcept {
    if (round_ >= max_iterations_) {
        state_ = State::OutOfRounds;
        return;
    }
    double a, fa;
    if (std::abs(fx_) > std::abs(fc_)) {
        b_ = c_, fb_ = fc_;
        a = x_, fa = fx_;
        c_ = x_, fc_ = fx_;
    } else {
        b_ = x_, fb_ = fx_;
        a = b_prev_, fa = fb_prev_;
    }
    const double b = b_, fb = fb_, c = c_, fc = fc_;
    const double tol1 = tolerance_.x_rel * std::abs(b) + tolerance_.x_abs;
    const double m = 0.5 * (c - b);
    if (std::abs(fb) < tolerance_.f || std::abs(m) <= tol1) {
        state_ = State::Root;
        return;
    }

    if (std::abs(e_) >= tol1 && std::abs(fa) > std::abs(fb)) {
        const double s = fb / fa;
        double p, q;
        if (std::abs(a - c) < 1e-15) {  // secant
            p = 2.0 * m * s;
            q = 1.0 - s;
        } else {  // inverse quadratic
            const double u = fa / fc;
            const double v = fb / fc;
            p = s * (2.0 * m * u * (u - v) - (b - a) * (v - 1.0));
            q = (u - 1.0) * (v - 1.0) * (s - 1.0);
        }
        if (p > 0.0) q = -q;
        p = std::abs(p);
        if (2.0 * p < min_ignoring_nan(3.0 * m * q - std::abs(tol1 * q), std::abs(e_ * q))) {
            e_ = d_;
            d_ = p / q;
        } else {
            d_ = m;
            e_ = m;
        }
    } else {
        d_ = m;
        e_ = m;
    }
    x_ = std::abs(d_) > tol1 ? b + d_ : (m > 0.0 ? b + tol1 : b - tol1);
    state_ = State::Trial;
}

void BrentRounds::take(double fx) noexcept {
    fx_ = fx;
    if ((fx > 0.0 && fc_ > 0.0) || (fx < 0.0 && fc_ < 0.0)) {
        c_ = b_, fc_ = fb_;
        d_ = e_ = x_ - b_;
    }
    b_prev_ = b_, fb_prev_ = fb_;
    ++round_;
    begin_round();
}

}  // namespace detail

Result<double> implied_vol_solve(const VanillaOption& option, const MarketFrameData& market,
                                 std::optional<Instant> at, const Config& config, std::optional<double> target) {
    if (Result<Unit> checked = check_conventions(market); !checked) return Err{std::move(checked).error()};
    if (!target) return Err{Error::invalid_input("Target price must be set before calling solve().")};
    const MarketInputs inputs = market_inputs(option, market, at ? *at : now_utc());
    const PricingMethod& method = method_for(config, option.exercise_style, option.option_type);
    if (Result<Unit> settled = check_method(method, market); !settled) return Err{std::move(settled).error()};
    const Pricer pricer(method, option, market.dividends.entries(), inputs);
    const double goal = *target;
    const auto gap = [&](double sigma) -> Result<double> {
        Result<PricingResult> priced = pricer(sigma);
        if (!priced) return Err{std::move(priced).error()};
        return priced->price - goal;
    };
    const SolverSetting& solver = config.solver;
    return brent(gap, solver.tolerance, solver.max_iterations);
}

}  // namespace vorel
