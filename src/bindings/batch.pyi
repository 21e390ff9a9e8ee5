"""Whole option chains in one call (needs NumPy; ``import vorel`` alone never loads it).

``value`` prices many options against one market frame at one valuation instant under one configuration,
and ``implied_vol`` solves their implied volatilities from quoted prices. Each option field (strike,
expiry, option type, exercise style) is an array or a single value, broadcast against the others as NumPy
broadcasts. Results are NumPy arrays of the broadcast shape (Python numbers when every field is a single
value), or a pandas DataFrame with the fields' index when a field is a pandas Series. Every element carries
a ``Status``: one bad option never fails the call. The work runs without the interpreter lock.
"""

import datetime
import enum
from typing import Any, NamedTuple

import numpy as np
import numpy.typing as npt

from vorel import Config, ExerciseStyle, OptionMarketFrame, OptionType

__all__ = ["ImpliedVols", "Status", "Valuation", "implied_vol", "value"]

class Status(enum.IntEnum):
    """What became of one element: its results are NaN unless it is ``OK`` (or a valued ``EXPIRED`` one)."""

    OK = 0
    """Valued or solved."""
    INVALID_INPUT = 1
    """A strike that is not a positive finite number, a quote that is not finite, a NaT expiry, an unknown code."""
    EXPIRED = 2
    """Valued at or after the expiry instant (the price is the closed form's there); no implied volatility."""
    BELOW_INTRINSIC = 3
    """A quote below the least price any volatility gives (the intrinsic value)."""
    ABOVE_UPPER_BOUND = 4
    """A quote at or above the price no volatility reaches."""
    NOT_CONVERGED = 5
    """The volatility search ran out of rounds."""
    FAILED = 6
    """The engine refused the option: valuing it alone raises (e.g. a negative volatility), or gave no number."""

class Valuation(NamedTuple):
    """What ``value`` returns: float64 arrays of the broadcast shape, or floats for a single option."""

    price: Any
    """The prices, in the underlying's price units."""
    delta: Any
    """Change in value per 1.0 of spot; ``None`` with ``greeks=False``."""
    gamma: Any
    """Change in delta per 1.0 of spot; ``None`` with ``greeks=False``."""
    theta: Any
    """Change in value per year of time passing; ``None`` with ``greeks=False``."""
    vega: Any
    """Per unit of volatility (1.0 = 100 points); NaN from finite differences, ``None`` with ``greeks=False``."""
    rho: Any
    """Per unit of rate (1.0 = 10,000 basis points); NaN from finite differences, ``None`` with ``greeks=False``."""
    status: Any
    """The ``Status`` codes: a uint8 array, or an ``int`` for a single option."""

class ImpliedVols(NamedTuple):
    """What ``implied_vol`` returns: implied volatilities, NaN where the status is not ``Status.OK``."""

    vol: Any
    """The volatilities as decimals: a float64 array of the broadcast shape, or a float for a single option."""
    status: Any
    """The ``Status`` codes: a uint8 array, or an ``int`` for a single option."""

_Numbers = float | npt.ArrayLike
"""A number, or an array-like of numbers (a pandas Series included)."""
_Expiries = datetime.datetime | np.datetime64 | npt.ArrayLike
"""Aware datetimes, ``datetime64`` values (read as UTC), or a timezone-aware pandas column."""
_Types = OptionType | int | npt.ArrayLike
"""``OptionType`` members or their codes (``Call`` 0, ``Put`` 1), one or an array of them."""
_Styles = ExerciseStyle | int | npt.ArrayLike
"""``ExerciseStyle`` members or their codes (``American`` 0, ``European`` 1), one or an array of them."""

def value(
    strike: _Numbers,
    expiry: _Expiries,
    option_type: _Types,
    exercise_style: _Styles,
    market: OptionMarketFrame,
    at: datetime.datetime | None = None,
    config: Config | None = None,
    greeks: bool = True,
    threads: int | None = None,
) -> Any:
    """Prices (and, with ``greeks``, the Greeks of) many options: a ``Valuation``, or a DataFrame.

    Each element is exactly what ``VanillaOption(strike, expiry, option_type, exercise_style).valuation()
    .market(market).at(at).config(config).compute()`` gives, with its status. ``at`` is an aware datetime
    (``None``: now), ``config`` ``None`` the default configuration, ``threads`` the most threads to use
    (``None``: every processor this process may use).

    Raises ``TypeError`` for a field of the wrong dtype or elements, or a ``market``, ``config`` or
    ``threads`` of the wrong type; ``ValueError`` for fields that do not broadcast, pandas fields with
    different indexes, a naive expiry or ``at``, ``threads`` outside 1 to 1024, rate curve and surface
    conventions that differ, or finite-difference settings that make no grid; ``MemoryError`` for too many
    elements or a grid this machine cannot hold; ``KeyboardInterrupt`` at Ctrl-C (no partial result).
    """

def implied_vol(
    price: _Numbers,
    strike: _Numbers,
    expiry: _Expiries,
    option_type: _Types,
    exercise_style: _Styles,
    market: OptionMarketFrame,
    at: datetime.datetime | None = None,
    config: Config | None = None,
    threads: int | None = None,
) -> Any:
    """Implied volatilities of many quoted prices: an ``ImpliedVols``, or a DataFrame.

    Where the configuration prices an option by the closed form, its quote is inverted to machine accuracy
    at any volatility; where it prices by finite differences, the volatility is searched in [1e-4, 10] on
    that engine to a relative 1e-8. The market frame's volatility surface is not read (its convention is
    still checked). ``at``, ``config`` and ``threads`` are as for ``value``, and so are the errors raised.
    """
