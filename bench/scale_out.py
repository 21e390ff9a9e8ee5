"""What scaling out rests on, measured in one run: Python threads pricing American
options side by side (the engines release the interpreter lock), how soon Ctrl-C
stops a long engine run, and what pickling the objects that travel costs.

    PYTHONPATH=build/bench python bench/scale_out.py [--quick]
"""

import argparse
import os
import pickle
import signal
import subprocess
import sys
import threading
import time
from datetime import datetime, timedelta, timezone

import vorel
from vorel import (Config, DayCountConvention, DividendSchedule, ExerciseStyle, FdmConfig, InstrumentPolicy,
                   OptionMarketFrame, OptionType, RateCurve, VanillaOption, VolSurface)

ACT = DayCountConvention.ACT_365_FIXED
NOW = datetime(2026, 1, 15, 16, tzinfo=timezone.utc)
FRAME = OptionMarketFrame(100.0, RateCurve.continuous(0.05, ACT), VolSurface.flat(0.25, ACT),
                          DividendSchedule([(NOW + timedelta(days=90), 1.0), (NOW + timedelta(days=270), 1.0)]))
FINE = Config().add_policy(InstrumentPolicy().american().fdm(FdmConfig(800, 801)))


def american_builders(count):
    return [VanillaOption(80.0 + 40.0 * i / count, NOW + timedelta(days=365), OptionType.Put, ExerciseStyle.American)
            .valuation().market(FRAME).at(NOW).config(FINE) for i in range(count)]


def threads_ratio(count):
    """Options per second on one thread, and on two threads sharing the same frame and configuration."""
    builders = american_builders(count)
    builders[0].compute()
    started = time.perf_counter()
    serial = [b.compute().price for b in builders]
    serial_rate = count / (time.perf_counter() - started)
    halves = [builders[: count // 2], builders[count // 2:]]
    results: list[list[float]] = [[], []]

    def work(i):
        results[i] = [b.compute().price for b in halves[i]]

    threads = [threading.Thread(target=work, args=(i,)) for i in range(2)]
    started = time.perf_counter()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    parallel_rate = count / (time.perf_counter() - started)
    assert results[0] + results[1] == serial  # the same bits, whatever the thread
    return serial_rate, parallel_rate


CHILD = """
import sys, time
from datetime import datetime, timedelta, timezone
import numpy as np
from vorel import *
import vorel.batch
act = DayCountConvention.ACT_365_FIXED
now = datetime(2026, 1, 15, 16, tzinfo=timezone.utc)
frame = OptionMarketFrame(100.0, RateCurve.continuous(0.05, act), VolSurface.flat(0.25, act))
option = VanillaOption(100.0, now + timedelta(days=365), OptionType.Put, ExerciseStyle.American)
long = Config().add_policy(InstrumentPolicy().american().fdm(FdmConfig(time_steps=2**40)))
run = {"compute": lambda: option.valuation().market(frame).at(now).config(long).compute(),
       "batch": lambda: vorel.batch.value(np.full(64, 100.0), now + timedelta(days=365), 1, 0, frame, at=now,
                                          config=long)}[sys.argv[1]]
print("ready", flush=True)
try:
    run()
except KeyboardInterrupt:
    print("stopped", flush=True)
"""


def interrupt_latency(entry):
    """Seconds from SIGINT to the KeyboardInterrupt reaching Python, in a child deep inside a long run."""
    child = subprocess.Popen([sys.executable, "-c", CHILD, entry], stdout=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "ready\n"
        time.sleep(0.5)
        sent = time.perf_counter()
        child.send_signal(signal.SIGINT)
        assert child.stdout.readline() == "stopped\n"
        return time.perf_counter() - sent
    finally:
        child.kill()
        child.wait()


def pickle_cost(obj, calls):
    payload = pickle.dumps(obj)
    started = time.perf_counter()
    for _ in range(calls):
        pickle.loads(pickle.dumps(obj))
    return len(payload), (time.perf_counter() - started) / calls


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true")
    args = parser.parse_args()
    count = 40 if args.quick else 400
    print(f"vorel {vorel.__file__}; {os.cpu_count()} processors\n")
    serial, parallel = threads_ratio(count)
    print(f"American 801 x 800, price + 3 Greeks, object API: {serial:,.0f}/s on one thread, {parallel:,.0f}/s on two "
          f"Python threads: {parallel / serial:.2f}x (goal >= 1.8x on 2 free cores)")
    for entry in ("compute", "batch"):
        latencies = sorted(interrupt_latency(entry) for _ in range(3 if args.quick else 7))
        print(f"Ctrl-C during a long {entry}(): KeyboardInterrupt after {latencies[len(latencies) // 2] * 1e3:.1f} ms "
              f"(median; worst {latencies[-1] * 1e3:.1f} ms; goal about 100 ms)")
    builder = american_builders(1)[0]
    for name, obj in (("OptionMarketFrame with 2 dividends", FRAME), ("Config", FINE),
                      ("ValuationBuilder with its inputs", builder)):
        size, seconds = pickle_cost(obj, 2_000 if args.quick else 20_000)
        print(f"pickle round trip of {name}: {size} bytes, {seconds * 1e6:.1f} us")


if __name__ == "__main__":
    main()
