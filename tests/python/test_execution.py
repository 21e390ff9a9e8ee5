"""Valuation and implied volatility from Python: routing, builders, results and the solver."""

import functools
import math
from datetime import date, datetime, timedelta, timezone
from zoneinfo import ZoneInfo

import pytest

import vorel
from vorel import (Compounding, Config, DayCountConvention, DividendSchedule, ExerciseStyle, FdmConfig,
                   InstrumentPolicy, InterestRate, OptionMarketFrame, OptionType, RateCurve, Tenor,
                   ValuationBuilder, VanillaOption, VolSurface)

UTC, NEW_YORK = timezone.utc, ZoneInfo("America/New_York")
ACT_360, ACT_365 = DayCountConvention.ACT_360, DayCountConvention.ACT_365_FIXED
CALL, PUT, AMERICAN, EUROPEAN = OptionType.Call, OptionType.Put, ExerciseStyle.American, ExerciseStyle.European
EXPIRY = datetime(2026, 1, 15, 16, tzinfo=UTC)
VALUED = EXPIRY - timedelta(days=365)  # T = 1 exactly
CALL_PRICE, PUT_PRICE = 10.450583572185572, 5.573526022256971
BELOW_YIELD = "not implemented: American options with interest rate below dividend yield have not been implemented"
UNBRACKETED = "Root is not bracketed. f(low) = {}, f(high) = {}. Target price might be out of bounds."


def option(kind=PUT, style=EUROPEAN, expiry=EXPIRY):
    return VanillaOption(100.0, expiry, kind, style)


IMPLIED = type(option().implied_vol())


def frame(spot=100.0, vol=0.2, rates=None, **extra):
    return OptionMarketFrame(spot, rates or RateCurve.continuous(0.05, ACT_365), VolSurface.flat(vol, ACT_365), **extra)


def value(opt, market=None, config=None, at=VALUED):
    return opt.valuation().market(market or frame()).at(at).config(config).compute()


def solve(opt, target, at=VALUED):
    return opt.implied_vol().market(frame()).at(at).price(target).calculate()


def run(builder):
    return builder.compute().price if isinstance(builder, ValuationBuilder) else builder.calculate()


def policy_config(*policies):
    return functools.reduce(Config.add_policy, policies, Config())


@pytest.mark.parametrize("kind, price, text", [(CALL, CALL_PRICE, "<OptionResult price=10.4506>"),
                                               (PUT, PUT_PRICE, "<OptionResult price=5.5735>")])
def test_default_config_prices_european_in_closed_form_and_american_by_fdm(kind, price, text):
    european, american = value(option(kind)), value(option(kind, AMERICAN))
    assert european.price == price and repr(european) == text
    assert type(european.greeks.vega) is float and type(european.greeks.rho) is float
    assert american.greeks.vega is None and american.greeks.rho is None
    assert american.price == pytest.approx(price, abs=0.6) and american.price != price
    if kind is PUT:  # early exercise is worth something without dividends only for the put
        assert american.price > price


@pytest.mark.parametrize("kind, price", [(CALL, CALL_PRICE), (PUT, PUT_PRICE)])
def test_american_closed_form_requires_rate_not_below_yield(kind, price):
    analytic = policy_config(InstrumentPolicy().analytic())
    assert value(option(kind, AMERICAN), config=analytic).price == price
    equal = frame(borrow_curve=RateCurve.continuous(0.05, ACT_365))
    assert value(option(kind, AMERICAN), equal, analytic).price == value(option(kind), equal).price
    above = frame(borrow_curve=RateCurve.continuous(0.06, ACT_365))
    assert math.isfinite(value(option(kind), above, analytic).price)  # European is fine
    with pytest.raises(ValueError) as info:
        value(option(kind, AMERICAN), above, analytic)
    assert info.value.args == (BELOW_YIELD,)


@pytest.mark.parametrize("policies, by_fdm", [
    ([InstrumentPolicy().american()], False),  # no method: back to closed form
    ([InstrumentPolicy().american().call().fdm()], True),  # does not match the put
    ([InstrumentPolicy().fdm().analytic()], False),  # the last method of a policy wins
    ([InstrumentPolicy().analytic().fdm(None)], True),
    ([InstrumentPolicy().american().put().fdm(), InstrumentPolicy().put().analytic()], False),  # later wins
    ([InstrumentPolicy().analytic(), InstrumentPolicy().american().american().fdm()], True),
])
def test_policies_route_an_american_put(policies, by_fdm):
    result = value(option(PUT, AMERICAN), config=policy_config(*policies))
    assert (result.greeks.vega is None) is by_fdm
    assert (result.price == PUT_PRICE) is not by_fdm


def test_fdm_settings_are_used():
    def fdm_price(*args, opt=option(PUT, AMERICAN)):
        return value(opt, config=policy_config(InstrumentPolicy().fdm(*args))).price
    default = value(option(PUT, AMERICAN)).price
    assert fdm_price() == fdm_price(None) == default
    finer = fdm_price(FdmConfig(time_steps=100, grid_nodes=301))
    assert finer != default and finer == pytest.approx(default, abs=0.01)
    assert fdm_price(opt=option(PUT)) == pytest.approx(PUT_PRICE, abs=0.01)


def test_builders_read_frame_and_config_when_they_run():
    market, config, policy = frame(), Config(), InstrumentPolicy()
    valuation = option(CALL).valuation().market(market).at(VALUED).config(config)
    solver = option(CALL).implied_vol().market(market).at(VALUED).config(config).price(CALL_PRICE)
    closed_form_vol = solver.calculate()
    market.spot = 101.0
    assert valuation.compute().price > CALL_PRICE and solver.calculate() < closed_form_vol
    market.spot = 100.0
    config.add_policy(policy.european().fdm())
    policy.analytic()  # a policy changed after it was added changes nothing
    result = valuation.compute()
    assert result.greeks.vega is None and result.price == pytest.approx(CALL_PRICE, abs=0.01)
    fdm_vol = solver.calculate()
    assert fdm_vol != closed_form_vol and fdm_vol == pytest.approx(0.2, abs=2e-3)


def test_discrete_dividends_reach_only_finite_differences():
    def paid(ex_date):
        return frame(dividends=DividendSchedule([(ex_date, 3.0)]))
    new_york = paid(datetime(2025, 2, 14, 9, 30, tzinfo=NEW_YORK))  # EST: 14:30 UTC
    assert value(option(PUT), new_york).price == PUT_PRICE
    fdm = value(option(PUT, AMERICAN), new_york).price
    assert fdm > value(option(PUT, AMERICAN)).price + 1.0
    assert value(option(PUT, AMERICAN), paid(datetime(2025, 2, 14, 14, 30, tzinfo=UTC))).price == fdm
    assert value(option(PUT, AMERICAN), paid(datetime(2025, 2, 14, 9, 30, tzinfo=UTC))).price != fdm


@pytest.mark.parametrize("kind, intrinsic", [(CALL, 10.0), (PUT, 0.0)])
def test_valuing_at_expiry(kind, intrinsic):
    result = value(option(kind), frame(spot=110.0), at=EXPIRY)
    assert result.price == intrinsic
    assert math.isnan(result.greeks.gamma) and math.isnan(result.greeks.theta)
    # Every engine gives the closed form's values there, and after expiry.
    for at in (EXPIRY, EXPIRY + timedelta(microseconds=1), EXPIRY + timedelta(days=30)):
        closed = value(option(kind), frame(spot=110.0), at=at)
        for style in (EUROPEAN, AMERICAN):
            by_fdm = value(option(kind, style), frame(spot=110.0), policy_config(InstrumentPolicy().fdm()), at)
            assert repr([by_fdm.price] + [getattr(by_fdm.greeks, g) for g in ("delta", "gamma", "theta")]) == repr(
                [closed.price] + [getattr(closed.greeks, g) for g in ("delta", "gamma", "theta")])
    assert math.isnan(value(option(kind, AMERICAN), at=EXPIRY + timedelta(days=1)).price)


@pytest.mark.parametrize("kind, style, sigma", [(CALL, EUROPEAN, 0.2), (PUT, EUROPEAN, 0.2), (PUT, AMERICAN, 0.25)])
def test_implied_vol_round_trip(kind, style, sigma):
    target = value(option(kind, style), frame(vol=sigma)).price
    found = solve(option(kind, style), target)
    assert found == pytest.approx(sigma, abs=1e-3)
    # Brent stops once sigma is pinned within 1e-4, so the price gap is at most about vega * 1e-4.
    assert value(option(kind, style), frame(vol=found)).price == pytest.approx(target, abs=4e-3)


@pytest.mark.parametrize("sigma, shift", [(sigma, shift) for sigma in (0.1, 5.0) for shift in (9e-5, -9e-5)])
def test_targets_next_to_the_interval_ends_return_the_end(sigma, shift):
    assert solve(option(CALL), value(option(CALL), frame(vol=sigma)).price + shift) == sigma


# After expiry the closed form prices NaN, and NaN is bracketed by nothing.
@pytest.mark.parametrize("target, at", [(0.5, VALUED), (150.0, VALUED), (math.nan, VALUED),
                                        (1.0, EXPIRY + timedelta(days=1))])
def test_unbracketed_target_reports_both_ends(target, at):
    ends = (value(option(CALL), frame(vol=sigma), at=at).price - target for sigma in (0.1, 5.0))
    with pytest.raises(ValueError) as info:
        solve(option(CALL), target, at=at)
    assert str(info.value) == UNBRACKETED.format(*(repr(end) if end == end else "NaN" for end in ends))


def test_implied_vol_builder_class():
    made = IMPLIED(option(CALL)).market(frame()).at(VALUED).price(CALL_PRICE)
    assert made.calculate() == solve(option(CALL), CALL_PRICE)
    with pytest.raises(TypeError, match="^argument 'instrument': 'int' object cannot be cast as 'VanillaOption'$"):
        IMPLIED(42)


@pytest.mark.parametrize("make, what", [(lambda o: o.valuation(), "valuation"),
                                        (lambda o: o.implied_vol(), "implied volatility solving")])
def test_run_checks_in_order(make, what):
    builder = make(option(CALL))
    with pytest.raises(ValueError, match=f"^Market data is required for {what}\\.$"):
        run(builder)
    builder.market(frame(rates=RateCurve.continuous(0.05, ACT_360)))
    with pytest.raises(ValueError) as info:
        run(builder)  # the solver has no target yet: the mismatch comes first
    assert str(info.value) == ("Mismatched day count conventions: Rates use Actual360, while Vol uses "
                               "Actual365Fixed. They must be identical.")
    pillars = [InterestRate(0.05, Compounding.continuous(), dc) for dc in (ACT_365, ACT_360)]
    mixed = RateCurve.interpolated(date(2025, 1, 1), [Tenor.years(1), Tenor.years(2)], pillars)
    with pytest.raises(ValueError) as info:
        run(builder.market(frame(rates=mixed)))
    assert str(info.value) == ("Mismatched day count conventions: the rate curve's pillars use Actual365Fixed and "
                               "Actual360. They must be identical.")
    if isinstance(builder, IMPLIED):
        with pytest.raises(ValueError, match=r"^Target price must be set before calling solve\(\)\.$"):
            run(builder.market(frame()))


@pytest.mark.parametrize("vol", [-1e-300, -math.inf])
@pytest.mark.parametrize("style", [EUROPEAN, AMERICAN])
def test_negative_volatility_is_refused(style, vol):
    with pytest.raises(ValueError, match="^Volatility must not be negative: the volatility surface gives -"):
        value(option(PUT, style), frame(vol=vol))
    # NaN is no volatility at all, and comes back as NaN.
    assert math.isnan(value(option(PUT, style), frame(vol=math.nan)).price)


def simple(rate, compounding):
    return RateCurve.flat(InterestRate(rate, compounding, ACT_365))


# T is one year: every rule's continuous equivalent of 5% is ln(1.05), exactly.
@pytest.mark.parametrize("curve", [
    simple(0.05, Compounding.simple()), simple(0.05, Compounding.compounded(vorel.Frequency.Annual)),
    simple(0.05, Compounding.simple_then_compounded(vorel.Frequency.Annual)),
    RateCurve.interpolated(date(2025, 1, 15), [Tenor.years(1), Tenor.years(2)],
                           [InterestRate(0.05, Compounding.simple(), ACT_365)] * 2),
], ids=["simple", "annual", "simple then compounded", "interpolated simple"])
@pytest.mark.parametrize("style", [EUROPEAN, AMERICAN])
def test_engines_price_with_the_curves_own_discount_factor(curve, style):
    same = RateCurve.continuous(math.log1p(0.05), ACT_365)
    assert value(option(CALL, style), frame(rates=curve)).price == value(option(CALL, style), frame(rates=same)).price
    flat = RateCurve.interpolated(date(2025, 1, 15), [Tenor.years(1), Tenor.years(2)],
                                  [InterestRate(0.05, Compounding.continuous(), ACT_365)] * 2)
    assert value(option(PUT, style), frame(rates=flat)).price == value(option(PUT, style)).price


@pytest.mark.parametrize("make", [lambda o: o.valuation(), lambda o: o.implied_vol().price(CALL_PRICE)],
                         ids=["valuation", "implied_vol"])
@pytest.mark.parametrize("clear", [lambda b: b.at(), lambda b: b.at(None)])
def test_clearing_the_time_reads_the_clock_and_a_naive_time_is_refused(make, clear):
    expiry = datetime.now(UTC) + timedelta(days=400)
    builder = make(option(CALL, expiry=expiry)).market(frame()).at(expiry - timedelta(days=365))
    fixed = run(builder)
    with pytest.raises(ValueError) as info:
        builder.at(datetime(2025, 6, 1))
    assert str(info.value) == "Evaluation time must have a timezone specified (e.g. New York or UTC)"
    assert clear(builder) is builder and run(builder) != fixed
