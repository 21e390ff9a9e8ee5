"""Price error and time of the finite-difference engine against its grid, on an American put.

    python bench/fdm_accuracy.py               print the tables in Markdown (well under a minute)
    python bench/fdm_accuracy.py --repeats 21  more timing rounds (default 9)
    python bench/fdm_accuracy.py --no-matrix   only the reference and the table of chosen settings
    python bench/fdm_accuracy.py --spot 85     the same put at another spot

Run it against a Release build, for example after `make bench-build`:
`PYTHONPATH=build/bench .venv/bin/python bench/fdm_accuracy.py`. The first line printed
names the extension that was loaded.

The case: an American put, strike 100, spot 100 (or --spot), valued 365 days before expiry
(one year under ACT/365 Fixed), rate 5% continuously compounded, volatility 20%, no
dividends and a zero borrow rate. The settings differ only in nodes, time steps and
transform; the grid's half-width stays at its default of 4 standard deviations.

The reference price comes from two very fine sinh grids, 6401 x 6400 and 12801 x 12800.
The engine's error shrinks about with the square of the grid spacing on this problem too (its
steps follow the early-exercise boundary), so the reference is their second-order Richardson
extrapolation, (4 P(12801 x 12800) - P(6401 x 6400)) / 3. Both fine prices, the log
transform's too, are printed so that the convergence can be judged.

Times are of `compute()` on a builder prepared once per setting, so they include the
valuation chain's own cost (well under a microsecond). Each round times every setting once,
in turn, each with enough calls to fill about 20 ms, starting from a different setting each
round; the figure shown is the median over the rounds of the time per call. On a shared or
busy machine they are indicative.
"""

from __future__ import annotations

import argparse
import platform
import statistics
import time
from datetime import datetime, timedelta, timezone
from pathlib import Path

import vorel
from vorel import (Config, DayCountConvention, ExerciseStyle, FdmConfig, InstrumentPolicy, OptionMarketFrame,
                   OptionType, RateCurve, TransformConfig, ValuationBuilder, VanillaOption, VolSurface)

ACT_365 = DayCountConvention.ACT_365_FIXED
VALUED = datetime(2025, 1, 2, 16, tzinfo=timezone.utc)
EXPIRY = VALUED + timedelta(days=365)
STRIKE, RATE, VOL = 100.0, 0.05, 0.20

NODES = (51, 101, 201, 401, 801, 1601)
STEPS = (10, 25, 50, 100, 200, 400, 800)
# (nodes, steps) of the table of chosen settings, the default first.
CHOSEN = [(101, 10), (51, 50), (101, 50), (201, 50), (201, 100), (401, 100), (401, 200), (801, 200),
          (801, 400), (801, 800), (1601, 400), (1601, 800), (1601, 1600), (3201, 3200)]
FINE, FINER = (6401, 6400), (12801, 12800)
# The transforms compared; None is the default, sinh with alpha 0.3.
TRANSFORMS = {"sinh": None, "log": TransformConfig.log()}
# The sinh stretch: price error only, since alpha does not change the cost.
ALPHAS = (0.1, 0.2, 0.3, 0.5, 1.0)
ALPHA_GRIDS = ((101, 10), (101, 100), (201, 100), (801, 400))
BATCH_SECONDS = 0.02


def builder(spot: float, nodes: int, steps: int, transform: str | float) -> ValuationBuilder:
    """A prepared valuation; `transform` is "sinh" (alpha 0.3), "log", or a sinh alpha."""
    option = VanillaOption(STRIKE, EXPIRY, OptionType.Put, ExerciseStyle.American)
    frame = OptionMarketFrame(spot, RateCurve.continuous(RATE, ACT_365), VolSurface.flat(VOL, ACT_365))
    shape = TransformConfig.sinh(transform) if isinstance(transform, float) else TRANSFORMS[transform]
    settings = FdmConfig(time_steps=steps, grid_nodes=nodes, transform=shape)
    config = Config().add_policy(InstrumentPolicy().american().fdm(settings))
    return option.valuation().market(frame).at(VALUED).config(config)


def price(spot: float, nodes: int, steps: int, transform: str | float) -> float:
    return builder(spot, nodes, steps, transform).compute().price


def calls_per_batch(prepared: ValuationBuilder) -> int:
    start = time.perf_counter()
    prepared.compute()
    once = time.perf_counter() - start
    return max(1, int(BATCH_SECONDS / max(once, 1e-7)))


def measure(spot: float, settings: list[tuple[int, int, str]], repeats: int) -> dict:
    """(price, median seconds per compute()) of each (nodes, steps, transform), rounds interleaved."""
    prepared = {s: builder(spot, *s) for s in settings}
    prices = {s: b.compute().price for s, b in prepared.items()}
    batch = {s: calls_per_batch(b) for s, b in prepared.items()}
    samples: dict = {s: [] for s in settings}
    for round_ in range(repeats):
        shift = round_ * len(settings) // repeats
        for s in settings[shift:] + settings[:shift]:
            compute, calls = prepared[s].compute, batch[s]
            start = time.perf_counter()
            for _ in range(calls):
                compute()
            samples[s].append((time.perf_counter() - start) / calls)
    return {s: (prices[s], statistics.median(samples[s])) for s in settings}


def seconds(t: float) -> str:
    if t < 1e-5:
        return f"{t * 1e6:.1f} us"
    if t < 1e-3:
        return f"{t * 1e6:.0f} us"
    if t < 1e-2:
        return f"{t * 1e3:.1f} ms"
    if t < 1.0:
        return f"{t * 1e3:.0f} ms"
    return f"{t:.2f} s"


def error(value: float, ref: float) -> str:
    return f"{value - ref:+.5f}"


def machine() -> str:
    cpu = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as info:
            names = [line.split(":", 1)[1].strip() for line in info if line.startswith("model name")]
        if names:
            cpu = f"{names[0]}, {len(names)} logical CPUs"
    except OSError:
        pass
    return f"{cpu}; {platform.system()} {platform.release()}; CPython {platform.python_version()}"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--repeats", type=int, default=9, help="timing rounds (default 9)")
    parser.add_argument("--no-matrix", action="store_true", help="skip the nodes x steps and alpha tables")
    parser.add_argument("--spot", type=float, default=100.0, help="spot of the put (default 100)")
    args = parser.parse_args()
    spot, repeats = args.spot, max(args.repeats, 1)

    print(f"vorel from {Path(vorel.__file__).resolve()}  ")
    print(f"{machine()}  ")
    print(f"American put, S = {spot:g}, K = {STRIKE:g}, T = 1 year, r = 5% continuous, sigma = 20%, "
          "no dividends.\n")

    fine = {(transform, grid): price(spot, *grid, transform) for transform in TRANSFORMS for grid in (FINE, FINER)}
    ref = (4 * fine["sinh", FINER] - fine["sinh", FINE]) / 3
    print("| reference grid | sinh (alpha 0.3) | log |")
    print("|---|---|---|")
    for grid in (FINE, FINER):
        print(f"| {grid[0]} x {grid[1]} | {fine['sinh', grid]:.7f} | {fine['log', grid]:.7f} |")
    print(f"\nReference price (sinh, (4 x P({FINER[0]} x {FINER[1]}) - P({FINE[0]} x {FINE[1]})) / 3): "
          f"**{ref:.7f}**\n")

    settings = [(n, m, t) for n, m in CHOSEN for t in TRANSFORMS]
    if not args.no_matrix:
        settings += [(n, m, "sinh") for n in NODES for m in STEPS if (n, m) not in CHOSEN]
    results = measure(spot, settings, repeats)

    print("Error = price - reference; time = median per compute().\n")
    print("| nodes x steps | sinh 0.3: error | time | log: error | time |")
    print("|---|---|---|---|---|")
    for n, m in CHOSEN:
        label = f"{n} x {m}" + (" (default)" if (n, m) == (101, 10) else "")
        cells = []
        for transform in TRANSFORMS:
            value, t = results[n, m, transform]
            cells += [error(value, ref), seconds(t)]
        print(f"| {label} | " + " | ".join(cells) + " |")
    if args.no_matrix:
        return

    header = "| nodes \\ steps | " + " | ".join(str(m) for m in STEPS) + " |\n" + "|---" * (len(STEPS) + 1) + "|"
    print("\nPrice error, sinh transform (alpha 0.3):\n")
    print(header)
    for n in NODES:
        print(f"| {n} | " + " | ".join(error(results[n, m, "sinh"][0], ref) for m in STEPS) + " |")
    print("\nTime per compute(), sinh transform (alpha 0.3):\n")
    print(header)
    for n in NODES:
        print(f"| {n} | " + " | ".join(seconds(results[n, m, "sinh"][1]) for m in STEPS) + " |")
    print("\nPrice error against the sinh transform's alpha:\n")
    print("| alpha | " + " | ".join(f"{n} x {m}" for n, m in ALPHA_GRIDS) + " |")
    print("|---" * (len(ALPHA_GRIDS) + 1) + "|")
    for alpha in ALPHAS:
        print(f"| {alpha} | " + " | ".join(error(price(spot, n, m, alpha), ref) for n, m in ALPHA_GRIDS) + " |")


if __name__ == "__main__":
    main()
