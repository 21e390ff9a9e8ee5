import datetime
import enum
from typing import Any, NamedTuple

import numpy as np
import numpy.typing as npt

from vorel import Config, ExerciseStyle, OptionMarketFrame, OptionType

__all__ = ["ImpliedVols", "Status", "Valuation", "implied_vol", "value"]

class Status(enum.IntEnum):
    OK = 0
    INVALID_INPUT = 1
    EXPIRED = 2
    BELOW_INTRINSIC = 3
    ABOVE_UPPER_BOUND = 4
    NOT_CONVERGED = 5
    FAILED = 6

class Valuation(NamedTuple):
    price: Any
    delta: Any
    gamma: Any
    theta: Any
    vega: Any
    rho: Any
    status: Any

class ImpliedVols(NamedTuple):
    vol: Any
    status: Any

_Numbers = float | npt.ArrayLike
_Expiries = datetime.datetime | np.datetime64 | npt.ArrayLike
_Types = OptionType | int | npt.ArrayLike
_Styles = ExerciseStyle | int | npt.ArrayLike

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
) -> Any: ...
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
) -> Any: ...
