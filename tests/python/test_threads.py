"""Threads pricing and solving at once over shared market frames and configurations."""

import sys
import threading
from concurrent.futures import ThreadPoolExecutor

import pytest

from entry_points import ACT_365, AMERICAN, EUROPEAN, VALUED, config, frame, option
from vorel import Config, FdmConfig, InstrumentPolicy, VolSurface

RECORDS = [(100.0, 0.2), (120.0, 0.35)]


@pytest.fixture(autouse=True)
def eager_switching():
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(interval)


def jobs(market, table):
    """Valuations by both engines and implied volatilities, all over the same frame and table."""
    valuations = [lambda s=style: option(s).valuation().market(market).at(VALUED).config(table).compute().price
                  for style in (EUROPEAN, AMERICAN)]
    solves = [lambda s=style, p=price: option(s).implied_vol().market(market).at(VALUED).config(table).price(p)
              .calculate() for style in (EUROPEAN, AMERICAN) for price in (5.0, 9.0)]
    return (valuations + solves) * 3


def test_threads_give_the_serial_results():
    work = jobs(frame(), config())
    serial = [job() for job in work]
    with ThreadPoolExecutor(4) as pool:
        assert list(pool.map(lambda job: job(), work * 4)) == serial * 4


def test_a_writer_never_tears_a_record():
    market, table = frame(), config()
    work = jobs(market, table)[:2]

    def write(spot, vol):
        market.spot = spot
        market.vol_surface = VolSurface.flat(vol, ACT_365)

    # Every record a reader can meet, half-written ones included: one field changes per write.
    expected = set()
    for spot, _ in RECORDS:
        for _, vol in RECORDS:
            write(spot, vol)
            expected.update(job() for job in work)
    stop = threading.Event()

    def writer():
        while not stop.is_set():
            for spot, vol in RECORDS:
                write(spot, vol)

    thread = threading.Thread(target=writer)
    thread.start()
    try:
        with ThreadPoolExecutor(3) as pool:
            seen = set(pool.map(lambda job: job(), work * 200))
    finally:
        stop.set()
        thread.join()
    assert seen <= expected and len(seen) > 1


def test_other_threads_run_while_the_finite_difference_engine_works():
    fine = Config().add_policy(InstrumentPolicy().american().fdm(FdmConfig(8000, 801)))
    builder = option(AMERICAN).valuation().market(frame()).at(VALUED).config(fine)
    started = threading.Event()

    def price():
        started.set()
        builder.compute()

    thread = threading.Thread(target=price)
    thread.start()
    started.wait()
    rounds = 0
    while thread.is_alive():  # would not run at all while an engine held the interpreter lock
        rounds += 1
    thread.join()
    assert rounds > 10_000
