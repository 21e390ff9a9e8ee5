"""Hostile arguments for every entry point. A call returns its documented type or raises a
documented error with a message; a failed call leaves its receiver as it was; and whatever
state a call leaves behind can still be read and priced."""

import collections.abc
import functools
import math
import os
from datetime import date, datetime, timedelta, timezone
from zoneinfo import ZoneInfo

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import vorel
from entry_points import (ACT_365, AMERICAN, ENTRIES, EXPIRY, OBSERVE, PUT, VALUED, Hostile, Trap, TrapZone,
                          _raise, check_raised, check_returned, dividends, frame, option)

pytestmark = pytest.mark.filterwarnings("ignore::DeprecationWarning")  # __index__ returning a bool
EXAMPLES = int(os.environ.get("VOREL_FUZZ_EXAMPLES", "200"))
TRIED = {"calls": 0}


class Lying(collections.abc.Sequence):
    """A sequence that claims `length` items and fails to give any."""

    def __init__(self, length):
        self.length = length

    def __len__(self):
        return self.length

    def __getitem__(self, index):
        raise Hostile(f"no item {index}")


class OddTime(datetime):
    """An aware date-time whose timestamp is whatever it is told to be."""

    def timestamp(self):
        return self.seconds


def odd_time(seconds):
    moment = OddTime(2026, 1, 15, tzinfo=timezone.utc)
    moment.seconds = seconds
    return moment


ZONES = [timezone.utc, ZoneInfo("America/New_York"), ZoneInfo("Asia/Kolkata"),
         timezone(timedelta(hours=23, minutes=59)), timezone(-timedelta(hours=23, minutes=59))]
floats = st.floats() | st.sampled_from([0.0, -0.0, 5e-324, -5e-324, 1e308, -1e308, math.nan, math.inf, -math.inf])
ints = st.integers() | st.sampled_from([-1, 0, 1, 2, 3, 2**31 - 1, 2**31, -(2**31), -(2**31) - 1, 2**32, 2**63 - 1,
                                        2**63, -(2**63), -(2**63) - 1, 2**64, 10**30])
small_counts = st.none() | st.integers(0, 40)
odd_offsets = st.sampled_from([None, timedelta(0), timedelta(hours=5), timedelta(hours=24), timedelta(microseconds=1),
                               "x", 1.5])
datetimes = (st.datetimes(timezones=st.none() | st.sampled_from(ZONES))
             | st.sampled_from([datetime.min.replace(tzinfo=z) for z in ZONES] + [datetime.max.replace(tzinfo=z)
                                                                                 for z in ZONES]))
scalars = (st.none() | st.booleans() | st.text(max_size=3) | st.binary(max_size=3) | floats | ints | st.dates()
           | datetimes)
days = st.integers(-400, 400).map(lambda n: EXPIRY + timedelta(days=n))

# Library objects built from hostile numbers, so that pricing meets them too. A
# construction that refuses its numbers gives a plain object instead.
def made(factory, fallback):
    def build(*args):
        try:
            return factory(*args)
        except (ValueError, TypeError, OverflowError):
            return fallback()
    return build


D = vorel.DayCountConvention
conventions = st.sampled_from([D.ACT_360, D.ACT_365_FIXED, D.THIRTY_360.US_ISDA, D.THIRTY_360.GERMAN_ISDA,
                               D.THIRTY_360.EUROBOND_ISMA, D.ACT_ACT.ISDA])
curves = (st.builds(vorel.RateCurve.continuous, floats, st.just(ACT_365)) | st.builds(
    lambda r: vorel.RateCurve.flat(vorel.InterestRate(r, vorel.Compounding.simple(), ACT_365)), floats))
surfaces = st.builds(vorel.VolSurface.flat, floats, conventions)
schedules = st.builds(made(vorel.DividendSchedule, dividends),
                      st.lists(st.tuples(days | datetimes, floats), max_size=4))
frames = st.builds(vorel.OptionMarketFrame, floats, curves, surfaces, st.none() | schedules, st.none() | curves)
options = st.builds(made(vorel.VanillaOption, option), floats, days, st.sampled_from([vorel.OptionType.Call, PUT]),
                    st.sampled_from([AMERICAN, vorel.ExerciseStyle.European]))
transforms = st.none() | st.just(vorel.TransformConfig.log()) | st.builds(vorel.TransformConfig.sinh, floats)
grids = st.builds(vorel.FdmConfig, small_counts, small_counts, st.none() | floats, transforms)


def _policy(selectors, grid):  # each selector returns the policy itself
    policy = functools.reduce(lambda p, name: getattr(p, name)(), selectors, vorel.InstrumentPolicy())
    return policy.analytic() if grid is None else policy.fdm(grid)


policies = st.builds(_policy, st.lists(st.sampled_from(["american", "european", "put", "call"]), max_size=3),
                     st.none() | grids)
configs = st.builds(lambda ps: functools.reduce(vorel.Config.add_policy, ps, vorel.Config()),
                    st.lists(policies, max_size=3))
INSTANCES = {vorel.RateCurve: curves, vorel.VolSurface: surfaces, vorel.DividendSchedule: schedules,
             vorel.OptionMarketFrame: frames, vorel.VanillaOption: options, vorel.FdmConfig: grids,
             vorel.TransformConfig: transforms, vorel.InstrumentPolicy: policies, vorel.Config: configs}
instances = st.one_of(*INSTANCES.values()) | st.sampled_from(
    [vorel.Compounding.simple(), vorel.Frequency.Monthly, ACT_365, PUT, AMERICAN, vorel.Tenor.days(1),
     vorel.InterestRate(0.05, vorel.Compounding.continuous(), ACT_365)])


RECEIVER = [None]  # the receiver of the call under way, for arguments that call back into it


def reentries(receiver):
    """Calls back into the receiver from inside an argument's conversion; none changes its state."""
    return {
        "OptionMarketFrame": [lambda: receiver.spot, lambda: setattr(receiver, "spot", receiver.spot)],
        "ValuationBuilder": [lambda: receiver.compute(), lambda: receiver.at(VALUED)],
        "ImpliedVolBuilder": [lambda: receiver.calculate(), lambda: receiver.at(VALUED)],
        "Config": [lambda: option(AMERICAN).valuation().market(frame()).at(VALUED).config(receiver).compute()],
        "InstrumentPolicy": [lambda: vorel.Config().add_policy(receiver)],
    }.get(type(receiver).__name__, [])


def reenter(index, value):
    def action():
        if calls := reentries(RECEIVER[0]):
            calls[index % len(calls)]()
        return value
    return action


def actions(values):
    return st.builds(lambda v: lambda: v, values) | st.just(_raise) | st.builds(reenter, st.integers(0, 1), values)


traps = st.builds(Trap, actions(scalars | st.just(1.0) | st.just(1)))
zones = st.builds(lambda d, a: d.replace(tzinfo=TrapZone(a)), st.datetimes(), actions(odd_offsets))
lying = st.builds(Lying, st.integers(0) | st.sampled_from([2**31, 2**62, 2**63 - 1]))
hostile = (scalars | instances | traps | zones | st.lists(scalars | instances, max_size=3) | lying
           | st.tuples(scalars, scalars) | st.builds(object))


def near(value):
    """Values of the kind `value` is, hostile ones included."""
    if isinstance(value, bool) or value is None:
        return hostile
    if isinstance(value, float):
        return floats | st.builds(Trap, actions(floats))
    if isinstance(value, int):
        return ints | st.builds(Trap, actions(ints))
    if isinstance(value, datetime):
        return (datetimes | days | st.builds(lambda a: VALUED.replace(tzinfo=TrapZone(a)), actions(odd_offsets))
                | st.builds(odd_time, floats | ints | st.sampled_from([9.3e18, -9.3e18, "x", None])))
    if isinstance(value, date):
        return st.dates() | datetimes
    if isinstance(value, (list, tuple)):
        items = st.one_of(*(near(item) for item in value)) if value else hostile
        fixed = st.tuples(*(near(item) for item in value))
        return st.lists(items, max_size=4) | fixed | fixed.map(list) | lying
    return INSTANCES.get(type(value), st.just(value))


def arguments(entry):
    full = st.tuples(*(near(v) | hostile for v in entry.valid))
    if entry.kind == "set":
        return full
    return full | full.map(lambda args: args[:-1]) | full.map(lambda args: (*args, None))


FUZZED = [e for e in ENTRIES if e.kind != "get" and not e.variant]
ARGUMENTS = {e.name: arguments(e) for e in FUZZED}


def summary():
    return f"fuzz: {TRIED['calls']} calls with hostile arguments over {len(FUZZED)} entry points"


@pytest.mark.parametrize("entry", FUZZED, ids=lambda e: e.name)
@settings(max_examples=EXAMPLES, deadline=None, database=None,
          suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large, HealthCheck.filter_too_much])
@given(data=st.data())
def test_hostile_arguments(entry, data):
    receiver = entry.make() if entry.make else None
    observe = OBSERVE.get(type(receiver).__name__)
    before = observe(receiver) if observe else None
    args = data.draw(ARGUMENTS[entry.name])
    RECEIVER[0] = receiver
    TRIED["calls"] += 1
    try:
        value = entry.call(receiver, *args)
    except BaseException as exc:  # noqa: BLE001 - every failure is checked below
        check_raised(exc)
        if observe:
            assert observe(receiver) == before, f"{entry.name}{args!r} changed its receiver"
        return
    if entry.kind != "set":
        check_returned(entry, value, receiver)
    for thing in (value, receiver):  # what a call leaves behind can still be used
        if watch := OBSERVE.get(type(thing).__name__):
            watch(thing)


# Prices from finite inputs ---------------------------------------------------

KINDS = [(t, s) for t in (vorel.OptionType.Call, vorel.OptionType.Put)
         for s in (vorel.ExerciseStyle.European, vorel.ExerciseStyle.American)]
settings_drawn = st.one_of(st.none(), st.builds(
    vorel.FdmConfig, st.integers(1, 60), st.integers(3, 240), st.floats(0.5, 8.0),
    st.one_of(st.just(vorel.TransformConfig.log()), st.floats(0.01, 5.0).map(vorel.TransformConfig.sinh))))


@st.composite
def markets(draw):
    spot = draw(st.floats(0.01, 1e4))
    strike = spot * draw(st.floats(0.05, 20.0))
    days = draw(st.integers(0, 3650))
    paid = draw(st.lists(st.tuples(st.integers(0, 3700), st.floats(0.0, 0.3)), max_size=3))
    return dict(spot=spot, strike=strike, days=days, vol=draw(st.floats(0.0, 3.0)), r=draw(st.floats(-0.05, 0.3)),
                q=draw(st.floats(-0.05, 0.3)), dividends=[(d, spot * f) for d, f in paid],
                kind=draw(st.sampled_from(KINDS)), fdm=draw(st.booleans()), settings=draw(settings_drawn))


def priced(m):
    option_type, style = m["kind"]
    option = vorel.VanillaOption(m["strike"], VALUED + timedelta(days=m["days"]), option_type, style)
    dividends = vorel.DividendSchedule([(VALUED + timedelta(days=d), amount) for d, amount in m["dividends"]])
    market = vorel.OptionMarketFrame(m["spot"], vorel.RateCurve.continuous(m["r"], ACT_365),
                                     vorel.VolSurface.flat(m["vol"], ACT_365), dividends,
                                     vorel.RateCurve.continuous(m["q"], ACT_365))
    policy = vorel.InstrumentPolicy().fdm(m["settings"]) if m["fdm"] else vorel.InstrumentPolicy().european().analytic()
    return option.valuation().market(market).at(VALUED).config(vorel.Config().add_policy(policy)).compute().price


@settings(max_examples=EXAMPLES, deadline=None, database=None, suppress_health_check=[HealthCheck.too_slow])
@given(m=markets())
def test_prices_from_finite_inputs_are_within_bounds(m):
    """European within its no-arbitrage bounds, American at or above its exercise value, both at or above zero."""
    try:
        price = priced(m)
    except ValueError as exc:  # the closed form's American with r < q; a grid without volatility
        assert "interest rate below dividend yield" in str(exc) or "positive volatility" in str(exc), exc
        return
    is_call = m["kind"][0] is vorel.OptionType.Call
    t = m["days"] / 365.0
    s, k = m["spot"], m["strike"]
    forward_s = s * math.exp(-m["q"] * t)
    paid = m["fdm"] and any(0 < d < m["days"] for d, _ in m["dividends"])  # the closed form ignores dividends
    discounted_k = k * math.exp(-m["r"] * t)
    slack = 1e-9 * (s + k)
    assert math.isfinite(price) or t == 0.0, m
    if t == 0.0:
        return
    exercise = max(s - k if is_call else k - s, 0.0)
    if m["kind"][1] is vorel.ExerciseStyle.American:
        assert price >= exercise, (price, m)
        assert price <= (max(s, forward_s) if is_call else max(k, discounted_k)) + slack, (price, m)
    elif is_call:
        floor = 0.0 if paid else max(forward_s - discounted_k, 0.0)
        assert floor - slack <= price <= forward_s + slack, (price, m)
    else:
        assert max(discounted_k - forward_s, 0.0) - slack <= price <= discounted_k + slack, (price, m)
    assert price >= -slack, (price, m)
