"""Per-call timings of vorel's public surface, and instruction counts of its engines.

    python bench/bench.py                   time every case, print the table, write bench/results.json
    python bench/bench.py --compare OLD     the same, with the figures of an earlier results file beside them
    python bench/bench.py --callgrind       instruction counts of the engines under valgrind's callgrind
                                            (written to bench/results-callgrind.json; --compare works too)

Each timing is the median over repeated batches of the time per call, and is also
given as a ratio to the floor, a trivial call into the module (int(OptionType.Call))
timed in a batch beside each batch of the case, so that runs on different (or busy)
machines can be compared.
The callgrind mode needs an extension with its symbol table (not stripped): `make
bench-callgrind` builds one.
"""

from __future__ import annotations

import argparse
import json
import os
import platform
import re
import statistics
import subprocess
import sys
import tempfile
import timeit
from datetime import date, datetime, timedelta, timezone
from pathlib import Path

import vorel
from vorel import (Config, DayCountConvention, DividendSchedule, ExerciseStyle, FdmConfig, InstrumentPolicy,
                   InterestRate, Compounding, OptionMarketFrame, OptionType, PeriodCalculator, RateCurve, Tenor,
                   VanillaOption, VolSurface)

HERE = Path(__file__).resolve().parent
ACT_365 = DayCountConvention.ACT_365_FIXED
UTC = timezone.utc
VALUED = datetime(2026, 1, 15, 16, tzinfo=UTC)
EXPIRY = VALUED + timedelta(days=365)


def fdm_config(nodes: int, steps: int) -> Config:
    return Config().add_policy(InstrumentPolicy().american().fdm(FdmConfig(steps, nodes)))


def namespace() -> dict:
    """The objects the timed statements use, prepared once."""
    frame = OptionMarketFrame(100.0, RateCurve.continuous(0.05, ACT_365), VolSurface.flat(0.2, ACT_365))
    european = VanillaOption(100.0, EXPIRY, OptionType.Call, ExerciseStyle.European)
    american = VanillaOption(100.0, EXPIRY, OptionType.Put, ExerciseStyle.American)
    rates = [InterestRate(0.03 + 0.002 * i, Compounding.continuous(), ACT_365) for i in range(10)]
    return {
        "kind": OptionType.Call,
        "frame": frame,
        "curve": frame.rate_curve,
        "european": european,
        "at": VALUED,
        "prepared": european.valuation().market(frame).at(VALUED),
        "american": american.valuation().market(frame).at(VALUED),
        "american_fine": american.valuation().market(frame).at(VALUED).config(fdm_config(801, 800)),
        "european_iv": european.implied_vol().market(frame).at(VALUED).price(10.0),
        "american_iv": american.implied_vol().market(frame).at(VALUED).price(7.0),
        "year_fraction": PeriodCalculator.year_fraction,
        "act_365": ACT_365,
        "expiry": EXPIRY,
        "interpolated": RateCurve.interpolated,
        "today": date(2026, 1, 15),
        "tenors": [Tenor.years(i + 1) for i in range(10)],
        "rates": rates,
        "schedule": DividendSchedule,
        "entries": [(VALUED + timedelta(days=3 * i), 0.1) for i in range(100)],
    }


# (name, statement); the first is the floor.
CASES = [
    ("floor: int(OptionType.Call)", "int(kind)"),
    ("European compute, prepared builder", "prepared.compute()"),
    ("European compute, whole chain", "european.valuation().market(frame).at(at).compute()"),
    ("American put compute, 101 x 10", "american.compute()"),
    ("American put compute, 801 x 800", "american_fine.compute()"),
    ("European calculate (closed form)", "european_iv.calculate()"),
    ("American put calculate, 101 x 10", "american_iv.calculate()"),
    ("PeriodCalculator.year_fraction", "year_fraction(at, expiry, act_365)"),
    ("RateCurve.interpolated, 10 pillars", "interpolated(today, tenors, rates)"),
    ("DividendSchedule, 100 entries", "schedule(entries)"),
    ("OptionMarketFrame.spot get", "frame.spot"),
    ("OptionMarketFrame.spot set", "frame.spot = 100.0"),
    ("OptionMarketFrame.rate_curve get", "frame.rate_curve"),
    ("OptionMarketFrame.rate_curve set", "frame.rate_curve = curve"),
]


def batch_size(timer: timeit.Timer, batch_seconds: float) -> int:
    """Calls per batch for a batch of about `batch_seconds`."""
    number = 1
    while True:
        elapsed = timer.timeit(number)
        if elapsed >= batch_seconds / 4 or number >= 1 << 24:
            break
        number *= 4 if elapsed < batch_seconds / 40 else 2
    return max(1, round(number * batch_seconds / max(elapsed, 1e-9)))


def run_timings(repeats: int, batch_seconds: float) -> dict:
    """Each case runs in `repeats` batches, each batch right after a batch of the floor: a case's time is the
    median over its batches, its ratio the median of the ratios to the floor batch beside it, so that a
    machine speeding up or slowing down during the run moves both alike."""
    ns = namespace()
    floor = timeit.Timer(CASES[0][1], globals=ns)
    floor_number = batch_size(floor, batch_seconds)
    rows = []
    for name, statement in CASES:
        exec(statement, ns)  # warm-up, and a check that it runs
        timer = timeit.Timer(statement, globals=ns)
        number = batch_size(timer, batch_seconds)
        times, ratios = [], []
        for _ in range(repeats):
            beside = floor.timeit(floor_number) / floor_number
            times.append(timer.timeit(number) / number)
            ratios.append(times[-1] / beside)
        rows.append({"name": name, "statement": statement, "seconds": statistics.median(times),
                     "ratio": statistics.median(ratios)})
    return {"machine": platform.machine(), "python": platform.python_version(), "rows": rows}


def format_time(seconds: float) -> str:
    if seconds >= 1e-3:
        return f"{seconds * 1e3:.3f} ms"
    return f"{seconds * 1e6:.3f} us"


def print_timings(results: dict, earlier: dict | None) -> None:
    before = {row["name"]: row for row in earlier["rows"]} if earlier else {}
    header = f"{'call':<42}{'time':>14}{'x floor':>10}"
    if before:
        header += f"{'before':>14}{'x floor':>10}{'speed-up':>10}"
    print(header)
    for row in results["rows"]:
        line = f"{row['name']:<42}{format_time(row['seconds']):>14}{row['ratio']:>10.2f}"
        old = before.get(row["name"])
        if old:
            line += f"{format_time(old['seconds']):>14}{old['ratio']:>10.2f}{old['ratio'] / row['ratio']:>9.2f}x"
        print(line)
    ratio = {row["name"]: row["ratio"] for row in results["rows"]}
    compute = ratio["European compute, prepared builder"]
    print(f"\nEuropean compute / floor: {compute:.2f} (target <= 3)")
    print(f"European calculate / European compute: {ratio['European calculate (closed form)'] / compute:.2f} "
          f"(target <= 15)")


# --- callgrind -------------------------------------------------------------------------------------------

# Counts are of the engine alone: the making of the pricer (dates, settings) and its pricing at one
# volatility, not the market look-ups or the bindings.
ENGINE = "vorel::Pricer::*"
# (name, option, nodes, steps, calls)
COUNTED = [
    ("closed form, European call", "european", 0, 0, 1000),
    ("American put, 101 x 10", "american", 101, 10, 100),
    ("American put, 101 x 20", "american", 101, 20, 100),
    ("American put, 801 x 400", "american", 801, 400, 1),
    ("American put, 801 x 800", "american", 801, 800, 1),
]


def run_counted_case(index: int) -> None:
    """The child of --callgrind: one case, its engine counted by callgrind."""
    _, which, nodes, steps, calls = COUNTED[index]
    style = ExerciseStyle.European if which == "european" else ExerciseStyle.American
    kind = OptionType.Call if which == "european" else OptionType.Put
    option = VanillaOption(100.0, EXPIRY, kind, style)
    frame = OptionMarketFrame(100.0, RateCurve.continuous(0.05, ACT_365), VolSurface.flat(0.2, ACT_365))
    builder = option.valuation().market(frame).at(VALUED)
    if nodes:
        builder.config(fdm_config(nodes, steps))
    for _ in range(calls):
        builder.compute()


def count_instructions(index: int) -> int:
    name = COUNTED[index][0]
    with tempfile.TemporaryDirectory() as tmp:
        out = Path(tmp) / "callgrind.out"
        command = ["valgrind", "--tool=callgrind", "--collect-atstart=no", f"--toggle-collect={ENGINE}",
                   f"--callgrind-out-file={out}", sys.executable, __file__, "--counted-case", str(index)]
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        match = re.search(r"^(?:summary|totals):\s*(\d+)", out.read_text(), re.MULTILINE)
    if not match or int(match.group(1)) == 0:
        sys.exit(f"callgrind counted nothing in {ENGINE} for {name}: is the extension stripped?")
    return int(match.group(1))


def per_node_step(row: dict) -> str:
    return f"{row['instructions'] / (row['nodes'] * row['steps']):.1f}" if row["nodes"] else "-"


def run_callgrind() -> dict:
    counts = {}
    for index, (name, _, nodes, steps, calls) in enumerate(COUNTED):
        counts[name] = {"instructions": count_instructions(index) / calls, "nodes": nodes, "steps": steps}
    return counts


def print_callgrind(counts: dict, earlier: dict | None) -> None:
    header = f"{'engine, per pricing':<34}{'instructions':>16}{'per node-step':>16}"
    print(header + (f"{'before':>16}{'per node-step':>16}" if earlier else ""))
    for name, row in counts.items():
        line = f"{name:<34}{row['instructions']:>16,.0f}{per_node_step(row):>16}"
        if earlier and name in earlier:
            line += f"{earlier[name]['instructions']:>16,.0f}{per_node_step(earlier[name]):>16}"
        print(line)
    fine, half = counts["American put, 801 x 800"], counts["American put, 801 x 400"]
    marginal = (fine["instructions"] - half["instructions"]) / (801 * 400)
    print(f"\n801 x 800: {fine['instructions'] / (801 * 800):.1f} instructions per node-step in all, "
          f"{marginal:.1f} per added node-step (target <= 80)")
    # Ten more steps cost what ten steps cost; the rest of a 101 x 10 pricing is set-up and read-out.
    ten, twenty = counts["American put, 101 x 10"]["instructions"], counts["American put, 101 x 20"]["instructions"]
    fixed = 2 * ten - twenty
    print(f"101 x 10: set-up and read-out {fixed:,.0f} of {ten:,.0f} instructions, {fixed / ten:.1%} "
          f"(target <= 25%)")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--callgrind", action="store_true", help="count engine instructions under callgrind")
    parser.add_argument("--counted-case", type=int, help=argparse.SUPPRESS)
    parser.add_argument("--compare", type=Path, help="an earlier results file to show beside this run")
    parser.add_argument("--output", type=Path, default=HERE / "results.json", help="where to write the results")
    parser.add_argument("--repeats", type=int, default=15, help="batches per case (default 15)")
    parser.add_argument("--batch", type=float, default=0.02, help="seconds per batch (default 0.02)")
    args = parser.parse_args()

    if args.counted_case is not None:
        run_counted_case(args.counted_case)
        return
    print(f"vorel from {Path(vorel.__file__).resolve()}")
    if args.callgrind:
        counts = run_callgrind()
        print_callgrind(counts, json.loads(args.compare.read_text()) if args.compare else None)
        output = args.output.with_name(args.output.stem + "-callgrind.json")
        output.write_text(json.dumps(counts, indent=2) + "\n")
        print(f"\nwritten to {os.path.relpath(output)}")
        return
    earlier = json.loads(args.compare.read_text()) if args.compare else None
    results = run_timings(args.repeats, args.batch)
    print_timings(results, earlier)
    args.output.write_text(json.dumps(results, indent=2) + "\n")
    print(f"\nwritten to {os.path.relpath(args.output)}")


if __name__ == "__main__":
    main()
