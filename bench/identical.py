"""Checks that speed work leaves every result bit-for-bit identical.

    python bench/identical.py --write FILE   record the results of this build
    python bench/identical.py --check FILE   compare this build's results with a record
    python bench/identical.py --batch        only compare vorel.batch with the object API

Both record modes then check that vorel.batch gives every element of whole chains the bits the object
API gives that option alone, on every level of vector kernels this processor has (VOREL_SIMD).

The results cover both engines (prices and all Greeks) over option kinds, spots, volatilities,
rates, transforms, grid sizes and dividend schedules, and implied volatilities by both
methods. Floats are compared by their exact hexadecimal form.
"""

from __future__ import annotations

import argparse
import json
import os
import subprocess
import sys
from datetime import datetime, timedelta, timezone
from itertools import product
from pathlib import Path

from vorel import (Config, DayCountConvention, DividendSchedule, ExerciseStyle, FdmConfig, InstrumentPolicy,
                   OptionMarketFrame, OptionType, RateCurve, TransformConfig, VanillaOption, VolSurface)

ACT_365 = DayCountConvention.ACT_365_FIXED
VALUED = datetime(2026, 1, 15, 16, tzinfo=timezone.utc)


def text(value) -> str:
    return "None" if value is None else float(value).hex()


def valuation_cases():
    grids = [FdmConfig(), FdmConfig(25, 201), FdmConfig(7, 51, 3.0, TransformConfig.log()),
             FdmConfig(10, 101, None, TransformConfig.sinh(0.1))]
    schedules = [[], [(75, 1.5)], [(40, 1.0), (200, 2.0), (200, 5.0)]]
    for style, kind, spot, sigma, (r, q), days, grid, divs in product(
            (ExerciseStyle.European, ExerciseStyle.American), (OptionType.Put, OptionType.Call),
            (60.0, 97.0, 100.0, 125.0, 400.0), (0.05, 0.3), ((0.05, 0.0), (0.01, 0.04)), (30, 365),
            range(len(grids)), range(len(schedules))):
        if style == ExerciseStyle.American and kind == OptionType.Call and q > r:
            continue  # refused by the closed-form route; priced by finite differences below
        yield style, kind, spot, sigma, r, q, days, grid, grids[grid], schedules[divs]


def frame(spot, sigma, r, q, dividends):
    return OptionMarketFrame(spot, RateCurve.continuous(r, ACT_365), VolSurface.flat(sigma, ACT_365),
                             DividendSchedule([(VALUED + timedelta(days=d), a) for d, a in dividends]),
                             RateCurve.continuous(q, ACT_365))


def results() -> dict[str, str]:
    out = {}
    for style, kind, spot, sigma, r, q, days, g_index, grid, divs in valuation_cases():
        option = VanillaOption(100.0, VALUED + timedelta(days=days), kind, style)
        market = frame(spot, sigma, r, q, divs)
        configs = {"default": None, "fdm": Config().add_policy(InstrumentPolicy().fdm(grid))}
        for name, config in configs.items():
            builder = option.valuation().market(market).at(VALUED)
            if config is not None:
                builder.config(config)
            result = builder.compute()
            g = result.greeks
            key = f"{style!r} {kind!r} S={spot} vol={sigma} r={r} q={q} days={days} grid{g_index} divs={divs} {name}"
            out[key] = " ".join(text(v) for v in (result.price, g.delta, g.gamma, g.theta, g.vega, g.rho))
    for style, kind, target in product((ExerciseStyle.European, ExerciseStyle.American),
                                       (OptionType.Put, OptionType.Call), (3.0, 8.0, 15.0)):
        option = VanillaOption(100.0, VALUED + timedelta(days=365), kind, style)
        for name, config in (("default", Config()), ("fdm", Config().add_policy(InstrumentPolicy().fdm()))):
            solved = option.implied_vol().market(frame(100.0, 0.2, 0.05, 0.0, [(100, 1.0)])).at(VALUED)
            try:
                value = text(solved.price(target).config(config).calculate())
            except ValueError as error:
                value = str(error)
            out[f"implied {style!r} {kind!r} {target} {name}"] = value
    return out


def batch_mismatches() -> tuple[int, list[str]]:
    """Chains of every kind valued by vorel.batch, element by element against the object API."""
    import numpy as np
    from vorel import batch

    strikes = [55.0, 80.0, 97.5, 100.0, 103.0, 130.0, 190.0]
    days = [1, 9, 30, 75, 76, 180, 365, 800]
    kinds = (OptionType.Call, OptionType.Put)
    styles = (ExerciseStyle.American, ExerciseStyle.European)
    elements = [(k, VALUED + timedelta(days=d, hours=h), kind, style)
                for (k, d, h), kind, style in product(product(strikes, days, (0, 5)), kinds, styles)]
    options = [VanillaOption(*element) for element in elements]
    strike = np.array([e[0] for e in elements])
    expiry = np.array([e[1].replace(tzinfo=None) for e in elements], dtype="datetime64[us]")
    codes = np.array([int(e[2]) for e in elements]), np.array([int(e[3]) for e in elements])
    grids = [None, FdmConfig(10, 101), FdmConfig(7, 51, 3.0, TransformConfig.log()),
             FdmConfig(25, 201, None, TransformConfig.sinh(0.1))]
    compared, differing = 0, []
    for (spot, sigma, r, q), divs, grid in product(((100.0, 0.25, 0.04, 0.01), (97.0, 0.6, 0.01, 0.04)),
                                                   ([], [(75, 1.5)], [(40, 1.0), (200, 2.0)]), grids):
        market = frame(spot, sigma, r, q, divs)
        config = Config() if grid is None else Config().add_policy(InstrumentPolicy().american().fdm(grid))
        valued = batch.value(strike, expiry, *codes, market, at=VALUED, config=config)
        fields = (valued.price, valued.delta, valued.gamma, valued.theta, valued.vega, valued.rho)
        for i, option in enumerate(options):
            try:
                result = option.valuation().market(market).at(VALUED).config(config).compute()
            except ValueError:
                continue  # refused alone; its status says so in the batch
            g = result.greeks
            alone = " ".join(text(v) for v in (result.price, g.delta, g.gamma, g.theta, g.vega, g.rho))
            together = " ".join("None" if np.isnan(f[i]) and v is None else float(f[i]).hex()
                                for f, v in zip(fields, (result.price, g.delta, g.gamma, g.theta, g.vega, g.rho)))
            compared += 1
            if alone != together:
                differing.append(f"{option!r} spot={spot} divs={divs} grid={grid}\n  alone    {alone}\n"
                                 f"  in batch {together}")
    return compared, differing


def check_batch_on_every_level() -> bool:
    """Runs the batch comparison under each level of vector kernels, each in a process of its own."""
    levels = ["portable", "avx2", "avx512"]
    ok = True
    for level in levels:
        env = dict(os.environ, VOREL_SIMD=level)
        run = subprocess.run([sys.executable, __file__, "--batch"], env=env, capture_output=True, text=True)
        print(f"VOREL_SIMD={level}: {run.stdout.strip()}")
        ok = ok and run.returncode == 0
    return ok


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    group = parser.add_mutually_exclusive_group(required=True)
    group.add_argument("--write", type=Path)
    group.add_argument("--check", type=Path)
    group.add_argument("--batch", action="store_true")
    args = parser.parse_args()
    if args.batch:
        compared, differing = batch_mismatches()
        for line in differing[:10]:
            print(line)
        print(f"{compared - len(differing)} of {compared} batch elements identical to the object API")
        sys.exit(1 if differing else 0)
    now = results()
    if args.write:
        args.write.write_text(json.dumps(now, indent=0) + "\n")
        print(f"{len(now)} results written to {args.write}")
        sys.exit(0 if check_batch_on_every_level() else 1)
    recorded = json.loads(args.check.read_text())
    differing = [key for key in recorded if now.get(key) != recorded[key]]
    for key in differing[:20]:
        print(f"{key}\n  recorded {recorded[key]}\n  now      {now.get(key)}")
    print(f"{len(recorded) - len(differing)} of {len(recorded)} results identical")
    batch_ok = check_batch_on_every_level()
    sys.exit(1 if differing or len(now) != len(recorded) or not batch_ok else 0)


if __name__ == "__main__":
    main()
