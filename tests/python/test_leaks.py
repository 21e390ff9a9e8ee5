"""Every entry point called many times, on its success path and on each error path,
keeps no references to its arguments and no memory."""

import ctypes
import gc
import os
import pickle
import sys
import time
import tracemalloc

import pytest

from entry_points import ENTRIES, ERROR_CASES, OBSERVE, PICKLED, check_raised, check_returned

CALLS = int(os.environ.get("VOREL_LEAK_CALLS", "20000"))
SECONDS_PER_CASE = 0.4  # slow calls (the engine, the solver) run fewer times, never fewer than 1000
# Under the sanitizer the allocator is the sanitizer's own; references are still counted.
MEASURE_MEMORY = "VOREL_SANITIZED" not in os.environ
# Growth a run may show without counting as a leak (allocator, cache and page noise):
# a fixed allowance plus bytes per call, far below the smallest object a call could lose.
LIMITS = {"tracemalloc": (16384, 0.5), "heap": (16384, 0.5), "rss": (1 << 20, 16)}


class _Mallinfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks",
                                                     "fsmblks", "uordblks", "fordblks", "keepcost")]


_libc = ctypes.CDLL(None)
_libc.mallinfo2.restype = _Mallinfo2
REPORT: dict[str, dict[str, float]] = {}


def native_heap():
    info = _libc.mallinfo2()
    return info.uordblks + info.hblkhd


def resident():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def held_objects(receiver, args):
    """The objects whose reference counts a call must leave as they were."""
    objects = [receiver, *args]
    for arg in args:
        if isinstance(arg, (list, tuple)):
            objects += [item for entry in arg for item in (entry if isinstance(entry, tuple) else (entry,))]
    return [o for o in objects if o is not None]


def repeat(label, make, call, args):
    receiver = make() if make else None

    def run(times):
        for _ in range(times):
            try:
                call(receiver, *args)
            except BaseException:  # noqa: BLE001 - error paths are exercised on purpose
                pass

    started = time.perf_counter()
    run(100)
    calls = max(1000, min(CALLS, int(SECONDS_PER_CASE / max((time.perf_counter() - started) / 100, 1e-9))))
    if not MEASURE_MEMORY:
        calls = min(calls, CALLS)
    run(calls // 10)  # warm caches and free lists first
    gc.collect()
    held = held_objects(receiver, args)
    counts = [sys.getrefcount(o) for o in held]
    # Each further run is twice as long: a leak grows with the calls, while
    # one-off noise (another allocation landing in the window) does not.
    for attempt in range(3):
        if attempt:
            calls *= 2
        tracemalloc.start()
        heap, rss = native_heap(), resident()
        run(calls)
        gc.collect()
        grown = {"tracemalloc": tracemalloc.get_traced_memory()[0], "heap": native_heap() - heap,
                 "rss": resident() - rss}
        tracemalloc.stop()
        assert [sys.getrefcount(o) for o in held] == counts, f"{label}: references leaked"
        per_call = {name: value / calls for name, value in grown.items()}
        REPORT[label] = {"calls": calls, **per_call}
        within = all(grown[name] <= fixed + calls * rate for name, (fixed, rate) in LIMITS.items())
        if within or not MEASURE_MEMORY:
            return
    raise AssertionError(f"{label}: {per_call} bytes per call over {calls} calls")


@pytest.fixture(scope="module", autouse=True)
def tracer_started_once():
    tracemalloc.start()  # the first start allocates the tracer's own tables
    tracemalloc.stop()


def summary():
    if not REPORT:
        return None
    if path := os.environ.get("VOREL_LEAK_REPORT"):
        with open(path, "w") as out:
            out.writelines(f"{label}\t{row['calls']}\t{row['tracemalloc']:.3f}\t{row['heap']:.3f}\t{row['rss']:.3f}\n"
                           for label, row in REPORT.items())
    calls = sum(row["calls"] for row in REPORT.values())
    if not MEASURE_MEMORY:
        return f"leaks: {len(REPORT)} paths, {calls} calls; reference counts only (the sanitizer owns the allocator)"
    worst = {name: max(REPORT, key=lambda label: REPORT[label][name]) for name in LIMITS}
    return (f"leaks: {len(REPORT)} paths, {calls} calls; largest growth in bytes per call: "
            + ", ".join(f"{name} {REPORT[label][name]:.3f} ({label})" for name, label in worst.items()))


@pytest.mark.parametrize("entry", ENTRIES, ids=lambda e: e.label)
def test_success_paths_keep_nothing(entry):
    receiver = entry.make() if entry.make else None
    check_returned(entry, entry.call(receiver, *entry.valid), receiver)
    repeat(entry.label, entry.make, entry.call, entry.valid)


@pytest.mark.parametrize("case", ERROR_CASES, ids=lambda c: c.label)
def test_error_paths_keep_nothing(case):
    receiver = case.make() if case.make else None
    observe = OBSERVE.get(type(receiver).__name__, lambda _: None)
    before = observe(receiver)
    with pytest.raises(BaseException) as info:
        case.call(receiver, *case.args)
    check_raised(info.value, case)
    assert observe(receiver) == before, "a failed call changed its receiver"
    repeat(case.label, case.make, case.call, case.args)


@pytest.mark.parametrize("name", PICKLED)
def test_pickle_round_trips_keep_nothing(name):
    repeat(f"pickle {name}", PICKLED[name], lambda r: pickle.loads(pickle.dumps(r)), ())
