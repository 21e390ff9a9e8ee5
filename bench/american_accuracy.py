"""Accuracy of American prices across regimes, against an independent reference.

    python bench/american_accuracy.py              the tables, in Markdown (references from the cache)
    python bench/american_accuracy.py --refresh    recompute every reference (a few minutes on 2 cores)
    python bench/american_accuracy.py --worst 10   also list the ten worst cases of each grid
    python bench/american_accuracy.py --grids 101x10,801x800 --no-peer

Run it against a Release build: `make bench-accuracy` builds one and runs this. The first line
printed names the extension that was loaded.

The cases, all with strike 100:
- 320 American puts and calls drawn once from a fixed seed over spot 50 to 200, 1 day to 5 years,
  volatility 5% to 100%, rate -2% to 10% and yield 0 to 11% (continuous), each put in a regime by
  its rate and yield; and the 96 corners of that box;
- 80 options, American and European, on a stock paying one to four cash dividends;
- dividends of 40, 99 and 150 on a spot of 100, as large as the spot's distance to the grid's
  bottom or larger.

The reference is a binomial tree written here, independently of the engine: its nodes drift with
the forward (so the branch probabilities stay near one half whatever the rate and yield), its
last step is the closed form (which removes the payoff's kink from the lattice), a cash dividend
maps values across its level by interpolation, and two depths, 4000 and 8000 steps, are
extrapolated (2 P(8000) - P(4000)). It reproduces the closed form to about 1e-6 on European
options and QuantLib's high-precision American engine to about 1e-4. References are kept in
`bench/american_reference.json`, keyed by the case, and computed again with --refresh or when a
case is missing.

When the QuantLib package is installed (`pip install QuantLib`; never needed otherwise), its
high-precision American engine is compared with the tree, and its finite-difference engine is
priced on the same grids (nodes x steps) beside vorel's.

Counted per grid: prices below the exercise value max(phi (S - K), 0); American prices below the
European price of the same grid (vorel's finite-difference European) by more than 1e-3; unsound
prices (below the exercise value, or a put above the strike, or a call above the spot). Times are
per pricing through a prepared builder, the median over the cases.
"""

from __future__ import annotations

import argparse
import json
import math
import os
import random
import statistics
import sys
import time
from concurrent.futures import ProcessPoolExecutor
from datetime import datetime, timedelta, timezone
from pathlib import Path

import numpy as np

HERE = Path(__file__).resolve().parent
CACHE = HERE / "american_reference.json"
STRIKE = 100.0
SEED = 20261207
RANDOM_CASES = 320
GRIDS = ((101, 10), (201, 50), (801, 800))
TREE_STEPS = 4000
DIVIDEND_CASES = 80
LARGE_DIVIDENDS = (40.0, 99.0, 150.0)


# --- cases ---------------------------------------------------------------------------------------------

def draw_cases() -> list[dict]:
    rng = random.Random(SEED)
    cases = []
    for i in range(RANDOM_CASES):
        # Two cases in three uniform in days and volatility, the third log-uniform (more short-dated and
        # low-volatility cases).
        uniform = i % 3 != 2
        days = rng.randint(1, 5 * 365) if uniform else round(math.exp(rng.uniform(0.0, math.log(5 * 365.0))))
        vol = rng.uniform(0.05, 1.0) if uniform else math.exp(rng.uniform(math.log(0.05), math.log(1.0)))
        cases.append({
            "call": i % 2 == 0,
            "spot": round(STRIKE * math.exp(rng.uniform(math.log(0.5), math.log(2.0))), 4),
            "years": days / 365.0,
            "vol": round(vol, 4),
            "r": round(rng.uniform(-0.02, 0.10), 4),
            "q": round(rng.uniform(0.0, 0.11), 4),
        })
    for call in (True, False):
        for spot in (50.0, 100.0, 200.0):
            for years in (1 / 365, 5 * 365 / 365):
                for vol in (0.05, 1.0):
                    for r, q in ((0.10, 0.0), (-0.02, 0.11), (0.0, 0.05), (0.05, 0.05)):
                        cases.append({"call": call, "spot": spot, "years": years, "vol": vol,
                                      "r": r, "q": q, "corner": True})
    return cases


def draw_dividend_cases() -> list[dict]:
    """Options on a stock that pays one to four cash dividends (and no yield), American and European; then
    dividends as large as the spot's distance to the grid's bottom or larger."""
    rng = random.Random(SEED + 1)
    cases = []
    for i in range(DIVIDEND_CASES):
        days = rng.randint(60, 3 * 365)
        count = rng.randint(1, 4)
        ex_days = sorted(rng.sample(range(5, days - 5), count))
        cases.append({
            "call": i % 2 == 0,
            "american": i % 4 < 3,
            "spot": round(STRIKE * math.exp(rng.uniform(math.log(0.7), math.log(1.4))), 4),
            "years": days / 365.0,
            "vol": round(rng.uniform(0.1, 0.6), 4),
            "r": round(rng.uniform(0.0, 0.08), 4),
            "q": 0.0,
            "dividends": [(d, round(rng.uniform(0.5, 3.0), 2)) for d in ex_days],
        })
    for call in (True, False):
        for amount in LARGE_DIVIDENDS:
            for american in (True, False):
                cases.append({"call": call, "american": american, "spot": 100.0, "years": 1.0, "vol": 0.2,
                              "r": 0.05, "q": 0.0, "dividends": [(182, amount)], "large": True})
    return cases


def regime(case: dict) -> str:
    if case.get("large"):
        return "dividend at least the spot's distance to the grid's bottom"
    if case.get("dividends"):
        return "American, cash dividends" if case.get("american", True) else "European, cash dividends"
    if case.get("corner"):
        return "corners of the box"
    kind = "call" if case["call"] else "put"
    r, q = case["r"], case["q"]
    if r < 0:
        return f"{kind}, r < 0"
    if case["call"]:
        return "call, q > r" if q > r else "call, q <= r"
    return "put, r > q" if r > q else "put, r <= q"


def key(case: dict) -> str:
    text = "{} S={} T={} vol={} r={} q={}".format("call" if case["call"] else "put", case["spot"], case["years"],
                                                  case["vol"], case["r"], case["q"])
    if not case.get("american", True):
        text = "European " + text
    if case.get("dividends"):
        text += " dividends=" + ",".join(f"{d}d:{a}" for d, a in case["dividends"])
    return text


def intrinsic(case: dict) -> float:
    if not case.get("american", True):
        return 0.0
    return max(case["spot"] - STRIKE if case["call"] else STRIKE - case["spot"], 0.0)


def sound(case: dict, price: float) -> bool:
    """Within the bounds any price must keep: at least the exercise value, a put at most the strike (for
    r >= 0) and a call at most the spot."""
    ceiling = case["spot"] if case["call"] else STRIKE
    return intrinsic(case) <= price <= ceiling


# --- the reference tree --------------------------------------------------------------------------------

def _norm_cdf(x: np.ndarray) -> np.ndarray:
    return 0.5 * np.frompyfunc(math.erfc, 1, 1)(-x / math.sqrt(2.0)).astype(float)


def _european(spot: np.ndarray, years: float, vol: float, r: float, q: float, call: bool) -> np.ndarray:
    sd = vol * math.sqrt(years)
    d1 = (np.log(spot / STRIKE) + (r - q + 0.5 * vol * vol) * years) / sd
    d2 = d1 - sd
    if call:
        return spot * math.exp(-q * years) * _norm_cdf(d1) - STRIKE * math.exp(-r * years) * _norm_cdf(d2)
    return STRIKE * math.exp(-r * years) * _norm_cdf(-d2) - spot * math.exp(-q * years) * _norm_cdf(-d1)


def _interpolate(s: np.ndarray, v: np.ndarray, at: np.ndarray) -> np.ndarray:
    """v(s) at `at`: four-point Lagrange in log spot between the nodes (s increasing), straight lines in spot
    beyond the ends (at zero spot too)."""
    x, where = np.log(s), np.log(np.maximum(at, s[0]))
    k = np.clip(np.searchsorted(x, where) - 2, 0, len(x) - 4)
    out = np.zeros_like(at)
    for j in range(4):
        weight = np.ones_like(at)
        for m in range(4):
            if m != j:
                weight *= (where - x[k + m]) / (x[k + j] - x[k + m])
        out += weight * v[k + j]
    low, high = at < s[0], at > s[-1]
    out[low] = v[0] + (at[low] - s[0]) * (v[1] - v[0]) / (s[1] - s[0])
    out[high] = v[-1] + (at[high] - s[-1]) * (v[-1] - v[-2]) / (s[-1] - s[-2])
    return out


def tree(case: dict, steps: int) -> float:
    """A price on a binomial tree whose nodes drift with the forward, closed form at the last step.

    A cash dividend D at its nearest level maps the values just after it, V(S), to the values just
    before it, V(max(S - D, 0)), by interpolation across that level's nodes in log spot.
    """
    s0, years, vol, r, q, call = case["spot"], case["years"], case["vol"], case["r"], case["q"], case["call"]
    american = case.get("american", True)
    dt = years / steps
    drift = (r - q - 0.5 * vol * vol) * dt
    jump = vol * math.sqrt(dt)
    up, down = math.exp(drift + jump), math.exp(drift - jump)
    p = (math.exp((r - q) * dt) - down) / (up - down)
    disc = math.exp(-r * dt)
    phi = 1.0 if call else -1.0
    paid = {}
    for days, amount in case.get("dividends", ()):
        level = round(days / 365.0 / dt)
        paid[level] = paid.get(level, 0.0) + amount

    def spots(level: int) -> np.ndarray:
        return s0 * np.exp(level * drift + (2.0 * np.arange(level + 1) - level) * jump)

    def exercise(v: np.ndarray, s: np.ndarray) -> np.ndarray:
        return np.maximum(v, phi * (s - STRIKE)) if american else v

    s = spots(steps - 1)
    v = exercise(_european(s, dt, vol, r, q, call), s)
    for level in range(steps - 2, -1, -1):
        v = disc * (p * v[1:] + (1.0 - p) * v[:-1])
        s = spots(level)
        v = exercise(v, s)
        if level in paid and level > 0:
            v = exercise(_interpolate(s, v, np.maximum(s - paid[level], 0.0)), s)
    return float(v[0])


def reference(case: dict) -> float:
    return 2.0 * tree(case, 2 * TREE_STEPS) - tree(case, TREE_STEPS)


def references(cases: list[dict], refresh: bool) -> list[float]:
    cached = {} if refresh or not CACHE.exists() else json.loads(CACHE.read_text())
    tag = f"binomial {TREE_STEPS}/{2 * TREE_STEPS}"
    known = cached.get("values", {}) if cached.get("method") == tag else {}
    missing = [c for c in cases if key(c) not in known]
    if missing:
        print(f"computing {len(missing)} references ...", file=sys.stderr)
        with ProcessPoolExecutor(max_workers=os.cpu_count()) as pool:
            for case, value in zip(missing, pool.map(reference, missing, chunksize=4)):
                known[key(case)] = value
        kept = {key(c): known[key(c)] for c in cases}
        CACHE.write_text(json.dumps({"method": tag, "values": kept}, indent=0, sort_keys=True) + "\n")
    return [known[key(c)] for c in cases]


# --- vorel -------------------------------------------------------------------------------------------

VALUED = datetime(2026, 1, 15, 16, tzinfo=timezone.utc)


def vorel_builders(case: dict, nodes: int, steps: int):
    """Prepared builders of the case's option and of its European twin on one grid."""
    from vorel import (Config, DayCountConvention, DividendSchedule, ExerciseStyle, FdmConfig, InstrumentPolicy,
                       OptionMarketFrame, OptionType, RateCurve, VanillaOption, VolSurface)
    act = DayCountConvention.ACT_365_FIXED
    expiry = VALUED + timedelta(days=case["years"] * 365.0)
    kind = OptionType.Call if case["call"] else OptionType.Put
    dividends = DividendSchedule([(VALUED + timedelta(days=d), a) for d, a in case.get("dividends", ())])
    frame = OptionMarketFrame(case["spot"], RateCurve.continuous(case["r"], act), VolSurface.flat(case["vol"], act),
                              dividends, RateCurve.continuous(case["q"], act))
    config = Config().add_policy(InstrumentPolicy().fdm(FdmConfig(steps, nodes)))
    styles = (ExerciseStyle.American if case.get("american", True) else ExerciseStyle.European,
              ExerciseStyle.European)
    return [VanillaOption(STRIKE, expiry, kind, style).valuation().market(frame).at(VALUED).config(config)
            for style in styles]


def timed(compute, rounds: int = 5) -> tuple[float, float]:
    value = compute()
    calls = max(1, int(0.002 / max(1e-7, _once(compute))))
    samples = []
    for _ in range(rounds):
        start = time.perf_counter()
        for _ in range(calls):
            compute()
        samples.append((time.perf_counter() - start) / calls)
    return value, statistics.median(samples)


def _once(compute) -> float:
    start = time.perf_counter()
    compute()
    return time.perf_counter() - start


# --- QuantLib, when installed -----------------------------------------------------------------------

def quantlib():
    try:
        import QuantLib as ql  # noqa: N813
    except ImportError:
        return None
    return ql


class Peer:
    def __init__(self, ql):
        self.ql = ql
        self.today = ql.Date(15, 1, 2026)
        ql.Settings.instance().evaluationDate = self.today

    def _process(self, case):
        ql = self.ql
        dc = ql.Actual365Fixed()
        spot = ql.QuoteHandle(ql.SimpleQuote(case["spot"]))
        rates = ql.YieldTermStructureHandle(ql.FlatForward(self.today, case["r"], dc, ql.Continuous))
        divs = ql.YieldTermStructureHandle(ql.FlatForward(self.today, case["q"], dc, ql.Continuous))
        vol = ql.BlackVolTermStructureHandle(ql.BlackConstantVol(self.today, ql.NullCalendar(), case["vol"], dc))
        return ql.BlackScholesMertonProcess(spot, divs, rates, vol)

    def _option(self, case):
        ql = self.ql
        days = round(case["years"] * 365.0)  # the cases are whole days
        payoff = ql.PlainVanillaPayoff(ql.Option.Call if case["call"] else ql.Option.Put, STRIKE)
        if case.get("american", True):
            exercise = ql.AmericanExercise(self.today, self.today + days)
        else:
            exercise = ql.EuropeanExercise(self.today + days)
        return ql.VanillaOption(payoff, exercise), days

    def exact(self, case) -> float:
        ql = self.ql
        option, _ = self._option(case)
        option.setPricingEngine(ql.QdFpAmericanEngine(self._process(case), ql.QdFpAmericanEngine.highPrecisionScheme()))
        return option.NPV()

    def fdm(self, case, nodes, steps):
        ql = self.ql
        option, _ = self._option(case)
        process = self._process(case)
        if case.get("dividends"):
            dates = [self.today + d for d, _ in case["dividends"]]
            schedule = ql.DividendVector(dates, [a for _, a in case["dividends"]])
            option.setPricingEngine(ql.FdBlackScholesVanillaEngine(process, schedule, steps, nodes))
        else:
            option.setPricingEngine(ql.FdBlackScholesVanillaEngine(process, steps, nodes))

        def npv():
            option.recalculate()
            return option.NPV()
        return timed(npv, rounds=3)



# --- report ---------------------------------------------------------------------------------------------

def stats(errors: list[float]) -> str:
    if not errors:
        return "- | -"
    rms = math.sqrt(sum(e * e for e in errors) / len(errors))
    return f"{rms:.4f} | {max(abs(e) for e in errors):.4f}"


def price_grid(cases, refs, grid, peer) -> list[dict]:
    """Each case priced on one grid by vorel (American and European) and, when given, by the peer."""
    nodes, steps = grid
    out = []
    for case, ref in zip(cases, refs):
        american, european = vorel_builders(case, nodes, steps)
        price, seconds = timed(lambda: american.compute().price)
        row = {"case": case, "ref": ref, "price": price, "time": seconds, "european": european.compute().price}
        if peer:
            try:
                row["peer"], row["peer_time"] = peer.fdm(case, nodes, steps)
            except RuntimeError:  # its grid cannot place such a dividend
                row["peer"], row["peer_time"] = math.nan, math.nan
        out.append(row)
    return out


def error_table(groups, priced, grids, field) -> None:
    print("| regime | cases |" + "".join(f" {n} x {m}: RMS | max |" for n, m in grids))
    print("|---|---|" + "---|---|" * len(grids))
    for label, member in groups:
        cells, count = [], 0
        for grid in grids:
            rows = [row for row in priced[grid] if member(row["case"])]
            errors = [row[field] - row["ref"] for row in rows if math.isfinite(row[field])]
            count = len(rows)
            failed = count - len(errors)
            cells.append(stats(errors) + (f" ({failed} failed)" if failed else ""))
        print(f"| {label} | {count} | " + " | ".join(cells) + " |")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--refresh", action="store_true", help="recompute every reference")
    parser.add_argument("--worst", type=int, default=0, help="list the N worst cases of each grid")
    parser.add_argument("--no-peer", action="store_true", help="leave QuantLib out even when installed")
    parser.add_argument("--grids", default=",".join(f"{n}x{m}" for n, m in GRIDS),
                        help="nodes x steps to price on, e.g. 101x10,801x800")
    args = parser.parse_args()
    grids = [tuple(int(v) for v in g.split("x")) for g in args.grids.split(",")]

    import vorel
    print(f"vorel from {Path(vorel.__file__).resolve()}\n")
    cases = draw_cases() + draw_dividend_cases()
    refs = references(cases, args.refresh)
    ql = None if args.no_peer else quantlib()
    peer = Peer(ql) if ql else None

    if peer:
        plain = [(c, ref) for c, ref in zip(cases, refs) if not c.get("dividends")]
        gaps = [peer.exact(c) - ref for c, ref in plain]
        print(f"QuantLib {ql.__version__}'s high-precision American engine against the tree, over the "
              f"{len(gaps)} cases without dividends: RMS {stats(gaps).replace(' | ', ', max ')}\n")

    priced = {grid: price_grid(cases, refs, grid, peer) for grid in grids}
    plain_names = sorted({regime(c) for c in cases if not c.get("corner") and not c.get("dividends")})
    groups = [(name, lambda c, name=name: regime(c) == name) for name in plain_names]
    groups += [("all drawn cases", lambda c: not c.get("corner") and not c.get("dividends")),
               ("corners of the box", lambda c: c.get("corner"))]
    for name in sorted({regime(c) for c in cases if c.get("dividends")}):
        groups.append((name, lambda c, name=name: regime(c) == name))

    print(f"Error against the reference, vorel ({len(cases)} cases):\n")
    error_table(groups, priced, grids, "price")
    if peer:
        print("\nError against the reference, QuantLib's finite-difference engine on the same grids:\n")
        error_table(groups, priced, grids, "peer")

    print("\n| grid | below exercise value | American below European (same grid) by > 1e-3 | unsound | "
          "vorel median time | QuantLib FD median time |")
    print("|---|---|---|---|---|---|")
    for grid in grids:
        rows = priced[grid]
        below_exercise = sum(1 for row in rows if row["price"] < intrinsic(row["case"]))
        below_european = sum(1 for row in rows if row["price"] < row["european"] - 1e-3)
        unsound = sum(1 for row in rows if not sound(row["case"], row["price"]))
        vorel_time = statistics.median(row["time"] for row in rows)
        peer_times = [row["peer_time"] for row in rows if peer and math.isfinite(row["peer_time"])]
        peer_time = f"{statistics.median(peer_times) * 1e6:.1f} us" if peer_times else "-"
        print(f"| {grid[0]} x {grid[1]} | {below_exercise} | {below_european} | {unsound} | "
              f"{vorel_time * 1e6:.1f} us | {peer_time} |")

    print("\nDividends at least the spot's distance to the grid's bottom (strike 100, spot 100, one year, "
          "ex-date at half a year):\n")
    print("| option | dividend | reference |" + "".join(f" {n} x {m} |" for n, m in grids))
    print("|---|---|---|" + "---|" * len(grids))
    for index, case in enumerate(cases):
        if case.get("large"):
            style = "American" if case["american"] else "European"
            cells = "".join(f" {priced[grid][index]['price']:.4f} |" for grid in grids)
            print(f"| {style} {'call' if case['call'] else 'put'} | {case['dividends'][0][1]:g} | "
                  f"{refs[index]:.4f} |{cells}")

    for grid in grids if args.worst else ():
        print(f"\nWorst cases at {grid[0]} x {grid[1]}:\n")
        worst = sorted(priced[grid], key=lambda row: -abs(row["price"] - row["ref"]))[:args.worst]
        for row in worst:
            peer_text = f", QuantLib FD {row['peer'] - row['ref']:+.5f}" if peer else ""
            print(f"- {key(row['case'])}: {row['price']:.5f} against {row['ref']:.5f} "
                  f"({row['price'] - row['ref']:+.5f}{peer_text})")


if __name__ == "__main__":
    main()
