"""vorel.batch: arrays in, arrays out, each element exactly as the builders give it."""

import _thread
import math
import os
import subprocess
import sys
import threading
import time
from datetime import datetime, timedelta, timezone
from pathlib import Path
from zoneinfo import ZoneInfo

import numpy as np
import pytest

import vorel
from vorel import (Config, DayCountConvention, DividendSchedule, ExerciseStyle, FdmConfig, InstrumentPolicy,
                   OptionMarketFrame, OptionType, RateCurve, TransformConfig, VanillaOption, VolSurface)
from vorel import batch
from vorel.batch import Status

pd = pytest.importorskip("pandas")

ACT365 = DayCountConvention.ACT_365_FIXED
UTC = timezone.utc
NOW = datetime(2025, 1, 2, 16, 0, tzinfo=ZoneInfo("America/New_York"))
FRAME = OptionMarketFrame(100.0, RateCurve.continuous(0.05, ACT365), VolSurface.flat(0.25, ACT365),
                          borrow_curve=RateCurve.continuous(0.01, ACT365))
DIVIDENDS = OptionMarketFrame(100.0, RateCurve.continuous(0.03, ACT365), VolSurface.flat(0.3, ACT365),
                              dividends=DividendSchedule([(NOW + timedelta(days=40), 1.5),
                                                          (NOW + timedelta(days=200), 2.0)]))
FDM_ALL = {
    "sinh": Config().add_policy(InstrumentPolicy().fdm(FdmConfig(grid_nodes=61, time_steps=8))),
    "log": Config().add_policy(InstrumentPolicy().fdm(FdmConfig(grid_nodes=51, time_steps=6,
                                                                  transform=TransformConfig.log()))),
}
TYPES = [OptionType.Call, OptionType.Put]
STYLES = [ExerciseStyle.American, ExerciseStyle.European]


def random_chain(rng, n):
    strike = rng.uniform(60.0, 150.0, n).round(2)
    # A quarter of the expiries repeat in runs (a chain sorted by expiry), a quarter repeat in any order among
    # the distinct ones, so that remembered expiries are both found and replaced.
    seconds = rng.integers(3600, 3 * 365 * 86400, n)
    seconds[: n // 4] = np.sort(rng.choice(seconds[n // 2:], 8))[np.arange(n // 4) * 8 // (n // 4)]
    seconds[n // 4: n // 2] = rng.choice(seconds[n // 2:], n // 4)
    seconds = np.concatenate([seconds[: n // 4], rng.permutation(seconds[n // 4:])])
    expiry = np.datetime64(NOW.astimezone(UTC).replace(tzinfo=None), "us") + seconds.astype("timedelta64[s]")
    types = rng.integers(0, 2, n)
    styles = rng.integers(0, 2, n)
    return strike, expiry, types, styles


def aware(moment):
    return moment.astype(datetime).replace(tzinfo=UTC)


# The European chain is long enough for its mostly distinct expiries to stop being remembered part-way.
@pytest.mark.parametrize("frame, config, n", [(FRAME, None, 400), (DIVIDENDS, None, 400),
                                              (DIVIDENDS, FDM_ALL["sinh"], 400), (FRAME, FDM_ALL["log"], 400),
                                              (FRAME, None, 3000)],
                         ids=["default", "dividends", "sinh", "log", "european"])
def test_every_element_is_bit_identical_to_the_builder(frame, config, n):
    rng = np.random.default_rng(7)
    strike, expiry, types, styles = random_chain(rng, n)
    if n > 400:
        styles[:] = 1
    got = batch.value(strike, expiry, types, styles, frame, at=NOW, config=config, threads=2)
    prices_only = batch.value(strike, expiry, types, styles, frame, at=NOW, config=config, greeks=False)
    assert np.array_equal(prices_only.price, got.price)
    for i in range(len(strike)):
        option = VanillaOption(float(strike[i]), aware(expiry[i]), TYPES[types[i]], STYLES[styles[i]])
        builder = option.valuation().market(frame).at(NOW)
        result = (builder.config(config) if config else builder).compute()
        g = result.greeks
        want = [result.price, g.delta, g.gamma, g.theta, math.nan if g.vega is None else g.vega,
                math.nan if g.rho is None else g.rho]
        have = [got.price[i], got.delta[i], got.gamma[i], got.theta[i], got.vega[i], got.rho[i]]
        assert np.array_equal(np.array(have), np.array(want), equal_nan=True), (i, have, want)
        assert got.status[i] == Status.OK


def test_fields_broadcast_and_accept_enums_scalars_and_pandas():
    strikes = np.array([[90.0], [100.0], [110.0]])
    expiries = np.array(["2025-06-30T20:00", "2025-12-31T21:00"], dtype="datetime64[m]")
    got = batch.value(strikes, expiries, OptionType.Put, ExerciseStyle.European, FRAME, at=NOW)
    assert got.price.shape == (3, 2) and got.status.dtype == np.uint8
    one = batch.value(100.0, datetime(2025, 12, 31, 16, 0, tzinfo=ZoneInfo("America/New_York")), OptionType.Put,
                      ExerciseStyle.European, FRAME, at=NOW)
    assert one.price == got.price[1, 1] and np.ndim(one.price) == 0

    index = pd.Index(["a", "b", "c"], name="id")
    chain = pd.DataFrame({"strike": [90.0, 100.0, 110.0],
                          "expiry": pd.to_datetime(["2025-12-31 16:00"] * 3).tz_localize("America/New_York"),
                          "type": [OptionType.Put, OptionType.Call, OptionType.Put]}, index=index)
    frame = batch.value(chain.strike, chain.expiry, chain.type, ExerciseStyle.European, FRAME, at=NOW)
    assert list(frame.index) == ["a", "b", "c"] and frame.index.name == "id"
    assert list(frame.columns) == ["price", "delta", "gamma", "theta", "vega", "rho", "status"]
    assert frame.price["a"] == got.price[0, 1] and frame.price["c"] == got.price[2, 1]
    prices_only = batch.value(chain.strike.to_numpy(), expiries[1], 1, 1, FRAME, at=NOW, greeks=False)
    assert prices_only.delta is None and np.array_equal(prices_only.price, got.price[:, 1])


@pytest.mark.parametrize("moment", ["2025-12-31T21:00:00", "2025-12-31", "NaT"])
@pytest.mark.parametrize("unit", ["D", "m", "s", "ms", "us", "ns", "15m"])
def test_one_option_gives_python_numbers_equal_to_the_array_path(moment, unit):
    expiry = np.datetime64(moment, unit)
    one = batch.value(100.0, expiry, OptionType.Put, 1, FRAME, at=NOW)
    array = batch.value(np.array([100.0]), np.array([expiry]), OptionType.Put, 1, FRAME, at=NOW)
    assert type(one.price) is float and one.status == array.status[0]
    assert np.array_equal([one.price, one.rho], [array.price[0], array.rho[0]], equal_nan=True)
    vol = batch.implied_vol(5.0, 100.0, expiry, OptionType.Put, 1, FRAME, at=NOW)
    vols = batch.implied_vol(np.array([5.0]), 100.0, np.array([expiry]), OptionType.Put, 1, FRAME, at=NOW)
    assert np.array_equal(vol.vol, vols.vol[0], equal_nan=True)


def test_element_content_is_a_status_never_a_failed_batch():
    # Bad elements under both engines: American ones (0) go to finite differences.
    strike = np.array([100.0, np.nan, -5.0, np.inf, 100.0, 100.0, 100.0, 100.0, 100.0])
    expiry = np.array(["2025-12-31"] * 4 + ["NaT", "2024-06-01", "2024-06-01"] + ["2025-12-31"] * 2,
                      dtype="datetime64[D]")
    types = np.array([1, 1, 1, 1, 1, 1, 1, 7, 1])
    styles = np.array([1, 0, 1, 0, 1, 1, 0, 1, 0])
    got = batch.value(strike, expiry, types, styles, FRAME, at=NOW)
    assert list(got.status) == ([Status.OK] + [Status.INVALID_INPUT] * 4 + [Status.EXPIRED] * 2
                                + [Status.INVALID_INPUT, Status.OK])
    assert np.isnan(got.price[1:5]).all() and np.isfinite(got.price[[0, 8]]).all()
    negative = OptionMarketFrame(100.0, RateCurve.continuous(0.05, ACT365), VolSurface.flat(-0.1, ACT365))
    assert batch.value(100.0, expiry[0], 1, 1, negative, at=NOW).status == Status.FAILED


DAY = np.datetime64("2025-12-31")
TOO_FEW_NODES = Config().add_policy(InstrumentPolicy().fdm(FdmConfig(grid_nodes=1)))


@pytest.mark.parametrize("call, error, message", [
    (lambda: batch.value(np.ones(3), np.array(["2025-12-31"] * 4, "M8[D]"), 1, 1, FRAME), ValueError, "broadcast"),
    (lambda: batch.value(["x"], DAY, 1, 1, FRAME), TypeError, "strike must be numbers"),
    (lambda: batch.value(100.0, np.array([datetime(2025, 12, 31)], dtype=object), 1, 1, FRAME), ValueError,
     "timezone-aware"),
    (lambda: batch.value(100.0, np.arange(3), 1, 1, FRAME), TypeError, "expiry must be datetime64"),
    (lambda: batch.value(100.0, DAY, "Put", 1, FRAME), TypeError, "option_type"),
    (lambda: batch.value(100.0, DAY, 1, 1, "frame"), TypeError, "market"),
    (lambda: batch.value(100.0, DAY, 1, 1, FRAME, threads=0), ValueError, "threads"),
    (lambda: batch.value(100.0, DAY, 1, 1, FRAME, at=datetime(2025, 1, 1)), ValueError, "timezone"),
    (lambda: batch.value(100.0, DAY, 0, 0, FRAME, config=TOO_FEW_NODES), ValueError, "grid_nodes"),
])
def test_the_call_structure_is_checked_with_clear_errors(call, error, message):
    with pytest.raises(error, match=message):
        call()


def test_threads_do_not_change_a_bit_and_results_are_whole():
    rng = np.random.default_rng(3)
    strike, expiry, types, styles = random_chain(rng, 20_000)
    one = batch.value(strike, expiry, types, 1, FRAME, at=NOW, threads=1)
    many = batch.value(strike, expiry, types, 1, FRAME, at=NOW)
    for field in batch.Valuation._fields:
        assert np.array_equal(getattr(one, field), getattr(many, field), equal_nan=True)


# Every kernel this processor has gives the same bits: the vector levels are capped through VOREL_SIMD in
# processes of their own, each valuing and inverting chains by both engines.
LEVEL_SCRIPT = """
import sys
import numpy as np
sys.path.insert(0, sys.argv[1])
import test_batch as t
from vorel import batch
rng = np.random.default_rng(11)
strike, expiry, types, styles = t.random_chain(rng, 700)
fields = []
for frame, config in ((t.FRAME, None), (t.DIVIDENDS, None), (t.FRAME, t.FDM_ALL["log"])):
    valued = batch.value(strike, expiry, types, styles, frame, at=t.NOW, config=config)
    fields += [getattr(valued, name) for name in batch.Valuation._fields]
    solved = batch.implied_vol(valued.price * 1.01, strike, expiry, types, styles, frame, at=t.NOW, config=config)
    fields += [solved.vol, solved.status]
sys.stdout.write(np.concatenate([np.asarray(f, dtype=float) for f in fields]).tobytes().hex())
"""


def test_every_vector_level_gives_the_same_bits():
    runs = {}
    for level in ("portable", "avx2", "avx512"):
        env = dict(os.environ, VOREL_SIMD=level)
        done = subprocess.run([sys.executable, "-c", LEVEL_SCRIPT, str(Path(__file__).parent)], env=env,
                              capture_output=True, text=True, check=True)
        runs[level] = done.stdout
    assert len(runs["portable"]) > 0
    assert runs["portable"] == runs["avx2"] == runs["avx512"]


def with_vol(frame, sigma):
    return OptionMarketFrame(frame.spot, frame.rate_curve, VolSurface.flat(sigma, ACT365), dividends=frame.dividends,
                             borrow_curve=frame.borrow_curve)


def european_quotes(rng, n):
    sigma = np.exp(rng.uniform(np.log(1e-3), np.log(10.0), n))
    strike = 100.0 / np.exp(rng.uniform(np.log(0.2), np.log(5.0), n))
    days = np.exp(rng.uniform(0.0, np.log(30 * 365.0), n)).round()
    expiry = np.datetime64(NOW.astimezone(UTC).replace(tzinfo=None), "s") + (days * 86400).astype("timedelta64[s]")
    types = rng.integers(0, 2, n)
    return sigma, strike, expiry, types


def test_european_implied_vol_is_machine_accurate_where_the_price_tells():
    rng = np.random.default_rng(11)
    sigma, strike, expiry, types = european_quotes(rng, 20_000)
    out = np.empty_like(sigma)
    vega = np.empty_like(sigma)
    for i in range(len(sigma)):
        priced = batch.value(strike[i], expiry[i], types[i], 1, with_vol(FRAME, sigma[i]), at=NOW)
        out[i], vega[i] = priced.price, priced.vega
    solved = batch.implied_vol(out, strike, expiry, types, 1, FRAME, at=NOW)
    usable = solved.status == Status.OK
    # Prices carry the rounding of a difference of terms as large as the spot:
    # what that hides of the volatility is all that may be missed.
    hidden = 16 * np.finfo(float).eps * (100.0 + strike) / np.maximum(vega, 1e-300)
    error = np.abs(solved.vol - sigma)
    informative = (vega * sigma > 1e-6 * out) & (out > 0.0)  # the closed form can round a worthless option below 0
    assert usable[informative].all()
    assert (error[informative] <= 1e-12 * sigma[informative] + hidden[informative]).all()
    # A quote without a solution gets its status, never a number.
    assert np.isnan(solved.vol[~usable]).all()


def test_american_implied_vol_recovers_the_engine_volatility():
    rng = np.random.default_rng(5)
    n = 60
    sigma = rng.uniform(0.05, 1.5, n)
    strike = rng.uniform(70.0, 130.0, n)
    expiry = np.datetime64("2025-09-30T20:00")
    types = rng.integers(0, 2, n)
    prices = np.array([batch.value(strike[i], expiry, types[i], 0, with_vol(DIVIDENDS, sigma[i]), at=NOW).price
                       for i in range(n)])
    solved = batch.implied_vol(prices, strike, expiry, types, 0, DIVIDENDS, at=NOW)
    ok = solved.status == Status.OK
    assert ok.sum() >= n - 2
    assert np.allclose(solved.vol[ok], sigma[ok], rtol=1e-6, atol=0)


@pytest.mark.parametrize("style", [0, 1], ids=["american", "european"])
def test_quotes_without_a_solution_get_their_status(style):
    expiry = np.datetime64("2025-12-31T21:00")
    prices = np.array([1.0, 150.0, 5.0, np.nan, 5.0])
    strikes = np.array([50.0, 100.0, 100.0, 100.0, 100.0])
    expiries = np.array([expiry, expiry, np.datetime64("2024-12-31"), expiry, expiry])
    # A put struck at 50 is worth at least nothing; a call struck at 50 at least 50ish.
    solved = batch.implied_vol(prices, strikes, expiries, OptionType.Call, style, FRAME, at=NOW)
    assert list(solved.status) == [Status.BELOW_INTRINSIC, Status.ABOVE_UPPER_BOUND, Status.EXPIRED,
                                   Status.INVALID_INPUT, Status.OK]
    assert np.isnan(solved.vol[:4]).all() and 0.0 < solved.vol[4] < 1.0


def test_ctrl_c_stops_a_long_batch():
    strike = np.full(2_000_000, 100.0)
    timer = threading.Timer(0.3, _thread.interrupt_main)
    started = time.monotonic()
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        batch.value(strike, np.datetime64("2026-01-02T21:00"), 1, 0, FRAME, at=NOW)
    assert time.monotonic() - started < 5.0  # the whole batch would take far longer


def test_the_package_surface_is_unchanged_and_numpy_loads_only_with_batch():
    assert not hasattr(vorel, "_batch") and "batch" not in vorel.__all__
    code = "import sys, vorel; assert 'numpy' not in sys.modules; import vorel.batch; assert 'numpy' in sys.modules"
    # numpy keeps objects at exit that the sanitizer run's leak checker would report.
    env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0")
    subprocess.run([sys.executable, "-c", code], check=True, env=env)
