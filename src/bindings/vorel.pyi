"""Option pricing: Black-Scholes-Merton closed form, finite differences and implied volatility.

Points in time are timezone-aware ``datetime`` objects (naive ones are refused);
year fractions to expiry and to ex-dates are measured ACT/365 Fixed.
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

    Like ``SystemExit`` it derives from ``BaseException``, not ``Exception``.
    """

@final
class Compounding:
    """How a rate accrues: simple, compounded at a frequency, continuous, or simple up to one period then compounded."""

    @staticmethod
    def simple() -> Compounding: ...
    @staticmethod
    def continuous() -> Compounding: ...
    @staticmethod
    def compounded(freq: Frequency) -> Compounding: ...
    @staticmethod
    def simple_then_compounded(freq: Frequency) -> Compounding: ...

@final
class DayCountConvention:
    """A day-count convention. Each convention exists once, so ``is`` compares them."""

    ACT_360: Final[DayCountConvention]
    ACT_365_FIXED: Final[DayCountConvention]

    @final
    class THIRTY_360:
        """The 30/360 conventions (the class ``Thirty360`` at run time)."""

        US_ISDA: Final[DayCountConvention]
        GERMAN_ISDA: Final[DayCountConvention]
        EUROBOND_ISMA: Final[DayCountConvention]

    @final
    class ACT_ACT:
        """The actual/actual conventions (the class ``ActAct`` at run time)."""

        ISDA: Final[DayCountConvention]

@final
class Frequency:
    """A compounding frequency; ``int()`` gives its index 0 to 3."""

    Annual: Final[Frequency]
    SemiAnnual: Final[Frequency]
    Quarterly: Final[Frequency]
    Monthly: Final[Frequency]
    @property
    def value(self) -> int:
        """Compounding periods per year: 1, 2, 4 or 12."""

    def __int__(self) -> int: ...

@final
class InterestRate:
    """A rate with its compounding rule and day-count convention."""

    def __new__(cls, rate: float, compounding: Compounding, dcc: DayCountConvention) -> Self: ...
    def discount_factor(self, t: float) -> float:
        """Discount factor over ``t`` years."""

@final
class VanillaOption:
    """A European or American call or put. The expiry must be timezone-aware."""

    def __new__(
        cls, strike: float, expiry_time: datetime, option_type: OptionType, exercise_style: ExerciseStyle
    ) -> Self: ...
    @property
    def strike(self) -> float: ...
    def years_to_expiry(self, valuation_date: datetime | None = None) -> float:
        """ACT/365 Fixed years from ``valuation_date`` (default: now) to the expiry."""

    def valuation(self) -> ValuationBuilder:
        """A builder that prices this option: ``.market(frame).at(time).compute()``."""

    def implied_vol(self) -> _ImpliedVolBuilder:
        """A builder that solves the volatility reproducing a price: ``.market(frame).price(p).calculate()``."""

@final
class OptionMarketFrame:
    """Spot, rate curve, volatility surface, dividends and borrow curve, priced together.

    Every read returns a fresh copy; assigning an attribute replaces what later pricings see.
    """

    def __new__(
        cls,
        spot: float,
        rate_curve: RateCurve,
        vol_surface: VolSurface,
        dividends: DividendSchedule | None = None,
        borrow_curve: RateCurve | None = None,
    ) -> Self: ...
    @property
    def spot(self) -> float: ...
    @spot.setter
    def spot(self, value: float, /) -> None: ...
    @property
    def rate_curve(self) -> RateCurve: ...
    @rate_curve.setter
    def rate_curve(self, value: RateCurve, /) -> None: ...
    @property
    def vol_surface(self) -> VolSurface: ...
    @vol_surface.setter
    def vol_surface(self, value: VolSurface, /) -> None: ...
    @property
    def dividends(self) -> DividendSchedule:
        """The dividend schedule; empty when there are none."""

    @dividends.setter
    def dividends(self, value: DividendSchedule, /) -> None: ...
    @property
    def borrow_curve(self) -> RateCurve | None:
        """The curve of the yield q; ``None`` after it is set to ``None`` (then q is zero)."""

    @borrow_curve.setter
    def borrow_curve(self, value: RateCurve | None, /) -> None: ...

@final
class Tenor:
    """A signed count of days, weeks, months or years, laid onto calendar dates."""

    @staticmethod
    def days(n: int) -> Tenor: ...
    @staticmethod
    def weeks(n: int) -> Tenor: ...
    @staticmethod
    def months(n: int) -> Tenor: ...
    @staticmethod
    def years(n: int) -> Tenor: ...
    # The parameter is named `from`, a keyword, so it is passed by position.
    def advance(self, from_: date, /) -> date:
        """The date this tenor after ``from_``; months and years clamp to the end of the month."""

@final
class RateCurve:
    """A zero-rate curve: flat, continuous, or linear between tenor pillars.

    Valuation needs a flat or continuous curve for rates; an interpolated one serves as a borrow curve.
    """

    @staticmethod
    def flat(rate: InterestRate) -> RateCurve: ...
    @staticmethod
    def continuous(rate: float, day_count_convention: DayCountConvention) -> RateCurve: ...
    @staticmethod
    def interpolated(reference_date: date, tenors: Sequence[Tenor], rates: Sequence[InterestRate]) -> RateCurve: ...
    def zero_rate(self, t: float) -> float:
        """The zero rate at ``t`` years, as quoted (no conversion between compoundings)."""

    def discount_factor(self, t: float) -> float:
        """The discount factor at ``t`` years."""

@final
class VolSurface:
    """A flat volatility surface."""

    @staticmethod
    def flat(vol: float, day_count: DayCountConvention) -> VolSurface: ...
    def volatility(self, strike: float, t: float) -> float: ...

@final
class FdmConfig:
    """Finite-difference settings; ``None`` keeps a default (10 steps, 101 nodes, 4.0 std devs, sinh 0.3).

    The node count is made odd (100 becomes 101).
    """

    def __new__(
        cls,
        time_steps: int | None = None,
        grid_nodes: int | None = None,
        grid_std_devs: float | None = None,
        transform: TransformConfig | None = None,
    ) -> Self: ...

@final
class Config:
    """Which engine prices which option; by default European by closed form, American by finite differences."""

    def __new__(cls) -> Self: ...
    def add_policy(self, policy: InstrumentPolicy) -> Self:
        """Applies the policy's engine to its styles and types; returns this configuration."""

@final
class OptionType:
    """Call or put; ``int()`` gives 0 or 1."""

    Call: Final[OptionType]
    Put: Final[OptionType]
    def __int__(self) -> int: ...

@final
class ExerciseStyle:
    """American or European; ``int()`` gives 0 or 1."""

    American: Final[ExerciseStyle]
    European: Final[ExerciseStyle]
    def __int__(self) -> int: ...

@final
class ValuationBuilder:
    """Collects the market, valuation time and configuration of one option, then prices it."""

    def __new__(cls, instrument: VanillaOption) -> Self: ...
    def market(self, market_frame: OptionMarketFrame) -> Self: ...
    def at(self, valuation_time: datetime | None = None) -> Self:
        """Values at this instant; ``None`` values at the time of each ``compute()``."""

    def config(self, config: Config | None = None) -> Self:
        """Uses this configuration; ``None`` restores the default."""

    def compute(self) -> OptionResult: ...

@final
class OptionResult:
    """A price and its Greeks."""

    @property
    def price(self) -> float: ...
    @property
    def greeks(self) -> Greeks: ...

@final
class Greeks:
    """Sensitivities: per unit of spot, per year (theta), per unit of volatility and of rate (1.0 = 100%)."""

    @property
    def delta(self) -> float: ...
    @property
    def gamma(self) -> float: ...
    @property
    def theta(self) -> float:
        """Change in value per year of time passing."""

    @property
    def vega(self) -> float | None:
        """Per unit of volatility; ``None`` from the finite-difference engine."""

    @property
    def rho(self) -> float | None:
        """Per unit of rate; ``None`` from the finite-difference engine."""

@final
class InstrumentPolicy:
    """Selects exercise styles and option types, and the engine that prices them."""

    def __new__(cls) -> Self: ...
    def american(self) -> Self: ...
    def european(self) -> Self: ...
    def put(self) -> Self: ...
    def call(self) -> Self: ...
    def analytic(self) -> Self: ...
    def fdm(self, fdm_config: FdmConfig | None = None) -> Self: ...

@final
class PeriodCalculator:
    """Day counts and year fractions under a convention."""

    @staticmethod
    def days_between(start: date, end: date, convention: DayCountConvention) -> int: ...
    @staticmethod
    def year_fraction(start: datetime, end: datetime, convention: DayCountConvention) -> float:
        """Both ends must be in ``datetime.timezone.utc``."""

@final
class DividendSchedule:
    """Cash dividends as (timezone-aware ex-date, amount) pairs."""

    def __new__(cls, raw_divs: Sequence[tuple[datetime, float]]) -> Self: ...

@final
class TransformConfig:
    """How the finite-difference grid is spaced in spot."""

    @staticmethod
    def log() -> TransformConfig: ...
    @staticmethod
    def sinh(alpha: float) -> TransformConfig:
        """Nodes concentrated near the strike; smaller ``alpha`` concentrates more."""

@final
class _ImpliedVolBuilder:
    """``ImpliedVolBuilder`` at run time: reached through ``VanillaOption.implied_vol()``."""

    def __new__(cls, instrument: VanillaOption) -> Self: ...
    def market(self, market_frame: OptionMarketFrame) -> Self: ...
    def at(self, valuation_time: datetime | None = None) -> Self: ...
    def price(self, target: float) -> Self: ...
    def config(self, config: Config | None = None) -> Self: ...
    def calculate(self) -> float:
        """The volatility in [0.1, 5.0] at which the configured engine reproduces the target price."""
