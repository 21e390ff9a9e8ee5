"""Every public entry point of the module with arguments that succeed, shared by the
leak, fuzz and memcheck runs, and the error paths that each of them can take."""

import sys
from dataclasses import dataclass
from datetime import date, datetime, timedelta, timezone, tzinfo
from typing import Any, Callable

import vorel
from vorel import (Compounding, Config, DayCountConvention, DividendSchedule, ExerciseStyle, FdmConfig, Frequency,
                   InstrumentPolicy, InterestRate, OptionMarketFrame, OptionType, RateCurve, Tenor, TransformConfig,
                   VanillaOption, VolSurface)

UTC = timezone.utc
ACT_365, ACT_360 = DayCountConvention.ACT_365_FIXED, DayCountConvention.ACT_360
PUT, AMERICAN, EUROPEAN = OptionType.Put, ExerciseStyle.American, ExerciseStyle.European
EXPIRY = datetime(2027, 1, 15, 16, tzinfo=UTC)
VALUED = EXPIRY - timedelta(days=365)
NAIVE = datetime(2026, 1, 15, 16)
SELF = object()  # marks methods that return their receiver


def rate(value=0.05):
    return InterestRate(value, Compounding.continuous(), ACT_365)


def curve():
    return RateCurve.continuous(0.05, ACT_365)


def surface():
    return VolSurface.flat(0.2, ACT_365)


def dividends():
    return DividendSchedule([(EXPIRY - timedelta(days=100), 1.0)])


def frame():
    return OptionMarketFrame(100.0, curve(), surface(), dividends(), None)


def option(style=EUROPEAN):
    return VanillaOption(100.0, EXPIRY, PUT, style)


def small_grid():
    return FdmConfig(20, 41, None, TransformConfig.sinh(0.1))


def policy():
    return InstrumentPolicy().american().fdm(small_grid())


def config():
    return Config().add_policy(policy())


def valuation(style=AMERICAN):
    return option(style).valuation().market(frame()).at(VALUED).config(config())


def implied(style=EUROPEAN):
    return option(style).implied_vol().market(frame()).at(VALUED).price(6.0).config(config())


def result():
    return valuation(EUROPEAN).compute()


def outcome(call):
    """What a call gives, in a form that compares equal for equal outcomes (NaN included)."""
    try:
        value = call()
    except BaseException as exc:  # noqa: BLE001 - the outcome is what is compared
        check_raised(exc)
        return type(exc).__name__, str(exc)
    if isinstance(value, vorel.OptionResult):
        g = value.greeks
        return repr((value.price, g.delta, g.gamma, g.theta, g.vega, g.rho))
    return repr(value)


# What a caller can see of a receiver that can change.
def _frame_state(f):
    return outcome(lambda: (f.spot, f.rate_curve.zero_rate(0.7), f.vol_surface.volatility(90.0, 0.7),
                            f.borrow_curve and f.borrow_curve.zero_rate(0.7),
                            option(AMERICAN).valuation().market(f).at(VALUED).config(config()).compute().price))


def _config_state(c):
    return [outcome(lambda: option(s).valuation().market(frame()).at(VALUED).config(c).compute()) for s in (AMERICAN, EUROPEAN)]


OBSERVE: dict[str, Callable[[Any], Any]] = {
    "OptionMarketFrame": _frame_state,
    "ValuationBuilder": lambda b: outcome(b.compute),
    "ImpliedVolBuilder": lambda b: outcome(b.calculate),
    "Config": _config_state,
    "InstrumentPolicy": lambda p: _config_state(Config().add_policy(p)),
}


@dataclass(frozen=True)
class Entry:
    """One entry point: `kind` is new, static, method, get or set; `make` builds a fresh receiver."""
    name: str
    kind: str
    valid: tuple = ()
    returns: Any = None
    make: Callable[[], Any] | None = None
    required: int | None = None
    variant: str = ""

    @property
    def label(self):
        return f"{self.name} ({self.variant})" if self.variant else self.name

    @property
    def member(self):
        return self.name.split(".")[-1]

    def call(self, receiver, *args, **kwargs):
        if self.kind in ("new", "static"):
            owner = getattr(vorel, self.name.split(".")[0])
            return (owner if self.kind == "new" else getattr(owner, self.member))(*args, **kwargs)
        if self.kind == "get":
            return {"__repr__": repr, "__int__": int}.get(self.member, lambda r: getattr(r, self.member))(receiver)
        if self.kind == "set":
            return setattr(receiver, self.member, *args)
        return getattr(receiver, self.member)(*args, **kwargs)


def new(cls, valid, required=None):
    return Entry(f"{cls}.__new__", "new", valid, getattr(vorel, cls), required=required)


def static(name, valid, returns):
    return Entry(name, "static", valid, returns)


def method(name, make, valid, returns, required=None, variant=""):
    return Entry(name, "method", valid, returns, make, required, variant)


def getters(cls, make, **returns):
    return [Entry(f"{cls}.{name}", "get", (), kind, make) for name, kind in returns.items()]


def setter(name, make, value):
    return Entry(name, "set", (value,), type(None), make)


_FLOAT_OR_NONE = (float, type(None))
_CURVE = curve()

ENTRIES = [
    *[static(f"Compounding.{name}", (), Compounding) for name in ("simple", "continuous")],
    *[static(f"Compounding.{name}", (Frequency.Quarterly,), Compounding) for name in ("compounded", "simple_then_compounded")],
    *getters("Compounding", Compounding.simple, __repr__=str),
    *getters("DayCountConvention", lambda: ACT_360, __repr__=str),
    *getters("Frequency", lambda: Frequency.Monthly, __repr__=str, __int__=int, value=int),
    *getters("OptionType", lambda: PUT, __repr__=str, __int__=int),
    *getters("ExerciseStyle", lambda: AMERICAN, __repr__=str, __int__=int),
    new("InterestRate", (0.05, Compounding.continuous(), ACT_365)),
    method("InterestRate.discount_factor", rate, (1.5,), float),
    *[static(f"Tenor.{name}", (3,), Tenor) for name in ("days", "weeks", "months", "years")],
    method("Tenor.advance", lambda: Tenor.months(1), (date(2024, 1, 31),), date),
    static("PeriodCalculator.days_between", (date(2024, 1, 1), date(2024, 3, 1), ACT_360), int),
    static("PeriodCalculator.year_fraction", (VALUED, EXPIRY, ACT_360), float),
    static("RateCurve.flat", (rate(),), RateCurve),
    static("RateCurve.continuous", (0.05, ACT_365), RateCurve),
    static("RateCurve.interpolated", (date(2024, 1, 1), [Tenor.years(1), Tenor.years(2)], [rate(), rate(0.06)]), RateCurve),
    method("RateCurve.zero_rate", curve, (0.5,), float),
    method("RateCurve.discount_factor", curve, (0.5,), float),
    static("VolSurface.flat", (0.2, ACT_365), VolSurface),
    method("VolSurface.volatility", surface, (100.0, 0.5), float),
    new("DividendSchedule", ([(EXPIRY - timedelta(days=100), 1.0), (EXPIRY - timedelta(days=10), 0.5)],)),
    new("OptionMarketFrame", (100.0, curve(), surface(), dividends(), curve()), required=3),
    *getters("OptionMarketFrame", frame, spot=float, rate_curve=RateCurve, vol_surface=VolSurface,
             dividends=DividendSchedule, borrow_curve=(RateCurve, type(None))),
    setter("OptionMarketFrame.spot", frame, 101.0),
    setter("OptionMarketFrame.rate_curve", frame, _CURVE),
    setter("OptionMarketFrame.vol_surface", frame, VolSurface.flat(0.3, ACT_365)),
    setter("OptionMarketFrame.dividends", frame, DividendSchedule([])),
    setter("OptionMarketFrame.borrow_curve", frame, _CURVE),
    new("VanillaOption", (100.0, EXPIRY, PUT, AMERICAN)),
    method("VanillaOption.years_to_expiry", option, (VALUED,), float, required=0),
    method("VanillaOption.valuation", option, (), vorel.ValuationBuilder),
    method("VanillaOption.implied_vol", option, (), type(implied())),
    *getters("VanillaOption", option, strike=float),
    static("TransformConfig.log", (), TransformConfig),
    static("TransformConfig.sinh", (0.1,), TransformConfig),
    new("FdmConfig", (20, 41, 4.0, TransformConfig.log()), required=0),
    new("InstrumentPolicy", ()),
    *[method(f"InstrumentPolicy.{name}", InstrumentPolicy, (), SELF)
      for name in ("american", "european", "put", "call", "analytic")],
    method("InstrumentPolicy.fdm", InstrumentPolicy, (small_grid(),), SELF, required=0),
    new("Config", ()),
    method("Config.add_policy", Config, (policy(),), SELF),
    new("ValuationBuilder", (option(),)),
    method("ValuationBuilder.market", valuation, (frame(),), SELF),
    method("ValuationBuilder.at", valuation, (VALUED,), SELF, required=0),
    method("ValuationBuilder.config", valuation, (config(),), SELF, required=0),
    method("ValuationBuilder.compute", valuation, (), vorel.OptionResult, variant="finite differences"),
    method("ValuationBuilder.compute", lambda: valuation(EUROPEAN), (), vorel.OptionResult, variant="closed form"),
    *getters("OptionResult", result, __repr__=str, price=float, greeks=vorel.Greeks),
    *getters("Greeks", lambda: result().greeks, delta=float, gamma=float, theta=float, vega=_FLOAT_OR_NONE,
             rho=_FLOAT_OR_NONE),
    method("ImpliedVolBuilder.market", implied, (frame(),), SELF),
    method("ImpliedVolBuilder.at", implied, (VALUED,), SELF, required=0),
    method("ImpliedVolBuilder.price", implied, (6.0,), SELF),
    method("ImpliedVolBuilder.config", implied, (config(),), SELF, required=0),
    method("ImpliedVolBuilder.calculate", implied, (), float, variant="closed form"),
    method("ImpliedVolBuilder.calculate", lambda: implied(AMERICAN), (), float, variant="finite differences"),
]

# One object of each kind a user can pickle, by name; the builders in every state they can be in.
PICKLED: dict[str, Callable[[], Any]] = {
    "Compounding": lambda: Compounding.compounded(Frequency.Quarterly),
    "Compounding simple": Compounding.simple,
    "InterestRate": rate,
    "Tenor": lambda: Tenor.months(-3),
    "RateCurve flat": lambda: RateCurve.flat(InterestRate(0.04, Compounding.simple_then_compounded(Frequency.Monthly),
                                                          ACT_360)),
    "RateCurve continuous": curve,
    "RateCurve interpolated": lambda: RateCurve.interpolated(date(2024, 1, 1), [Tenor.months(6), Tenor.years(2)],
                                                             [rate(), rate(0.06)]),
    "VolSurface": surface,
    "DividendSchedule": dividends,
    "DividendSchedule empty": lambda: DividendSchedule([]),
    "OptionMarketFrame": lambda: OptionMarketFrame(101.5, curve(), surface(), dividends(), curve()),
    "OptionMarketFrame no borrow curve": lambda: _without_borrow_curve(frame()),
    "VanillaOption": lambda: option(AMERICAN),
    "TransformConfig log": TransformConfig.log,
    "TransformConfig sinh": lambda: TransformConfig.sinh(0.1),
    "FdmConfig": small_grid,
    "InstrumentPolicy": policy,
    "InstrumentPolicy analytic": lambda: InstrumentPolicy().put().call().european().analytic(),
    "Config": config,
    "ValuationBuilder": valuation,
    "ValuationBuilder bare": lambda: option().valuation(),
    "ImpliedVolBuilder": lambda: implied(AMERICAN),
    "ImpliedVolBuilder bare": lambda: option().implied_vol(),
    "OptionResult": lambda: valuation().compute(),
    "Greeks": lambda: result().greeks,
}
# Objects that exist once: loading one of them gives the object itself.
SINGLETONS = [*(getattr(OptionType, n) for n in ("Call", "Put")),
              *(getattr(ExerciseStyle, n) for n in ("American", "European")),
              *(getattr(Frequency, n) for n in ("Annual", "SemiAnnual", "Quarterly", "Monthly")),
              ACT_360, ACT_365, DayCountConvention.THIRTY_360.US_ISDA, DayCountConvention.THIRTY_360.GERMAN_ISDA,
              DayCountConvention.THIRTY_360.EUROBOND_ISMA, DayCountConvention.ACT_ACT.ISDA]


def _without_borrow_curve(f):
    f.borrow_curve = None
    return f


NO_CONSTRUCTOR = ("Compounding", "DayCountConvention", "Frequency", "Tenor", "PeriodCalculator", "RateCurve",
                  "VolSurface", "TransformConfig", "OptionType", "ExerciseStyle", "OptionResult", "Greeks")


class Hostile(Exception):
    """Raised by the argument objects below, on purpose."""


class Trap:
    """An argument whose float and index conversions run `action`."""

    def __init__(self, action):
        self.action = action

    def __float__(self):
        return self.action()

    __index__ = __float__


class TrapZone(tzinfo):
    """A time zone whose offset runs `action`."""

    def __init__(self, action):
        self.action = action

    def utcoffset(self, dt):
        return self.action()

    def dst(self, dt):
        return None


def _reenter(call, value):
    def action():
        call()
        return value
    return action


@dataclass(frozen=True)
class Case:
    """An error path: `call(receiver, *args)` must raise `raises` with `message` (when given)."""
    label: str
    make: Callable[[], Any] | None
    call: Callable[..., Any]
    args: tuple
    raises: type | tuple
    message: str | None = None


def derived_cases():
    """The error paths every entry point shares: wrong type, missing and surplus
    arguments, naive date-times, and deletion of an attribute."""
    cases = []
    for e in ENTRIES:
        if e.kind == "get" or e.variant:
            continue
        if e.kind == "set":
            cases.append(Case(f"{e.name} wrong type", e.make, e.call, (object(),), TypeError))
            cases.append(Case(f"{e.name} delete", e.make, lambda r, m=e.member: delattr(r, m), (), AttributeError,
                              "can't delete attribute"))
            continue
        cases.append(Case(f"{e.name} surplus", e.make, e.call, (*e.valid, None, None, None, None, None, None),
                          TypeError))
        if e.valid:
            cases.append(Case(f"{e.name} wrong type", e.make, e.call, (object(), *e.valid[1:]), TypeError))
        if (e.required is None and e.valid) or e.required:
            cases.append(Case(f"{e.name} missing", e.make, e.call, (), TypeError))
        for i, arg in enumerate(e.valid):
            if isinstance(arg, datetime):
                naive = (*e.valid[:i], NAIVE, *e.valid[i + 1:])
                cases.append(Case(f"{e.name} naive {i}", e.make, e.call, naive, (ValueError, TypeError)))
    return cases


def _call(receiver, thunk):
    return thunk(receiver)


def special_cases():
    """Error paths particular to one entry point: borrow conflicts, panics, refused values."""
    reenter = {
        "price during calculate": (implied, lambda b: b.price(Trap(_reenter(b.calculate, 6.0))), RuntimeError,
                                   "Already mutably borrowed"),
        "at during price": (implied, lambda b: b.at(datetime(2026, 1, 15, tzinfo=TrapZone(_reenter(lambda: b.price(1.0),
                                                                                                    timedelta(0))))),
                            RuntimeError, "Already borrowed"),
        "at during compute": (valuation, lambda b: b.at(datetime(2026, 1, 15, tzinfo=TrapZone(_reenter(b.compute,
                                                                                                       timedelta(0))))),
                              RuntimeError, "Already mutably borrowed"),
    }
    mixed = RateCurve.interpolated(date(2024, 1, 1), [Tenor.years(1), Tenor.years(2)],
                                   [rate(), InterestRate(0.05, Compounding.continuous(), ACT_360)])
    yield_above = Config().add_policy(InstrumentPolicy().american().analytic())

    def fdm_valuation(settings, market=None):
        return valuation().market(market or frame()).config(Config().add_policy(InstrumentPolicy().fdm(settings)))
    plain = {
        "months beyond dates": (None, lambda _: Tenor.years(2**31 - 1).advance(date(2024, 1, 1)), OverflowError,
                                "`NaiveDate + Months` out of range"),
        "mixed pillars valued": (None, lambda _: option().valuation().market(OptionMarketFrame(
            100.0, mixed, surface())).at(VALUED).compute(), ValueError, None),
        "yield above rate": (None, lambda _: option(AMERICAN).valuation().market(OptionMarketFrame(
            100.0, curve(), surface(), None, RateCurve.continuous(0.09, ACT_365))).at(VALUED).config(
            yield_above).compute(), ValueError, None),
        "negative volatility": (None, lambda _: option().valuation().market(OptionMarketFrame(
            100.0, curve(), VolSurface.flat(-0.2, ACT_365))).at(VALUED).compute(), ValueError, None),
        "too few nodes": (lambda: fdm_valuation(FdmConfig(grid_nodes=1)), lambda b: b.compute(), ValueError,
                          "grid_nodes must be at least 3, got 1"),
        "no grid width": (lambda: fdm_valuation(FdmConfig(grid_std_devs=0.0)), lambda b: b.compute(), ValueError,
                          "grid_std_devs must be a positive number of standard deviations, got 0"),
        "grid beyond memory": (lambda: fdm_valuation(FdmConfig(grid_nodes=2**40)), lambda b: b.compute(),
                               MemoryError, None),
        "no volatility by finite differences": (lambda: fdm_valuation(None, OptionMarketFrame(
            100.0, curve(), VolSurface.flat(0.0, ACT_365))), lambda b: b.compute(), ValueError,
            "finite differences need a positive volatility, got 0"),
        "no market": (None, lambda _: option().valuation().compute(), ValueError,
                      "Market data is required for valuation."),
        "no target": (None, lambda _: option().implied_vol().market(frame()).at(VALUED).calculate(), ValueError,
                      "Target price must be set before calling solve()."),
        "unbracketed": (lambda: implied().price(1e6), lambda b: b.calculate(), ValueError, None),
        "mismatched conventions": (None, lambda _: option().valuation().market(OptionMarketFrame(
            100.0, curve(), VolSurface.flat(0.2, ACT_360))).at(VALUED).compute(), ValueError, None),
        "days overflow": (None, lambda _: Tenor.days(2**31), OverflowError, None),
        "negative count": (None, lambda _: FdmConfig(time_steps=-1), OverflowError, None),
        "str for a list": (None, lambda _: DividendSchedule("ab"), TypeError, None),
        "plain date ex-date": (None, lambda _: DividendSchedule([(date(2025, 3, 1), 1.0)]), TypeError, None),
        "naive ex-date": (None, lambda _: DividendSchedule([(NAIVE, 1.0)]), ValueError, None),
        "None where a curve goes": (frame, lambda f: setattr(f, "rate_curve", None), TypeError, None),
        "hostile float": (None, lambda _: RateCurve.continuous(Trap(_raise), ACT_365), Hostile, None),
        "newer pickle": (None, lambda _: _load(2, "VanillaOption", ()), ValueError, "cannot load a vorel pickle of "
                         "format 2: it was written by a newer version of vorel, and this version reads format 1 only"),
        "malformed pickle": (None, lambda _: _load(1, "Tenor", (9, 1)), ValueError,
                             "malformed vorel pickle: a code out of range"),
        "hostile offset": (None, lambda _: option().years_to_expiry(datetime(2026, 1, 1, tzinfo=TrapZone(_raise))),
                           Hostile, None),
    }
    for label, (make, thunk, raises, message) in {**reenter, **plain}.items():
        yield Case(label, make, _call, (thunk,), raises, message)
    for cls in NO_CONSTRUCTOR:
        yield Case(f"{cls}()", None, lambda _, c=cls: getattr(vorel, c)(), (), TypeError,
                   f"cannot create 'builtins.{cls}' instances")


def _raise():
    raise Hostile("on purpose")


def _load(*args):
    return sys.modules["vorel._pickle"].load(*args)


ERROR_CASES = [*derived_cases(), *special_cases()]


def check_raised(exc, case=None):
    """The exception a failing call raised is one of the documented kinds, with a message."""
    # No input a caller can build breaks an internal invariant: a panic is a fault.
    allowed = (TypeError, ValueError, OverflowError, RuntimeError, AttributeError, MemoryError, Hostile)
    assert isinstance(exc, allowed), repr(exc)
    if not isinstance(exc, MemoryError):  # the interpreter's own out-of-memory error carries no text
        assert str(exc), repr(exc)
    if case is not None:
        assert isinstance(exc, case.raises), (case.label, repr(exc))
        assert case.message is None or str(exc) == case.message, (case.label, str(exc))


def check_returned(entry, value, receiver):
    if entry.returns is SELF:
        assert value is receiver
    else:
        assert isinstance(value, entry.returns), (entry.name, value)
