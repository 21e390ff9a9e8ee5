"""A book priced on a Dask cluster of worker processes, with the market frames and
configuration shipped to the workers as pickles, is the book priced in one process,
bit for bit; native panics come back as PanicException."""

import importlib.util
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

if os.environ.get("VOREL_SANITIZED"):
    pytest.skip("sanitizer runs start no worker processes", allow_module_level=True)
np = pytest.importorskip("numpy")
distributed = pytest.importorskip("dask.distributed")
dd = pytest.importorskip("dask.dataframe")
pd = pytest.importorskip("pandas")

import vorel  # noqa: E402
from vorel import batch  # noqa: E402
from vorel.batch import Status  # noqa: E402

EXAMPLE = Path(__file__).resolve().parents[2] / "examples" / "dask_book.py"
# Long enough for a loaded machine; far beyond what a finished task needs.
RESULT_TIMEOUT = 60


def load_example():
    found = importlib.util.spec_from_file_location(EXAMPLE.stem, EXAMPLE)
    module = importlib.util.module_from_spec(found)
    sys.modules[found.name] = module
    found.loader.exec_module(module)
    return module


dask_book = load_example()


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        client.upload_file(str(EXAMPLE))  # its task functions travel by name
        yield client


def same_bits(a, b) -> bool:
    a, b = np.ascontiguousarray(a), np.ascontiguousarray(b)
    return a.dtype == b.dtype and a.shape == b.shape and a.tobytes() == b.tobytes()


def one_process_valuation(book):
    """The book valued here by vorel.batch on plain arrays, one call per underlying, on every processor."""
    n = len(book)
    columns = {name: np.full(n, np.nan) for name in ("price", "delta", "gamma", "theta", "vega", "rho")}
    columns["status"] = np.full(n, 255, dtype=np.uint8)
    expiry = book["expiry"].to_numpy(dtype="datetime64[ns]")
    for name, frame in dask_book.markets().items():
        rows = (book["underlying"] == name).to_numpy()
        valued = batch.value(book["strike"].to_numpy()[rows], expiry[rows], book["option_type"].to_numpy()[rows],
                             book["exercise_style"].to_numpy()[rows], frame, at=dask_book.VALUATION_TIME,
                             config=dask_book.config())
        for field, values in valued._asdict().items():
            columns[field][rows] = values
    return columns


def test_cluster_prices_are_the_one_process_prices_bit_for_bit(client):
    n = 20_000
    with distributed.get_task_stream(client) as tasks:
        priced = dask_book.price_book(n, client)
    book = dask_book.local_book(n)

    # Both worker processes priced partitions of a book with both exercise styles.
    assert len({task["worker"] for task in tasks.data if "price_partition" in str(task["key"])}) == 2
    assert 0 < (book["exercise_style"] == int(vorel.ExerciseStyle.American)).sum() < n
    # The workers generated the same book, and the rows came back in book order.
    assert priced.index.equals(pd.RangeIndex(n, name="position"))
    assert priced[book.columns].equals(book)

    expected = one_process_valuation(book)
    assert (expected["status"] == Status.OK).all() and np.isfinite(expected["price"]).all()
    for field, values in expected.items():
        assert same_bits(priced[field].to_numpy(), values), field


def test_the_script_prices_on_its_cluster_and_writes_parquet(tmp_path):
    # Run as a script, the task functions travel by value: nothing they use may be a class object.
    n, output = 20_000, tmp_path / "book"
    done = subprocess.run([sys.executable, str(EXAMPLE), "--options", str(n), "--output", str(output)],
                          cwd=tmp_path, capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    assert f"options: {n:,} (" in done.stdout
    assert re.search(r"^cluster: [\d.]+ s wall, [\d,]+ options/s$", done.stdout, re.M)
    assert "cluster prices identical to one-process prices: True" in done.stdout

    written = pd.read_parquet(output)
    book = dask_book.local_book(n)
    assert written[book.columns].equals(book)
    for field, values in one_process_valuation(book).items():
        assert same_bits(written[field].to_numpy(), values), field


def panic(code):
    raise vorel.PanicException("broken invariant", code)


class TestPanicInATask:
    """PanicException derives from BaseException, which the workers record as the task's error."""

    def test_the_worker_records_it_and_survives(self, client):
        future = client.submit(panic, 1, pure=False)
        distributed.wait(future, timeout=RESULT_TIMEOUT)
        assert future.status == "error"
        error = future.exception(timeout=RESULT_TIMEOUT)
        assert type(error) is vorel.PanicException and error.args == ("broken invariant", 1)
        # Both workers still serve tasks.
        assert len(client.scheduler_info()["workers"]) == 2
        assert sorted(client.gather(client.map(abs, [-1, -2], pure=False))) == [1, 2]

    def test_it_reaches_the_client_as_itself(self, client):
        book = dd.from_pandas(dask_book.local_book(100), npartitions=2)
        with pytest.raises(vorel.PanicException) as raised:
            dask_book.compute(client, book.map_partitions(panic_partition, meta=book._meta), timeout=RESULT_TIMEOUT)
        assert raised.value.args == ("broken invariant", 2)


def panic_partition(part):
    if part.index[0] > 0:  # one partition of two
        panic(2)
    return part
