"""Whole option chains in one call.

``value`` prices many options against one market frame at one valuation instant
under one configuration, and ``implied_vol`` solves their implied volatilities
from quoted prices. Each option field (strike, expiry, option type, exercise
style) is an array or a single value, broadcast against the others as NumPy
broadcasts; results are NumPy arrays of the broadcast shape (Python numbers
when every field is a single value), or a pandas DataFrame with the same index
when a field is a pandas Series. Every element
carries a ``Status``: one bad option never fails the batch. The work runs on
all processors without the interpreter lock.
"""

from __future__ import annotations

import datetime as _datetime
import enum
import sys
from typing import Any, NamedTuple

import numpy as np

from vorel import ExerciseStyle, OptionType

_native = sys.modules["vorel._batch"]

__all__ = ["ImpliedVols", "Status", "Valuation", "implied_vol", "value"]


class Status(enum.IntEnum):
    """What became of one element."""

    OK = 0
    #: A strike or quote that is not a positive finite number, an expiry that
    #: is not a time (NaT), an option type or exercise style of no member.
    INVALID_INPUT = 1
    #: Valued at or after the expiry instant (the price is then the payoff at
    #: expiry, or NaN after it); no implied volatility.
    EXPIRED = 2
    #: A quote below the least price any volatility gives (the intrinsic value).
    BELOW_INTRINSIC = 3
    #: A quote at or above the price no volatility reaches.
    ABOVE_UPPER_BOUND = 4
    #: The volatility search ran out of rounds.
    NOT_CONVERGED = 5
    #: The engine refused the option: valuing it alone raises (a negative
    #: volatility from the surface, an engine that does not cover it), or it
    #: gave a price that is not a number.
    FAILED = 6


class Valuation(NamedTuple):
    """Prices and Greeks; vega and rho are NaN where the engine has none (finite
    differences), and the Greeks are None when not asked for."""

    price: Any
    delta: Any
    gamma: Any
    theta: Any
    vega: Any
    rho: Any
    status: Any


class ImpliedVols(NamedTuple):
    """Implied volatilities, NaN where the status is not ``Status.OK``."""

    vol: Any
    status: Any


_EPOCH = _datetime.datetime(1970, 1, 1, tzinfo=_datetime.timezone.utc)
_MICROSECOND = _datetime.timedelta(microseconds=1)
_NAT = np.iinfo(np.int64).min
_NAIVE = "expiry must be timezone-aware (e.g. New York or UTC): a naive datetime has no instant"
_NUMBER_KINDS = "fiub"

_CODES: dict[Any, int] = {
    member: int(member)
    for member in (OptionType.Call, OptionType.Put, ExerciseStyle.American, ExerciseStyle.European)
}
# Microseconds per tick of the datetime64 units a product with int64 keeps exact
# (a tick count beyond the range of microseconds is far outside any date).
_US_PER_TICK = {(unit, 1): factor
                for unit, factor in (("us", 1), ("ms", 1000), ("s", 10**6), ("m", 6 * 10**7), ("h", 36 * 10**8),
                                     ("D", 864 * 10**8))}
# Types that are never pandas objects: checked first, as the common case.
_PLAIN = frozenset({float, int, np.ndarray, np.float64, np.datetime64, _datetime.datetime, OptionType, ExerciseStyle})


def _is_pandas(x: object) -> bool:
    if type(x) in _PLAIN:
        return False
    module = type(x).__module__
    return (module == "pandas" or module.startswith("pandas.")) and hasattr(x, "index") and hasattr(x, "to_numpy")


def _numbers(x: object, name: str) -> np.ndarray:
    if type(x) is np.ndarray and x.dtype == np.float64:
        return x
    if type(x) is float or type(x) is np.float64:
        return x  # type: ignore[return-value]
    if type(x) is int:
        return float(x)  # type: ignore[return-value]
    array = np.asarray(x.to_numpy() if _is_pandas(x) else x)  # type: ignore[attr-defined]
    if array.dtype.kind not in _NUMBER_KINDS:
        raise TypeError(f"{name} must be numbers, not an array of dtype {array.dtype}")
    return array.astype(np.float64, copy=False)


def _micros(moment: object) -> int:
    """A datetime (aware) or None/NaT as microseconds since the epoch."""
    if type(moment) is _datetime.datetime and moment.tzinfo is _datetime.timezone.utc:
        return (moment - _EPOCH) // _MICROSECOND
    if moment is None or (isinstance(moment, float) and moment != moment):
        return _NAT
    if isinstance(moment, np.datetime64):
        factor = _US_PER_TICK.get(np.datetime_data(moment.dtype))
        if factor is None:  # finer than a microsecond, or a multiple unit: NumPy's own conversion
            return int(moment.astype("datetime64[us]").astype(np.int64))
        ticks = int.from_bytes(memoryview(moment), sys.byteorder, signed=True)  # the int64 tick count
        return _NAT if ticks == _NAT else ticks * factor
    if not isinstance(moment, _datetime.datetime):
        raise TypeError(f"expiry must hold datetimes, not '{type(moment).__name__}'")
    if moment.utcoffset() is None:
        if moment != moment:  # pandas' NaT is a naive datetime unequal to itself
            return _NAT
        raise ValueError(_NAIVE)
    return (moment - _EPOCH) // _MICROSECOND


def _expiries(x: object) -> np.ndarray:
    if _is_pandas(x):
        series = x
        if getattr(series, "dtype", None) is not None and getattr(series.dtype, "tz", None) is not None:
            series = series.dt.tz_convert(None) if hasattr(series, "dt") else series.tz_convert(None)
        x = series.to_numpy()  # type: ignore[attr-defined]
    if isinstance(x, (_datetime.datetime, np.datetime64)):
        return _micros(x)  # type: ignore[return-value]
    array = np.asarray(x)
    if array.dtype.kind == "M":
        return array.astype("datetime64[us]").view(np.int64)
    if array.dtype == object:
        flat = [_micros(moment) for moment in array.ravel()]
        return np.array(flat, dtype=np.int64).reshape(array.shape)
    raise TypeError(f"expiry must be datetime64 or datetimes, not an array of dtype {array.dtype}")


def _codes(x: object, name: str) -> np.ndarray:
    code = _CODES.get(x) if type(x) in (OptionType, ExerciseStyle) else None
    if code is not None:
        return code  # type: ignore[return-value]
    if type(x) is int or (type(x) is np.ndarray and x.dtype.kind in "iub"):
        return x  # type: ignore[return-value]
    array = np.asarray(x.to_numpy() if _is_pandas(x) else x)  # type: ignore[attr-defined]
    if array.dtype.kind in "iub":
        return array
    if array.dtype == object:
        flat = [_code(item, name) for item in array.ravel()]
        return np.array(flat, dtype=np.int64).reshape(array.shape)
    raise TypeError(f"{name} must hold {_member_names(name)} or their integer values, not dtype {array.dtype}")


def _member_names(name: str) -> str:
    return "OptionType members" if name == "option_type" else "ExerciseStyle members"


def _code(item: object, name: str) -> int:
    expected = OptionType if name == "option_type" else ExerciseStyle
    if type(item) is expected:
        return int(item)  # type: ignore[call-overload]
    if isinstance(item, (int, np.integer)) and not isinstance(item, bool):
        return int(item) if 0 <= item <= 255 else 255
    raise TypeError(f"{name} must hold {_member_names(name)} or their integer values, not '{type(item).__name__}'")


def _index(*fields: object) -> Any:
    """The index of the pandas fields, which must all have the same one; None without any."""
    index = None
    for field in fields:
        if type(field) not in _PLAIN and _is_pandas(field):
            if index is None:
                index = field.index  # type: ignore[attr-defined]
            elif not index.equals(field.index):  # type: ignore[attr-defined]
                raise ValueError("the pandas fields must share one index")
    return index


def _frame(index: Any, columns: dict[str, Any]) -> Any:
    import pandas

    return pandas.DataFrame({k: v for k, v in columns.items() if v is not None}, index=index)


def value(strike: Any, expiry: Any, option_type: Any, exercise_style: Any, market: Any, at: Any = None,
          config: Any = None, greeks: bool = True, threads: int | None = None) -> Any:
    """Prices (and, with ``greeks``, the Greeks of) many options.

    Each element is exactly what ``VanillaOption(strike, expiry, option_type,
    exercise_style).valuation().market(market).at(at).config(config).compute()``
    gives, with its status. ``at`` is an aware datetime (None: now), ``threads``
    the most threads to use (None: every processor). Returns a ``Valuation`` of
    arrays, or a pandas DataFrame when a field is a pandas Series.
    """
    index = _index(strike, expiry, option_type, exercise_style)
    out = _native.value(_numbers(strike, "strike"), _expiries(expiry), _codes(option_type, "option_type"),
                        _codes(exercise_style, "exercise_style"), market, at, config, greeks, threads)
    if index is not None:
        return _frame(index, dict(zip(Valuation._fields, out)))
    return Valuation._make(out)


def implied_vol(price: Any, strike: Any, expiry: Any, option_type: Any, exercise_style: Any, market: Any,
                at: Any = None, config: Any = None, threads: int | None = None) -> Any:
    """Implied volatilities of many quoted prices.

    Where the configuration prices an option by the closed form, its quote is
    inverted to machine accuracy at any volatility; where it prices by finite
    differences, the volatility is searched in [1e-4, 10] on that engine to a
    relative 1e-8. The market frame's volatility surface is not read. Returns
    an ``ImpliedVols`` of arrays, or a pandas DataFrame when a field is a
    pandas Series.
    """
    index = _index(price, strike, expiry, option_type, exercise_style)
    out = _native.implied_vol(_numbers(price, "price"), _numbers(strike, "strike"), _expiries(expiry),
                              _codes(option_type, "option_type"), _codes(exercise_style, "exercise_style"),
                              market, at, config, threads)
    if index is not None:
        return _frame(index, dict(zip(ImpliedVols._fields, out)))
    return ImpliedVols._make(out)
