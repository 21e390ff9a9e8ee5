"""Prices a whole option chain of 100,000 options in a few calls, then solves
every quote back to its implied volatility, with a progress line.

    python examples/chain.py
"""

import sys
import time
from datetime import datetime, timezone

import numpy as np

from vorel import DayCountConvention, OptionMarketFrame, RateCurve, VolSurface
from vorel import batch
from vorel.batch import Status

ACT365 = DayCountConvention.ACT_365_FIXED
now = datetime(2026, 1, 15, 16, 0, tzinfo=timezone.utc)
frame = OptionMarketFrame(100.0, RateCurve.continuous(0.04, ACT365), VolSurface.flat(0.22, ACT365))

# 1,000 strikes x 50 monthly expiries x calls and puts, European.
strikes = np.linspace(50.0, 150.0, 1000)
expiries = np.datetime64("2026-02-20T21:00") + np.arange(50) * np.timedelta64(30, "D")
kinds = np.array([0, 1])  # OptionType.Call, OptionType.Put
strike, expiry, kind = np.meshgrid(strikes, expiries, kinds, indexing="ij")
strike, expiry, kind = strike.ravel(), expiry.ravel(), kind.ravel()
n = strike.size

started = time.perf_counter()
prices = np.empty(n)
vegas = np.empty(n)
vols = np.empty(n)
status = np.empty(n, dtype=np.uint8)
pieces = 10
for piece, part in enumerate(np.array_split(np.arange(n), pieces), start=1):
    valued = batch.value(strike[part], expiry[part], kind[part], 1, frame, at=now)
    prices[part], vegas[part] = valued.price, valued.vega
    solved = batch.implied_vol(valued.price, strike[part], expiry[part], kind[part], 1, frame, at=now)
    vols[part], status[part] = solved.vol, solved.status
    sys.stdout.write(f"\r{piece * 100 // pieces:3d}% of {n:,} options priced and inverted")
    sys.stdout.flush()
elapsed = time.perf_counter() - started
print()

ok = status == Status.OK
# A price is a difference of terms as large as the spot and the strike, so its
# last bits are rounding: a volatility change that moves the price by less than
# that cannot be seen. Beyond it, every solved volatility must be exact.
hidden = 16 * np.finfo(float).eps * (frame.spot + strike) / np.maximum(vegas, 1e-300)
wrong = ok & (np.abs(vols - 0.22) > 1e-12 * 0.22 + hidden)
print(f"{n:,} options in {elapsed:.2f} s; {ok.sum():,} implied volatilities solved")
print(f"solved volatilities off by more than 1e-12 beyond the price's rounding: {wrong.sum():,}")
for code, count in zip(*np.unique(status, return_counts=True)):
    print(f"  {Status(code).name}: {count:,}")
