"""Option pricing: Black-Scholes-Merton closed form, finite differences and implied volatility.

Points in time are timezone-aware ``datetime`` objects (naive ones are refused);
year fractions to expiry and to ex-dates are measured ACT/365 Fixed.
Rates, yields and volatilities are decimals (0.05 for 5%); a time ``t`` is a year fraction.

Every call raises ``TypeError`` for an argument of the wrong type or a wrong number of arguments,
and ``RuntimeError`` ("Already borrowed" or "Already mutably borrowed") for a call on an object that
is in the middle of another call on it. A failed call leaves its receiver unchanged. Classes cannot be
subclassed; those without a constructor raise ``TypeError`` when called. Every object pickles and copies.
"""

from collections.abc import Sequence
from datetime import date, datetime
from typing import Final, final

from typing_extensions import Self

__all__ = [
    "Compounding",
    "DayCountConvention",
    "Frequency",
    "InterestRate",
    "VanillaOption",
    "OptionMarketFrame",
    "Tenor",
    "RateCurve",
    "VolSurface",
    "FdmConfig",
    "Config",
    "OptionType",
    "ExerciseStyle",
    "ValuationBuilder",
    "OptionResult",
    "Greeks",
    "InstrumentPolicy",
    "PeriodCalculator",
    "DividendSchedule",
    "TransformConfig",
]

class PanicException(BaseException):
    """Raised when vorel's native code meets a broken internal invariant.

    Like ``SystemExit`` it derives from ``BaseException``, not ``Exception``, so ``except Exception``
    does not catch it. No input built with vorel's classes raises it: seeing one is a fault to report.
    Catch it by name (it is not in ``__all__``); it survives pickling.
    """

@final
class Compounding:
    """How a rate accrues: simple, compounded at a frequency, continuous, or simple up to one period then compounded.

    Built by the static methods only. In the discount factors below, r is the rate and t the year fraction.
    """

    @staticmethod
    def simple() -> Compounding:
        """Simple interest: discount factor 1 / (1 + r*t)."""

    @staticmethod
    def continuous() -> Compounding:
        """Continuous compounding: discount factor exp(-r*t)."""

    @staticmethod
    def compounded(freq: Frequency) -> Compounding:
        """Compounded ``freq.value`` (f) times a year: discount factor (1 + r/f) ** (-f*t)."""

    @staticmethod
    def simple_then_compounded(freq: Frequency) -> Compounding:
        """Simple up to one period of ``freq`` (t <= 1/f), compounded at ``freq`` beyond it."""

@final
class DayCountConvention:
    """A day-count convention. Each convention exists once, so ``is`` compares them.

    There is no constructor: use the constants. ``THIRTY_360`` and ``ACT_ACT`` are namespaces holding
    conventions, not conventions; passing one where a convention is expected raises ``TypeError``.
    """

    ACT_360: Final[DayCountConvention]
    """Actual/360: elapsed time in days (whole seconds counted) / 360."""
    ACT_365_FIXED: Final[DayCountConvention]
    """Actual/365 Fixed: elapsed time in days (whole seconds counted) / 365."""

    @final
    class THIRTY_360:
        """The 30/360 conventions (the class ``Thirty360`` at run time): 30-day months, dates only, / 360."""

        US_ISDA: Final[DayCountConvention]
        """30/360 US (ISDA): a 31st start becomes the 30th, a 31st end too if the start is the 30th or 31st."""
        GERMAN_ISDA: Final[DayCountConvention]
        """30/360 German: every 31st and every last day of February become the 30th."""
        EUROBOND_ISMA: Final[DayCountConvention]
        """30E/360 (Eurobond): every 31st becomes the 30th."""

    @final
    class ACT_ACT:
        """The actual/actual conventions (the class ``ActAct`` at run time)."""

        ISDA: Final[DayCountConvention]
        """Actual/Actual ISDA: the days in each calendar year / that year's length; ignores the start's time of day."""

@final
class Frequency:
    """A compounding frequency; ``int()`` gives its index 0 to 3. There is no constructor: use the members."""

    Annual: Final[Frequency]
    """Once a year: ``value`` 1, ``int()`` 0."""
    SemiAnnual: Final[Frequency]
    """Twice a year: ``value`` 2, ``int()`` 1."""
    Quarterly: Final[Frequency]
    """Four times a year: ``value`` 4, ``int()`` 2."""
    Monthly: Final[Frequency]
    """Twelve times a year: ``value`` 12, ``int()`` 3."""
    @property
    def value(self) -> int:
        """Compounding periods per year: 1, 2, 4 or 12."""

    def __int__(self) -> int:
        """The member's index: 0 Annual, 1 SemiAnnual, 2 Quarterly, 3 Monthly."""

@final
class InterestRate:
    """A rate with its compounding rule and day-count convention."""

    def __new__(cls, rate: float, compounding: Compounding, dcc: DayCountConvention) -> Self:
        """``rate`` as a decimal (0.05 for 5%; not validated), accruing by ``compounding``.

        ``dcc`` travels with the rate (it measures an interpolated curve's pillar times) but
        ``discount_factor`` does not apply it.
        """

    def discount_factor(self, t: float) -> float:
        """Discount factor over ``t`` years, a year fraction already measured, under the rate's compounding."""

@final
class VanillaOption:
    """A European or American call or put. The expiry must be timezone-aware."""

    def __new__(
        cls, strike: float, expiry_time: datetime, option_type: OptionType, exercise_style: ExerciseStyle
    ) -> Self:
        """An option on ``strike`` (in the underlying's price units; not validated) expiring at ``expiry_time``.

        ``expiry_time`` is an aware ``datetime`` in any zone, kept as an instant. Raises ``ValueError``
        "Expiry must have a timezone specified (e.g. New York or UTC)" for a naive one, ``TypeError`` for a
        ``date``.
        """

    @property
    def strike(self) -> float:
        """The strike, in the underlying's price units."""

    def years_to_expiry(self, valuation_date: datetime | None = None) -> float:
        """ACT/365 Fixed years from ``valuation_date`` (default: now) to the expiry.

        Whole seconds are counted; the result is negative after the expiry. Raises ``ValueError``
        "valuation_date must be timezone-aware (e.g., UTC or New York time)" for a naive ``datetime``.
        """

    def valuation(self) -> ValuationBuilder:
        """A builder that prices this option: ``.market(frame).at(time).compute()``."""

    def implied_vol(self) -> _ImpliedVolBuilder:
        """A builder that solves the volatility reproducing a price: ``.market(frame).price(p).calculate()``."""

@final
class OptionMarketFrame:
    """Spot, rate curve, volatility surface, dividends and borrow curve, priced together.

    Every read returns a fresh copy; assigning an attribute replaces what later pricings see.
    The frame copies what it is given; builders refer to the frame itself, so a change reaches their
    next computation. Deleting an attribute raises ``AttributeError``.
    """

    def __new__(
        cls,
        spot: float,
        rate_curve: RateCurve,
        vol_surface: VolSurface,
        dividends: DividendSchedule | None = None,
        borrow_curve: RateCurve | None = None,
    ) -> Self:
        """The market of one underlying.

        ``dividends`` ``None`` means no dividends; ``borrow_curve`` ``None`` means a zero yield
        (``RateCurve.continuous(0.0, DayCountConvention.ACT_365_FIXED)``, which ``borrow_curve`` then returns).
        """

    @property
    def spot(self) -> float:
        """The underlying's price (not validated)."""

    @spot.setter
    def spot(self, value: float, /) -> None: ...
    @property
    def rate_curve(self) -> RateCurve:
        """The curve of the rate r; a valuation needs its day-count convention to equal the surface's.

        Assigning ``None`` raises ``TypeError``.
        """

    @rate_curve.setter
    def rate_curve(self, value: RateCurve, /) -> None: ...
    @property
    def vol_surface(self) -> VolSurface:
        """The volatility surface, read at the option's strike and time to expiry.

        Assigning ``None`` raises ``TypeError``.
        """

    @vol_surface.setter
    def vol_surface(self, value: VolSurface, /) -> None: ...
    @property
    def dividends(self) -> DividendSchedule:
        """The dividend schedule; empty when there are none.

        Only the finite-difference engine applies it. Assigning ``None`` raises ``TypeError``: assign
        ``DividendSchedule([])`` to remove the dividends.
        """

    @dividends.setter
    def dividends(self, value: DividendSchedule, /) -> None: ...
    @property
    def borrow_curve(self) -> RateCurve | None:
        """The curve of the yield q; ``None`` after it is set to ``None`` (then q is zero).

        q is a continuous borrow cost or dividend yield, which both engines use.
        """

    @borrow_curve.setter
    def borrow_curve(self, value: RateCurve | None, /) -> None: ...

@final
class Tenor:
    """A signed count of days, weeks, months or years, laid onto calendar dates.

    Built by the static methods only. A count must fit 32 bits (``OverflowError`` beyond).
    """

    @staticmethod
    def days(n: int) -> Tenor:
        """``n`` days; negative counts go back."""

    @staticmethod
    def weeks(n: int) -> Tenor:
        """``n`` weeks of 7 days."""

    @staticmethod
    def months(n: int) -> Tenor:
        """``n`` calendar months, keeping the day of the month (clamped to the month's end)."""

    @staticmethod
    def years(n: int) -> Tenor:
        """``n`` calendar years, keeping the month and day (29 February clamped to the 28th)."""

    # The parameter is named `from`, a keyword, so it is passed by position.
    def advance(self, from_: date, /) -> date:
        """The date this tenor after ``from_``; months and years clamp to the end of the month.

        A ``datetime`` counts as its own year, month and day, as written. Raises ``ValueError`` when the
        result is outside Python's years 1 to 9999, ``OverflowError`` when it leaves the library's date range.
        """

@final
class RateCurve:
    """A zero-rate curve: flat, continuous, or linear between tenor pillars. Built by the static methods only.

    Pricing at a time to expiry T discounts with ``discount_factor(T)`` and uses its continuously
    compounded equivalent -ln(DF(T)) / T. An interpolated curve can be the rate curve of a valuation
    when its pillars share one day-count convention (``ValueError`` otherwise, when it is priced).
    """

    @staticmethod
    def flat(rate: InterestRate) -> RateCurve:
        """One rate for every ``t``, discounting by its compounding, with its convention."""

    @staticmethod
    def continuous(rate: float, day_count_convention: DayCountConvention) -> RateCurve:
        """One continuously compounded ``rate`` (a decimal) for every ``t``, with this convention."""

    @staticmethod
    def interpolated(reference_date: date, tenors: Sequence[Tenor], rates: Sequence[InterestRate]) -> RateCurve:
        """Pillars at ``reference_date`` advanced by each tenor, each with the rate of the same position.

        Each pillar's time is measured from the reference date (a calendar date) under its rate's
        convention. Zero rates are linear in ``t`` between pillars and continue the end segments' lines
        beyond them; discount factors apply the first pillar's compounding. Raises ``ValueError``:
        "Curve Error: LengthMismatch" (not one rate per tenor), "Curve Error: Interpolation(InsufficientPoints)"
        (fewer than two pillars), "Curve Error: Interpolation(NotMonotonic)" (pillar times not strictly
        increasing in the order given), "Curve Error: DateOutOfRange" (a pillar outside the date range).
        """

    def zero_rate(self, t: float) -> float:
        """The zero rate at ``t`` years, as quoted (no conversion between compoundings)."""

    def discount_factor(self, t: float) -> float:
        """The discount factor at ``t`` years."""

@final
class VolSurface:
    """A flat volatility surface. Built by ``flat`` only."""

    @staticmethod
    def flat(vol: float, day_count: DayCountConvention) -> VolSurface:
        """``vol`` (a decimal, 0.20 for 20%) at every strike and time; ``day_count`` must match the rate curve's.

        Not validated here: a valuation refuses a negative volatility with ``ValueError``.
        """

    def volatility(self, strike: float, t: float) -> float:
        """The volatility at ``strike`` and ``t`` years: the flat value, whatever the arguments."""

@final
class FdmConfig:
    """Finite-difference settings; ``None`` keeps a default (10 steps, 101 nodes, 4.0 std devs, sinh 0.3).

    The node count is made odd (100 becomes 101).
    Any values are accepted here; ``compute()`` and ``calculate()`` refuse, with ``ValueError``, settings
    that cannot make a grid (fewer than 3 nodes, a half-width that is not positive and finite), and with
    ``MemoryError`` a grid this machine's memory cannot hold.
    """

    def __new__(
        cls,
        time_steps: int | None = None,
        grid_nodes: int | None = None,
        grid_std_devs: float | None = None,
        transform: TransformConfig | None = None,
    ) -> Self:
        """``time_steps`` over the option's life, ``grid_nodes`` spot nodes, ``grid_std_devs`` the grid's half-width.

        The half-width is in log-spot, in standard deviations sigma*sqrt(T). Raises ``OverflowError`` for a
        negative or huge count.
        """

@final
class Config:
    """Which engine prices which option; by default European by closed form, American by finite differences."""

    def __new__(cls) -> Self:
        """The default: European options by the closed form, American ones by finite differences (``FdmConfig()``)."""

    def add_policy(self, policy: InstrumentPolicy) -> Self:
        """Applies the policy's engine to its styles and types; returns this configuration.

        Changes this configuration in place, later policies overriding earlier ones. The policy is read now;
        builders holding this configuration see the change at their next computation.
        """

@final
class OptionType:
    """Call or put; ``int()`` gives 0 or 1. There is no constructor: use the members."""

    Call: Final[OptionType]
    """A call; ``int()`` gives 0."""
    Put: Final[OptionType]
    """A put; ``int()`` gives 1."""
    def __int__(self) -> int:
        """0 for ``Call``, 1 for ``Put``."""

@final
class ExerciseStyle:
    """American or European; ``int()`` gives 0 or 1. There is no constructor: use the members."""

    American: Final[ExerciseStyle]
    """Exercisable at any time up to expiry; ``int()`` gives 0."""
    European: Final[ExerciseStyle]
    """Exercisable at expiry only; ``int()`` gives 1."""
    def __int__(self) -> int:
        """0 for ``American``, 1 for ``European``."""

@final
class ValuationBuilder:
    """Collects the market, valuation time and configuration of one option, then prices it.

    The recording methods return the builder itself, so calls chain. The builder refers to the option,
    frame and configuration, not copies: what they hold when ``compute()`` starts is what is priced.
    """

    def __new__(cls, instrument: VanillaOption) -> Self:
        """A builder for ``instrument`` with nothing recorded, as ``instrument.valuation()`` gives."""

    def market(self, market_frame: OptionMarketFrame) -> Self:
        """Prices against this frame. ``None`` raises ``TypeError``."""

    def at(self, valuation_time: datetime | None = None) -> Self:
        """Values at this instant; ``None`` values at the time of each ``compute()``.

        Raises ``ValueError`` "Evaluation time must have a timezone specified (e.g. New York or UTC)" for a
        naive ``datetime``.
        """

    def config(self, config: Config | None = None) -> Self:
        """Uses this configuration; ``None`` restores the default."""

    def compute(self) -> OptionResult:
        """Prices the option with the engine the configuration gives its style and type.

        At the expiry instant the price is the intrinsic value; after it, NaN. The finite-difference engine
        runs without the interpreter lock and stops at Ctrl-C (``KeyboardInterrupt``).
        Raises ``ValueError``: "Market data is required for valuation." without ``market()``; when the rate
        curve's and the surface's day-count conventions differ, or an interpolated rate curve's pillars mix
        conventions; for a negative volatility; for finite-difference settings that make no grid, or a zero
        volatility on a grid; for an American option sent to the closed form with r below q.
        ``MemoryError`` for a grid this machine cannot hold.
        """

@final
class OptionResult:
    """A price and its Greeks, as ``compute()`` returns them."""

    @property
    def price(self) -> float:
        """The option's value, in the underlying's price units; NaN after the expiry."""

    @property
    def greeks(self) -> Greeks:
        """The sensitivities of the price; each read returns a new ``Greeks``."""

@final
class Greeks:
    """Sensitivities: per unit of spot, per year (theta), per unit of volatility and of rate (1.0 = 100%)."""

    @property
    def delta(self) -> float:
        """dV/dS: change in value per 1.0 change of spot."""

    @property
    def gamma(self) -> float:
        """d2V/dS2: change in delta per 1.0 change of spot; NaN from the expiry instant on (infinite at the strike)."""

    @property
    def theta(self) -> float:
        """Change in value per year of time passing.

        Negative when the option loses value as time passes; divide by 365 for a calendar day.
        """

    @property
    def vega(self) -> float | None:
        """Per unit of volatility; ``None`` from the finite-difference engine.

        1.0 is 100 volatility points: divide by 100 for one point (0.20 to 0.21). At and after the expiry
        instant every engine gives the closed form's values, so it is a number there.
        """

    @property
    def rho(self) -> float | None:
        """Per unit of rate; ``None`` from the finite-difference engine.

        1.0 is 10,000 basis points: divide by 100 for 1%, by 10,000 for one basis point. A number at and after
        the expiry instant, as ``vega``.
        """

@final
class InstrumentPolicy:
    """Selects exercise styles and option types, and the engine that prices them.

    A side (styles or types) left unselected matches everything. The selecting and engine methods change
    the policy in place and return it; the last engine named counts, and none named means the closed form.
    """

    def __new__(cls) -> Self:
        """A policy that selects every option and names no engine."""

    def american(self) -> Self:
        """Selects American options."""

    def european(self) -> Self:
        """Selects European options."""

    def put(self) -> Self:
        """Selects puts."""

    def call(self) -> Self:
        """Selects calls."""

    def analytic(self) -> Self:
        """Names the closed form (Black-Scholes-Merton with the continuous yield q).

        It prices American options as European and ignores discrete dividends; a valuation refuses an
        American option here with ``ValueError`` when r is below q.
        """

    def fdm(self, fdm_config: FdmConfig | None = None) -> Self:
        """Names the finite-difference engine with these settings; ``None`` means ``FdmConfig()``."""

@final
class PeriodCalculator:
    """Day counts and year fractions under a convention."""

    @staticmethod
    def days_between(start: date, end: date, convention: DayCountConvention) -> int:
        """Days from ``start`` to ``end`` (negative when ``end`` is earlier) as the convention counts them.

        Actual days for the actual conventions, 30-day months for the 30/360 ones. A ``datetime`` counts as
        its own year, month and day, as written.
        """

    @staticmethod
    def year_fraction(start: datetime, end: datetime, convention: DayCountConvention) -> float:
        """Years from ``start`` to ``end`` under the convention; negative when ``end`` is earlier.

        Both ends must be in ``datetime.timezone.utc`` (a zone equal to it; ``ZoneInfo("UTC")`` is not):
        ``TypeError`` for a naive ``datetime``, ``ValueError`` "expected datetime.timezone.utc" for another zone.
        Date-based conventions (30/360, actual/actual) count the UTC calendar dates.
        """

@final
class DividendSchedule:
    """Cash dividends as (timezone-aware ex-date, amount) pairs.

    Kept in the order given. The finite-difference engine applies those with ex-dates strictly between the
    valuation time and the expiry: the spot drops by the amount. Of entries with the same ex-date only the
    first is applied; an amount of zero or less, or NaN, is not applied (its ex-date still splits the time
    steps). The closed form ignores them.
    """

    def __new__(cls, raw_divs: Sequence[tuple[datetime, float]]) -> Self:
        """From (ex-date, amount) 2-tuples: an aware ``datetime`` in any zone and a cash amount per share.

        An empty sequence is a schedule without dividends. Raises ``TypeError`` "Ex-dates must be
        timezone-aware datetime objects. Plain dates are rejected." for an ex-date that is not a
        ``datetime``, ``ValueError`` "Datetime must be timezone-aware (e.g., use New York or UTC time)." for a
        naive one, ``TypeError`` for an entry that is not a 2-tuple or an amount that is not a number.
        """

@final
class TransformConfig:
    """How the finite-difference grid is spaced in spot."""

    @staticmethod
    def log() -> TransformConfig:
        """Nodes evenly spaced in log-spot."""

    @staticmethod
    def sinh(alpha: float) -> TransformConfig:
        """Nodes concentrated near the strike; smaller ``alpha`` concentrates more.

        The default is 0.3. ``compute()`` and ``calculate()`` refuse an ``alpha`` that is not positive and
        finite with ``ValueError``.
        """

@final
class _ImpliedVolBuilder:
    """``ImpliedVolBuilder`` at run time: reached through ``VanillaOption.implied_vol()``.

    Records what ``ValuationBuilder`` records, and the target price; the recording methods return the
    builder itself. It refers to the option, frame and configuration, not copies.
    """

    def __new__(cls, instrument: VanillaOption) -> Self:
        """A builder for ``instrument`` with nothing recorded, as ``instrument.implied_vol()`` gives."""

    def market(self, market_frame: OptionMarketFrame) -> Self:
        """Solves against this frame; its surface's volatility gives way to the trial ones, its convention is checked.

        ``None`` raises ``TypeError``.
        """

    def at(self, valuation_time: datetime | None = None) -> Self:
        """Solves at this instant; ``None`` at the time of each ``calculate()``.

        Raises ``ValueError`` "Evaluation time must have a timezone specified (e.g. New York or UTC)" for a
        naive ``datetime``.
        """

    def price(self, target: float) -> Self:
        """The price to reproduce, in the underlying's price units; not range-checked here."""

    def config(self, config: Config | None = None) -> Self:
        """Uses this configuration's engine for the option; ``None`` restores the default."""

    def calculate(self) -> float:
        """The volatility in [0.1, 5.0] at which the configured engine reproduces the target price.

        Brent's method: stops when the price is within 0.0001 of the target or the volatility is pinned to
        within 0.0001. An American option sent to the closed form is not refused when r is below q.
        Raises ``ValueError``: "Market data is required for implied volatility solving." without ``market()``;
        "Target price must be set before calling solve()." without ``price()``; "Root is not bracketed. ..."
        when the target is outside the prices at 0.1 and 5.0, or NaN; "Brent's method failed to converge
        within max iterations" after 100 rounds; and for the conventions and finite-difference settings
        ``compute()`` refuses.
        """
