"""What the right to exercise early is worth: American against European puts.

A European put can only be exercised at expiry; an American put at any time
before. The holder of an American put deep in the money does better to take
the strike now and earn interest on it than to wait, so the American put is
worth more: the difference is the early-exercise premium. Below a critical
spot the American put is worth exactly its exercise value K - S.

This example values a one-year put at a range of spots, the European one by
the closed form and the American one by finite differences on a finer grid
than the default, prints both with the premium and the exercise value, and
estimates the critical spot. With matplotlib installed it plots the values
against spot, with the payoff, and the premium (`--output-dir` chooses where
the PNG goes).
"""

import argparse
import importlib
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
EXPIRY = datetime(2026, 1, 2, 16, 0, tzinfo=NEW_YORK)
STRIKE = 100.0
RATE = 0.05
VOL = 0.25
SPOTS = [50.0 + 1.0 * i for i in range(101)]  # 50, 51, ..., 150
TABLE_EVERY = 5  # print every fifth spot
# The default grid (101 nodes x 10 steps) is coarse for locating the exercise
# boundary; this one prices in about a millisecond.
GRID_NODES, TIME_STEPS = 401, 400
FINE = Config().add_policy(InstrumentPolicy().american().fdm(FdmConfig(time_steps=TIME_STEPS, grid_nodes=GRID_NODES)))
# The American value counts as its exercise value when within this of it.
AT_EXERCISE = 1e-4


def sweep() -> list[tuple[float, float, float]]:
    """(spot, European, American) put values over SPOTS."""
    european = VanillaOption(STRIKE, EXPIRY, OptionType.Put, ExerciseStyle.European)
    american = VanillaOption(STRIKE, EXPIRY, OptionType.Put, ExerciseStyle.American)
    frame = OptionMarketFrame(SPOTS[0], RateCurve.continuous(RATE, ACT_365), VolSurface.flat(VOL, ACT_365))
    # Both builders keep a reference to the frame, so moving its spot moves
    # what they price next.
    closed_form = european.valuation().market(frame).at(VALUED_AT)
    finite_differences = american.valuation().market(frame).at(VALUED_AT).config(FINE)
    values: list[tuple[float, float, float]] = []
    for spot in SPOTS:
        frame.spot = spot
        values.append((spot, closed_form.compute().price, finite_differences.compute().price))
    return values


def critical_spot(values: list[tuple[float, float, float]]) -> float:
    """The highest spot of the sweep at which the American put is worth its
    exercise value: an estimate of the early-exercise boundary today."""
    return max(spot for spot, _, american in values if american - (STRIKE - spot) < AT_EXERCISE)


def report(values: list[tuple[float, float, float]], critical: float) -> None:
    print(f"Puts struck at {STRIKE:g}, rate {RATE:.0%} continuous, volatility {VOL:.0%}, "
          f"valued {VALUED_AT:%Y-%m-%d %H:%M %Z}, expiry {EXPIRY:%Y-%m-%d %H:%M %Z}")
    print(f"European by the closed form; American by finite differences ({GRID_NODES} nodes x {TIME_STEPS} steps)")
    print(f"  {'spot':>6} {'European':>10} {'American':>10} {'premium':>10} {'intrinsic':>10}")
    for spot, european, american in values[::TABLE_EVERY]:
        intrinsic = max(STRIKE - spot, 0.0)
        print(f"  {spot:6.1f} {european:10.4f} {american:10.4f} {american - european:10.4f} {intrinsic:10.4f}")

    # Deep in the money the European put is worth less than its exercise value
    # (the strike arrives only at expiry, discounted); the American one never is.
    below = [spot for spot, european, _ in values if european < STRIKE - spot]
    print(f"The European put is worth less than K - S at spots up to {max(below):g}.")
    print(f"Early exercise is optimal at spots up to about {critical:g}: "
          f"there the American put is worth K - S.")


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


def plot(output_dir: Path, values: list[tuple[float, float, float]], critical: float) -> None:
    plt = load_pyplot()
    if plt is None:
        return
    spots = [spot for spot, _, _ in values]
    european = [e for _, e, _ in values]
    american = [a for _, _, a in values]
    fig, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(8, 7), gridspec_kw={"height_ratios": (2, 1)})
    top.plot(spots, european, label="European (closed form)")
    top.plot(spots, american, label="American (finite differences)")
    top.plot(spots, [max(STRIKE - s, 0.0) for s in spots], color="0.3", linestyle="--", label="payoff K - S")
    for ax in (top, bottom):
        ax.axvline(critical, color="0.7", linestyle=":")
    top.annotate(f"exercise at once\nbelow S = {critical:g}", (critical, STRIKE - critical), xytext=(-95, -10),
                 textcoords="offset points", arrowprops={"arrowstyle": "->", "color": "0.5"})
    top.set_ylabel("put value")
    top.set_title(f"Put struck at {STRIKE:g}, one year, rate {RATE:.0%}, volatility {VOL:.0%}")
    top.legend()
    bottom.plot(spots, [a - e for a, e in zip(american, european)], color="C2")
    bottom.set_ylabel("early-exercise premium")
    bottom.set_xlabel("spot")
    output_dir.mkdir(parents=True, exist_ok=True)
    path = output_dir / "american_vs_european.png"
    fig.savefig(path, dpi=120, bbox_inches="tight")
    plt.close(fig)
    print(f"Wrote {path}")


def main(argv: Sequence[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0] if __doc__ else None)
    parser.add_argument("--output-dir", type=Path, default=Path("."),
                        help="directory for the PNG (default: the current directory)")
    args = parser.parse_args(argv)
    values = sweep()
    critical = critical_spot(values)
    report(values, critical)
    plot(args.output_dir, values, critical)


if __name__ == "__main__":
    main()
