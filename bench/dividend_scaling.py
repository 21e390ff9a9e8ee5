"""How the finite-difference engine's time grows with the number of cash dividends.

    python bench/dividend_scaling.py [COUNT ...]      (default 10000 100000 1000000)

Each run values a one-year American put (spot 100, strike 100, 20% volatility, 5% rate) with the
default finite-difference settings and COUNT dividends spread evenly over its life, 5.0 paid in
all, and prints the seconds compute() took and the price. Put the build to measure on the path
(PYTHONPATH=build/helper, for example).
"""

from __future__ import annotations

import sys
import time
from datetime import datetime, timedelta, timezone

from vorel import (DayCountConvention, DividendSchedule, ExerciseStyle, OptionMarketFrame, OptionType, RateCurve,
                   VanillaOption, VolSurface)

ACT_365 = DayCountConvention.ACT_365_FIXED
VALUED = datetime(2026, 1, 15, 16, tzinfo=timezone.utc)
LIFE = timedelta(days=365)


def dividends(count: int) -> DividendSchedule:
    step = LIFE / (count + 1)
    return DividendSchedule([(VALUED + step * (i + 1), 5.0 / count) for i in range(count)])


def measure(count: int) -> tuple[float, float]:
    option = VanillaOption(100.0, VALUED + LIFE, OptionType.Put, ExerciseStyle.American)
    market = OptionMarketFrame(100.0, RateCurve.continuous(0.05, ACT_365), VolSurface.flat(0.2, ACT_365),
                               dividends(count))
    builder = option.valuation().market(market).at(VALUED)
    start = time.perf_counter()
    price = builder.compute().price
    return time.perf_counter() - start, price


def main() -> None:
    counts = [int(arg) for arg in sys.argv[1:]] or [10_000, 100_000, 1_000_000]
    print(f"{'dividends':>10} {'seconds':>10}  price")
    for count in counts:
        seconds, price = measure(count)
        print(f"{count:>10} {seconds:>10.3f}  {price!r}", flush=True)


if __name__ == "__main__":
    main()
