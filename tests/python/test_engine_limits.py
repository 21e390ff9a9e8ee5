"""The finite-difference engine's limits from Python: settings refused before any work, work
beyond memory refused before memory is touched, bad pivots, and Ctrl-C during a long run."""

import json
import math
import re
import signal
import subprocess
import sys
import textwrap
import time
from datetime import datetime, timedelta, timezone

import pytest

from vorel import (Config, DayCountConvention, ExerciseStyle, FdmConfig, InstrumentPolicy, OptionMarketFrame,
                   OptionType, RateCurve, TransformConfig, VanillaOption, VolSurface)

ACT_365 = DayCountConvention.ACT_365_FIXED
EXPIRY = datetime(2026, 1, 15, 16, tzinfo=timezone.utc)
VALUED = EXPIRY - timedelta(days=365)
PIVOT = "the finite-difference solve met a zero or non-finite pivot"
MEMORY = re.compile(r"the finite-difference working set of \d+ bytes exceeds "
                    r"(this machine's memory|this process's memory limit) of \d+ bytes")


def market(spot=100.0, vol=0.2, r=0.05, q=0.0):
    return OptionMarketFrame(spot, RateCurve.continuous(r, ACT_365), VolSurface.flat(vol, ACT_365), None,
                             RateCurve.continuous(q, ACT_365))


# Both entry points that run the engine on an American put, as calls of (settings, market).
PUT = VanillaOption(100.0, EXPIRY, OptionType.Put, ExerciseStyle.American)
RUNS = {
    "compute": lambda settings, frame: PUT.valuation().market(frame).at(VALUED).config(
        Config().add_policy(InstrumentPolicy().fdm(settings))).compute().price,
    "calculate": lambda settings, frame: PUT.implied_vol().market(frame).at(VALUED).price(6.0).config(
        Config().add_policy(InstrumentPolicy().fdm(settings))).calculate(),
}


@pytest.mark.parametrize("run", RUNS.values(), ids=RUNS.keys())
@pytest.mark.parametrize("settings, message", [
    (FdmConfig(grid_std_devs=-4.0), "grid_std_devs must be a positive number of standard deviations, got -4"),
    (FdmConfig(grid_std_devs=math.nan), "grid_std_devs must be a positive number of standard deviations, got NaN"),
    (FdmConfig(grid_std_devs=math.inf), "grid_std_devs must be a positive number of standard deviations, got inf"),
    (FdmConfig(transform=TransformConfig.sinh(0.0)), "sinh transform alpha must be positive and finite, got 0"),
    (FdmConfig(transform=TransformConfig.sinh(-0.3)), "sinh transform alpha must be positive and finite, got -0.3"),
    (FdmConfig(transform=TransformConfig.sinh(math.nan)), "sinh transform alpha must be positive and finite, got NaN"),
    (FdmConfig(grid_nodes=0), "grid_nodes must be at least 3, got 1"),  # counts are made odd; 1 is in the catalogue
])
def test_settings_that_cannot_give_a_grid_are_refused(run, settings, message):
    with pytest.raises(ValueError) as info:
        run(settings, market())
    assert str(info.value) == message


@pytest.mark.parametrize("run", RUNS.values(), ids=RUNS.keys())
def test_the_smallest_grid_and_the_log_map_are_accepted(run):
    assert math.isfinite(run(FdmConfig(grid_nodes=2), market()))
    assert math.isfinite(run(FdmConfig(transform=TransformConfig.log()), market()))


def test_no_volatility_gives_the_discounted_forward_in_closed_form():  # finite differences refuse it: catalogue
    european = VanillaOption(100.0, EXPIRY, OptionType.Call, ExerciseStyle.European)
    assert european.valuation().market(market(vol=0.0)).at(VALUED).compute().price == pytest.approx(
        100 - 100 * math.exp(-0.05))


@pytest.mark.parametrize("frame, settings", [
    (market(vol=1e-300, r=0.03, q=0.03), None),  # no width: every node on the spot
    (market(), FdmConfig(transform=TransformConfig.sinh(1e-300))),  # coordinates overflow
])
def test_bad_pivots_from_finite_inputs_are_value_errors(frame, settings):
    with pytest.raises(ValueError) as info:
        RUNS["compute"](settings, frame)
    assert str(info.value) == PIVOT


@pytest.mark.parametrize("frame", [market(spot=math.inf), market(vol=math.nan), market(r=math.nan), market(q=math.inf)],
                         ids=["spot inf", "vol NaN", "rate NaN", "yield inf"])
def test_non_finite_market_inputs_still_give_non_finite_prices(frame):
    assert not math.isfinite(RUNS["compute"](None, frame))


def run_child(script, *args):
    return subprocess.Popen([sys.executable, "-c", textwrap.dedent(script), *map(str, args)], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)


# A child's American put and both runs of it, with one FdmConfig setting from its arguments.
CHILD = """
    import json, signal, sys, time
    from datetime import datetime, timedelta, timezone
    from vorel import *

    ACT = DayCountConvention.ACT_365_FIXED
    valued = datetime(2025, 1, 15, 16, tzinfo=timezone.utc)
    option = VanillaOption(100.0, valued + timedelta(days=365), OptionType.Put, ExerciseStyle.American)
    frame = OptionMarketFrame(100.0, RateCurve.continuous(0.05, ACT), VolSurface.flat(0.2, ACT))
    config = Config().add_policy(InstrumentPolicy().fdm(FdmConfig(**{sys.argv[1]: int(sys.argv[2])})))
    runs = {"compute": lambda: option.valuation().market(frame).at(valued).config(config).compute(),
            "calculate": lambda: option.implied_vol().market(frame).at(valued).price(6.0).config(config).calculate()}
"""
OVERSIZED = CHILD + """
    def status():
        fields = dict(line.split(":", 1) for line in open("/proc/self/status"))
        return {key: int(fields[key].split()[0]) * 1024 for key in ("VmRSS", "VmHWM")}

    before, out = status(), {}
    for name, run in runs.items():
        start = time.perf_counter()
        try:
            run()
            out[name] = ["returned", None, time.perf_counter() - start]
        except BaseException as exc:
            out[name] = [type(exc).__name__, str(exc), time.perf_counter() - start]
    after = status()
    out["growth"] = after["VmHWM"] - before["VmRSS"]
    print(json.dumps(out))
"""


@pytest.mark.parametrize("nodes", [2**29, 2**64 - 1])
def test_work_beyond_memory_is_refused_before_memory_is_touched(nodes):
    child = run_child(OVERSIZED, "grid_nodes", nodes)
    out, err = child.communicate(timeout=60)
    assert child.returncode == 0, err
    report = json.loads(out)
    for name in RUNS:
        kind, message, seconds = report[name]
        assert kind == "MemoryError" and MEMORY.fullmatch(message), (name, kind, message)
        assert seconds < 1.0, (name, seconds)
    assert report["growth"] < 50 * 2**20, report


LONG_RUN = CHILD + """
    class Stop(Exception):
        pass

    def stop(signum, _):
        # A handler that itself prices by finite differences, in the middle of the long run.
        option.valuation().market(frame).at(valued).compute()
        raise Stop("from the handler")

    signal.signal(signal.SIGUSR1, stop)
    print("ready", flush=True)
    try:
        runs[sys.argv[3]]()
        print("returned", flush=True)
    except BaseException as exc:
        print(type(exc).__name__, flush=True)
"""


@pytest.mark.parametrize("entry", RUNS.keys())
@pytest.mark.parametrize("signum, raised", [(signal.SIGINT, "KeyboardInterrupt"), (signal.SIGUSR1, "Stop")],
                         ids=["ctrl-c", "handler raising"])
def test_a_long_run_stops_soon_after_a_signal(entry, signum, raised):
    child = run_child(LONG_RUN, "time_steps", 2**62, entry)
    try:
        assert child.stdout.readline() == "ready\n", child.stderr.read()
        time.sleep(0.5)  # well inside the march by now
        sent = time.monotonic()
        child.send_signal(signum)
        line = child.stdout.readline()
        latency = time.monotonic() - sent
        assert line == f"{raised}\n", (line, child.stderr.read())
        assert latency < 1.0, latency
        assert child.wait(timeout=10) == 0
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
