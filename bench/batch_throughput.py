"""Throughput of vorel.batch on whole chains, beside the builder loop and, when
installed, py_vollib_vectorized on the same arrays.

    python bench/batch_throughput.py            every row, all processors
    python bench/batch_throughput.py --quick    smaller chains

The comparators and the exact quotes are optional: pip install -r bench/requirements.txt.

Each rate is the best of several runs (options per second). The European
implied-volatility row also checks every answer against the volatility that
priced the quote: the largest relative error where the price carries the
information, and the number of answers that are wrong without saying so.
"""

from __future__ import annotations

import argparse
import math
import os
import platform
import time
from datetime import datetime, timedelta, timezone

# NumPy's BLAS threads wait for work by spinning, which on a small machine takes processors from vorel's own
# threads for the whole run; nothing here uses BLAS.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

import numpy as np  # noqa: E402

import vorel  # noqa: E402
from vorel import (Config, DayCountConvention, ExerciseStyle, FdmConfig, InstrumentPolicy, OptionMarketFrame,
                   OptionType, RateCurve, VanillaOption, VolSurface)
from vorel import batch  # noqa: E402
from vorel.batch import Status  # noqa: E402

# An optional comparator. Its 0.1.1 release works with py_vollib 1.0.1 and py_lets_be_rational 1.0.1 and
# fails to compile against later ones; a comparator that does not run is reported and left out.
PEER_STATE = "not installed"
try:
    import py_vollib_vectorized as pvv
    pvv.vectorized_black_scholes_merton(np.array(["c"]), 100.0, np.array([100.0]), 0.5, 0.04, 0.25, 0.01,
                                        return_as="numpy")
    PEER_STATE = "yes"
except ImportError:
    pvv = None
except Exception as error:  # noqa: BLE001 - any failure of the peer only removes its column
    pvv = None
    PEER_STATE = f"does not run ({type(error).__name__}; pin py_vollib==1.0.1 py_lets_be_rational==1.0.1)"

ACT365 = DayCountConvention.ACT_365_FIXED
UTC = timezone.utc
NOW = datetime(2026, 1, 15, 16, tzinfo=UTC)
RATE, YIELD, SPOT = 0.04, 0.01, 100.0
FRAME = OptionMarketFrame(SPOT, RateCurve.continuous(RATE, ACT365), VolSurface.flat(0.25, ACT365),
                          borrow_curve=RateCurve.continuous(YIELD, ACT365))
GRID = Config().add_policy(InstrumentPolicy().american().fdm(FdmConfig(10, 101)))
TYPES = [OptionType.Call, OptionType.Put]
STYLES = [ExerciseStyle.American, ExerciseStyle.European]


def vector_level():
    """The widest vector kernels vorel chooses here: what the processor offers, capped by VOREL_SIMD."""
    try:
        with open("/proc/cpuinfo") as info:
            flags = next((line.split() for line in info if line.startswith("flags")), [])
    except OSError:
        flags = []
    levels = ["portable"] + [name for name, flag in (("avx2", "avx2"), ("avx512", "avx512f")) if flag in flags]
    cap = os.environ.get("VOREL_SIMD")
    return cap if cap in levels else levels[-1]


def best(run, repeat=5):
    times = []
    for _ in range(repeat):
        started = time.perf_counter()
        run()
        times.append(time.perf_counter() - started)
    return min(times)


def chain(rng, n):
    strike = rng.uniform(50.0, 150.0, n)
    seconds = rng.integers(7 * 86400, 2 * 365 * 86400, n)
    expiry = np.datetime64(NOW.replace(tzinfo=None), "s") + seconds.astype("timedelta64[s]")
    types = rng.integers(0, 2, n)
    return strike, expiry, types


def years(expiry):
    return (expiry - np.datetime64(NOW.replace(tzinfo=None), "s")).astype(np.int64) / 31_536_000.0


def builder_rate(strike, expiry, types, style, frame=FRAME, config=None, quotes=None, count=2000):
    options = [VanillaOption(float(k), e.astype(datetime).replace(tzinfo=UTC), TYPES[t], STYLES[style])
               for k, e, t in zip(strike[:count], expiry[:count], types[:count])]
    if quotes is None:
        def run():
            for option in options:
                b = option.valuation().market(frame).at(NOW)
                (b.config(config) if config else b).compute()
    else:
        def run():
            for option, quote in zip(options, quotes[:count]):
                b = option.implied_vol().market(frame).at(NOW).price(float(quote))
                try:
                    (b.config(config) if config else b).calculate()
                except ValueError:
                    pass
    return len(options) / best(run, 3)


def reprices(quote, sigma, strike, t, kind):
    """Whether the closed form at `sigma` gives `quote` within rounding (sigma 0: the forward intrinsic)."""
    forward, bond = SPOT * math.exp(-YIELD * t), strike * math.exp(-RATE * t)
    sign = 1.0 if kind == 0 else -1.0
    if sigma == 0.0:
        price = max(sign * (forward - bond), 0.0)
    else:
        width = sigma * math.sqrt(t)
        d1 = math.log(forward / bond) / width + width / 2
        price = sign * (forward * 0.5 * math.erfc(-sign * d1 / math.sqrt(2))
                        - bond * 0.5 * math.erfc(-sign * (d1 - width) / math.sqrt(2)))
    return abs(price - quote) <= 16 * np.finfo(float).eps * (forward + bond)


def exact_quote_accuracy(rng, n):
    """Inverts quotes computed in 40-digit arithmetic and rounded once, so that the only error left is the
    solver's: each is judged against the quote's own information, ulp(price) / (vega * sigma)."""
    try:
        import mpmath
    except ImportError:
        print("Exact-quote accuracy: mpmath not installed\n")
        return
    mpmath.mp.dps = 40
    sigma = np.exp(rng.uniform(np.log(1e-3), np.log(10.0), n))
    k = SPOT / np.exp(rng.uniform(np.log(0.2), np.log(5.0), n))
    seconds = (np.exp(rng.uniform(0.0, np.log(30 * 365.0), n)) * 86400).round()
    t = seconds / 31_536_000.0
    types = rng.integers(0, 2, n)
    quotes, vega = np.empty(n), np.empty(n)
    for i in range(n):
        forward = mpmath.mpf(SPOT) * mpmath.exp(-mpmath.mpf(YIELD) * t[i])
        bond = mpmath.mpf(k[i]) * mpmath.exp(-mpmath.mpf(RATE) * t[i])
        width = mpmath.mpf(sigma[i]) * mpmath.sqrt(t[i])
        d1 = mpmath.log(forward / bond) / width + width / 2
        sign = 1 if types[i] == 0 else -1
        quotes[i] = float(sign * (forward * mpmath.ncdf(sign * d1) - bond * mpmath.ncdf(sign * (d1 - width))))
        vega[i] = float(forward * mpmath.npdf(d1) * mpmath.sqrt(t[i]))
    expiry = np.datetime64(NOW.replace(tzinfo=None), "s") + seconds.astype("timedelta64[s]")
    solved = batch.implied_vol(quotes, k, expiry, types, 1, FRAME, at=NOW)
    ok = solved.status == Status.OK
    error = np.abs(solved.vol - sigma) / sigma
    with np.errstate(divide="ignore", invalid="ignore"):  # an underflowed quote or vega carries nothing
        information = np.where((quotes > 0) & (vega > 0), np.spacing(quotes) / (vega * sigma), np.inf)
        # What sigma the double inputs fix: the quote, the forward and the discounted strike each rounded once.
        inputs = np.where((quotes > 0) & (vega > 0), (np.spacing(quotes) + np.spacing(SPOT) + np.spacing(k))
                          / (vega * sigma), np.inf)
    clear = ok & (inputs < 1e-13)  # the quote and its market fix sigma to better than 1e-13
    judged = ok & (information > 0) & np.isfinite(information)
    print(f"Exact-quote accuracy over {n:,} quotes: {ok.sum():,} solved; where the quote and market fix sigma to "
          f"1e-13 ({clear.sum():,}), max relative error {np.max(error[clear]):.1e}; everywhere solved, max error "
          f"over what the inputs fix {np.max(error[judged] / inputs[judged]):.1f}, over what the quote alone fixes "
          f"{np.max(error[judged] / information[judged]):.1f}; statuses "
          f"{ {Status(s).name: int(c) for s, c in zip(*np.unique(solved.status, return_counts=True))} }\n")


def row(name, rate, goal, builder=None, peer=None):
    text = f"| {name} | {rate / 1e6:,.3f} M/s | {goal} |"
    text += f" {rate / builder:,.1f}x |" if builder else " - |"
    text += f" {rate / peer:,.1f}x |" if peer else " - |"
    print(text, flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true")
    args = parser.parse_args()
    scale = 10 if args.quick else 1
    rng = np.random.default_rng(2026)
    print(f"vorel {vorel.__file__}; {platform.python_implementation()} {platform.python_version()}; "
          f"{os.cpu_count()} processors; vector kernels {vector_level()}; py_vollib_vectorized {PEER_STATE}\n")
    print("| row | vorel.batch | goal | vs builder loop | vs py_vollib_vectorized |")
    print("|---|---|---|---|---|")

    n = 1_000_000 // scale
    strike, expiry, types = chain(rng, n)
    t = years(expiry)
    flags = np.where(types == 0, "c", "p")
    for threads, label in ((None, "all processors"), (1, "1 thread")):
        full = n / best(lambda: batch.value(strike, expiry, types, 1, FRAME, at=NOW, threads=threads))
        price = n / best(lambda: batch.value(strike, expiry, types, 1, FRAME, at=NOW, greeks=False,
                                             threads=threads))
        peer_full = peer_price = None
        if pvv is not None and threads is None:
            pvv.vectorized_black_scholes_merton(flags[:1000], SPOT, strike[:1000], t[:1000], RATE, 0.25, YIELD,
                                                return_as="numpy")  # compile once
            peer_price = n / best(lambda: pvv.vectorized_black_scholes_merton(
                flags, SPOT, strike, t, RATE, 0.25, YIELD, return_as="numpy"), 3)
            peer_full = n / best(lambda: pvv.get_all_greeks(flags, SPOT, strike, t, RATE, 0.25, YIELD,
                                                            model="black_scholes_merton", return_as="dict"), 3)
        loop = builder_rate(strike, expiry, types, 1) if threads is None else None
        row(f"European price + 5 Greeks, {label}", full, "60 M/s" if threads is None else "-", loop, peer_full)
        row(f"European price only, {label}", price, "-", loop, peer_price)

    # A listed chain: strikes on 24 monthly expiries at the close, in no particular order. Each expiry's instant
    # and market inputs are read once.
    listed = np.datetime64(NOW.replace(tzinfo=None), "s") + (rng.integers(1, 25, n) * 30 * 86400).astype(
        "timedelta64[s]")
    listed_full = n / best(lambda: batch.value(strike, listed, types, 1, FRAME, at=NOW))
    row("European price + 5 Greeks, listed chain (24 expiries)", listed_full, "60 M/s")

    m = 40_000 // scale
    a_strike, a_expiry, a_types = chain(rng, m)
    american = m / best(lambda: batch.value(a_strike, a_expiry, a_types, 0, FRAME, at=NOW, config=GRID), 3)
    row("American 101 x 10, price + 3 Greeks", american, "0.5 M/s",
        builder_rate(a_strike, a_expiry, a_types, 0, config=GRID, count=500))
    big = Config().add_policy(InstrumentPolicy().american().fdm(FdmConfig(800, 801)))
    b = 400 // scale
    american_big = b / best(lambda: batch.value(a_strike[:b], a_expiry[:b], a_types[:b], 0, FRAME, at=NOW,
                                                config=big), 3)
    row("American 801 x 800, price + 3 Greeks", american_big, "1,400/s",
        builder_rate(a_strike, a_expiry, a_types, 0, config=big, count=40))

    # European implied volatility over sigma 1e-3..10, S/K 0.2..5, 1 day..30 years.
    sigma = np.exp(rng.uniform(np.log(1e-3), np.log(10.0), n))
    k = SPOT / np.exp(rng.uniform(np.log(0.2), np.log(5.0), n))
    days = np.exp(rng.uniform(0.0, np.log(30 * 365.0), n)).round()
    e = np.datetime64(NOW.replace(tzinfo=None), "s") + (days * 86400).astype("timedelta64[s]")
    quotes = np.empty(n)
    vega = np.empty(n)
    for s in np.unique(np.round(np.log10(sigma), 1)):
        pick = np.round(np.log10(sigma), 1) == s
        frame = OptionMarketFrame(SPOT, FRAME.rate_curve, VolSurface.flat(10.0 ** s, ACT365),
                                  borrow_curve=FRAME.borrow_curve)
        sigma[pick] = 10.0 ** s
        priced = batch.value(k[pick], e[pick], types[pick], 1, frame, at=NOW)
        quotes[pick], vega[pick] = priced.price, priced.vega
    solved = batch.implied_vol(quotes, k, e, types, 1, FRAME, at=NOW)
    iv = n / best(lambda: batch.implied_vol(quotes, k, e, types, 1, FRAME, at=NOW))
    ok = solved.status == Status.OK
    informative = vega * sigma > 1e-10 * quotes
    error = np.abs(solved.vol - sigma) / sigma
    hidden = 16 * np.finfo(float).eps * (SPOT + k) / np.maximum(vega, 1e-300) / sigma
    peer_iv = None
    if pvv is not None:
        te = years(e)
        fl = np.where(types == 0, "c", "p")
        pvv.vectorized_implied_volatility(quotes[:1000], SPOT, k[:1000], te[:1000], RATE, fl[:1000], q=YIELD,
                                          model="black_scholes_merton", return_as="numpy")
        peer_iv = n / best(lambda: pvv.vectorized_implied_volatility(quotes, SPOT, k, te, RATE, fl, q=YIELD,
                                                                     model="black_scholes_merton",
                                                                     return_as="numpy"), 3)
    row("European implied vol", iv, "25 M/s", builder_rate(k, e, types, 1, quotes=quotes), peer_iv)
    # Where the answer is off by more than the linear rounding estimate allows (far in the wings, where the
    # price is flat in sigma), it is wrong only if the price it gives misses the quote.
    suspect = np.flatnonzero(ok & (error > 1e-12 + hidden))
    te = years(e)
    wrong = sum(not reprices(quotes[i], solved.vol[i], k[i], te[i], types[i]) for i in suspect)
    print(f"\nEuropean implied vol over {n:,} quotes: {ok.sum():,} solved; where vega*sigma > 1e-10 of the price "
          f"({informative.sum():,}): {(ok & informative).sum():,} solved, max relative error "
          f"{np.max(error[ok & informative]):.2e}, {(error[ok & informative] > 1e-12).sum():,} beyond 1e-12 "
          f"({(error[ok & informative] > 1e-12 + hidden[ok & informative]).sum():,} beyond what the price's own "
          f"rounding hides); answers off by more than that: {len(suspect):,}, of which silent wrong answers "
          f"(their price misses the quote by more than rounding): {wrong:,}; statuses "
          f"{ {Status(s).name: int(c) for s, c in zip(*np.unique(solved.status, return_counts=True))} }\n")

    exact_quote_accuracy(rng, 20_000 // scale)

    q = 4000 // scale
    a_quotes = batch.value(a_strike[:q], a_expiry[:q], a_types[:q], 0,
                           OptionMarketFrame(SPOT, FRAME.rate_curve, VolSurface.flat(0.3, ACT365),
                                             borrow_curve=FRAME.borrow_curve), at=NOW, config=GRID).price
    american_iv = q / best(lambda: batch.implied_vol(a_quotes, a_strike[:q], a_expiry[:q], a_types[:q], 0, FRAME,
                                                     at=NOW, config=GRID), 3)
    solved_a = batch.implied_vol(a_quotes, a_strike[:q], a_expiry[:q], a_types[:q], 0, FRAME, at=NOW, config=GRID)
    row("American implied vol (101 x 10)", american_iv, "60 k/s",
        builder_rate(a_strike, a_expiry, a_types, 0, config=GRID, quotes=a_quotes, count=200))

    one = [100.0, np.datetime64("2026-07-15T16:00"), OptionType.Put, ExerciseStyle.European, FRAME]
    calls = 20_000
    single = best(lambda: [batch.value(*one, at=NOW) for _ in range(calls)]) / calls
    single_array = best(lambda: [batch.value(np.array([100.0]), *one[1:], at=NOW) for _ in range(calls)]) / calls
    kernel = 1.0 / full
    print(f"\nBatch of one, value(): {single * 1e6:.2f} us per call with scalar fields, "
          f"{single_array * 1e6:.2f} us with 1-element arrays (goal: overhead <= 2 us; the element itself "
          f"costs about {kernel * 1e6:.2f} us)")
    # A quote at the exercise value (early exercise now) is met by every volatility below some level: any of them
    # reprices it, so only quotes above that value say how close the search gets to 0.3.
    exercise = np.maximum(np.where(a_types[:q] == 0, SPOT - a_strike[:q], a_strike[:q] - SPOT), 0.0)
    above = a_quotes > exercise + 1e-9 * SPOT
    print(f"American implied vol over {q:,} quotes priced at 0.3: max relative error "
          f"{np.nanmax(np.abs(solved_a.vol[above] - 0.3) / 0.3):.1e} over the {above.sum():,} above their exercise "
          f"value ({q - above.sum():,} at it, any low volatility reprices them), statuses "
          f"{ {Status(s).name: int(c) for s, c in zip(*np.unique(solved_a.status, return_counts=True))} }")


if __name__ == "__main__":
    main()
