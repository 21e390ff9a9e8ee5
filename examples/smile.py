"""A volatility smile recovered from option prices.

Listed options are quoted as prices, and traders read each price back as the
volatility that reproduces it: the implied volatility. Across strikes these
volatilities are not flat; equity markets show a skew, with low strikes
(crash protection) quoted at higher volatilities than high strikes.

This example assumes such a skew, prices a strip of European options from it
with the closed form, then solves every price back to its implied volatility
and checks that the skew comes out as it went in. It then quotes American puts
from the same skew (finite differences) and shows what goes wrong when their
prices are read with the European formula. With matplotlib installed it plots
implied volatility against strike (`--output-dir` chooses where the PNG goes).
"""

import argparse
import importlib
import math
from collections.abc import Sequence
from datetime import datetime
from pathlib import Path
from typing import Any
from zoneinfo import ZoneInfo

from vorel import (
    Config,
    DayCountConvention,
    ExerciseStyle,
    FdmConfig,
    InstrumentPolicy,
    OptionMarketFrame,
    OptionType,
    RateCurve,
    VanillaOption,
    VolSurface,
)

NEW_YORK = ZoneInfo("America/New_York")
ACT_365 = DayCountConvention.ACT_365_FIXED
VALUED_AT = datetime(2025, 1, 2, 16, 0, tzinfo=NEW_YORK)
EXPIRY = datetime(2025, 7, 2, 16, 0, tzinfo=NEW_YORK)
SPOT = 100.0
RATE = 0.04
STRIKES = [70.0 + 5.0 * i for i in range(13)]  # 70, 75, ..., 130
# American puts far in the money are worth their exercise value at any
# volatility, so their prices carry no volatility to recover; stop at 110.
AMERICAN_STRIKES = [k for k in STRIKES if k <= 110.0]
# A finer finite-difference grid than the default 101 nodes x 10 steps: the
# early-exercise premium of an out-of-the-money put is a few cents, and the
# exercise boundary needs small time steps to be resolved that well.
GRID_NODES, TIME_STEPS = 401, 400
FINE = Config().add_policy(InstrumentPolicy().american().fdm(FdmConfig(time_steps=TIME_STEPS, grid_nodes=GRID_NODES)))


def skew(strike: float, forward: float) -> float:
    """The volatility the market is assumed to quote at a strike: a quadratic in
    log-moneyness ln(K/F), falling with strike and curving up at the wings."""
    x = math.log(strike / forward)
    return 0.22 - 0.12 * x + 0.20 * x * x


def european_strip(frame: OptionMarketFrame, forward: float) -> list[tuple[float, float]]:
    """Prices the out-of-the-money European option at every strike and solves
    each price back to a volatility. Returns (strike, implied vol) pairs."""
    print("European options, closed form. Out-of-the-money quotes: puts below the forward, calls above.")
    print(f"  {'strike':>7}  {'type':<4} {'quote':>9} {'input vol':>11} {'implied vol':>12} {'difference':>11}")
    recovered: list[tuple[float, float]] = []
    for strike in STRIKES:
        kind = OptionType.Put if strike < forward else OptionType.Call
        option = VanillaOption(strike, EXPIRY, kind, ExerciseStyle.European)
        # The surface is flat, so each strike gets its own: the frame's setter
        # replaces what the next pricing sees.
        vol = skew(strike, forward)
        frame.vol_surface = VolSurface.flat(vol, ACT_365)
        quote = option.valuation().market(frame).at(VALUED_AT).compute().price
        implied = option.implied_vol().market(frame).at(VALUED_AT).price(quote).calculate()
        recovered.append((strike, implied))
        name = "put" if kind is OptionType.Put else "call"
        print(f"  {strike:7.1f}  {name:<4} {quote:9.4f} {vol:11.4%} {implied:12.4%} {implied - vol:+11.1e}")
    largest = max(abs(implied - skew(strike, forward)) for strike, implied in recovered)
    # The solver stops once the price is matched to 0.0001, so the volatility
    # comes back to within that over the option's vega.
    print(f"Largest |implied - input| over the strip: {largest:.1e}")
    return recovered


def american_puts(frame: OptionMarketFrame, forward: float) -> tuple[list[float], list[float]]:
    """Quotes American puts from the same skew and solves each quote twice: with
    the American engine that priced it, and as if it were a European put.
    Returns the two lists of implied vols, strike by strike."""
    print(f"\nAmerican puts, finite differences ({GRID_NODES} nodes x {TIME_STEPS} steps), quoted from the same skew")
    print(f"  {'strike':>7} {'quote':>9} {'input vol':>11} {'as American':>12} {'as European':>12}")
    as_american: list[float] = []
    as_european: list[float] = []
    for strike in AMERICAN_STRIKES:
        american = VanillaOption(strike, EXPIRY, OptionType.Put, ExerciseStyle.American)
        european = VanillaOption(strike, EXPIRY, OptionType.Put, ExerciseStyle.European)
        vol = skew(strike, forward)
        frame.vol_surface = VolSurface.flat(vol, ACT_365)
        quote = american.valuation().market(frame).at(VALUED_AT).config(FINE).compute().price
        # The configuration decides the engine, for pricing and solving alike.
        as_american.append(american.implied_vol().market(frame).at(VALUED_AT).config(FINE).price(quote).calculate())
        as_european.append(european.implied_vol().market(frame).at(VALUED_AT).price(quote).calculate())
        print(f"  {strike:7.1f} {quote:9.4f} {vol:11.4%} {as_american[-1]:12.4%} {as_european[-1]:12.4%}")
    largest = max(abs(v - skew(k, forward)) for k, v in zip(AMERICAN_STRIKES, as_american))
    print(f"Largest |implied - input| solved as American: {largest:.1e}")
    # The right to exercise early is worth something, most for puts in the
    # money; the European formula has no term for it and credits it to
    # volatility instead.
    print("Read as European, the early-exercise premium shows up as extra volatility.")
    return as_american, as_european


def load_pyplot() -> Any | None:
    """matplotlib's pyplot on the file-only Agg backend, or None when matplotlib
    is not installed. Loaded by name, so this file needs no matplotlib to run."""
    try:
        matplotlib = importlib.import_module("matplotlib")
    except ImportError:
        print("Plot skipped: matplotlib is not installed (pip install matplotlib).")
        return None
    matplotlib.use("Agg")
    return importlib.import_module("matplotlib.pyplot")


def plot(output_dir: Path, forward: float, european: list[tuple[float, float]],
         as_american: list[float], as_european: list[float]) -> None:
    plt = load_pyplot()
    if plt is None:
        return
    fig, ax = plt.subplots(figsize=(8, 5))
    fine = [65.0 + 0.5 * i for i in range(141)]
    ax.plot(fine, [100 * skew(k, forward) for k in fine], color="0.6", label="input skew")
    ax.plot([k for k, _ in european], [100 * v for _, v in european], "o", label="implied, European (closed form)")
    ax.plot(AMERICAN_STRIKES, [100 * v for v in as_american], "s", mfc="none", label="implied, American (finite differences)")
    ax.plot(AMERICAN_STRIKES, [100 * v for v in as_european], "^", label="American quotes read as European")
    ax.axvline(forward, color="0.8", linestyle=":", label=f"forward {forward:.2f}")
    ax.set_xlabel("strike")
    ax.set_ylabel("implied volatility (%)")
    ax.set_title(f"Implied volatility smile, spot {SPOT:g}, expiry {EXPIRY:%Y-%m-%d}")
    ax.legend()
    output_dir.mkdir(parents=True, exist_ok=True)
    path = output_dir / "smile.png"
    fig.savefig(path, dpi=120, bbox_inches="tight")
    plt.close(fig)
    print(f"Wrote {path}")


def main(argv: Sequence[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0] if __doc__ else None)
    parser.add_argument("--output-dir", type=Path, default=Path("."),
                        help="directory for the PNG (default: the current directory)")
    args = parser.parse_args(argv)

    frame = OptionMarketFrame(SPOT, RateCurve.continuous(RATE, ACT_365), VolSurface.flat(0.2, ACT_365))
    years = VanillaOption(100.0, EXPIRY, OptionType.Call, ExerciseStyle.European).years_to_expiry(VALUED_AT)
    # Moneyness is measured against the forward: the price at which the stock
    # can be bought at expiry today (no dividends, so spot grown at the rate).
    forward = SPOT * math.exp(RATE * years)
    print(f"Spot {SPOT:g}, rate {RATE:.0%} continuous, valued {VALUED_AT:%Y-%m-%d %H:%M %Z}, "
          f"expiry {EXPIRY:%Y-%m-%d %H:%M %Z} ({years:.4f} years), forward {forward:.4f}\n")

    european = european_strip(frame, forward)
    as_american, as_european = american_puts(frame, forward)
    plot(args.output_dir, forward, european, as_american, as_european)


if __name__ == "__main__":
    main()
