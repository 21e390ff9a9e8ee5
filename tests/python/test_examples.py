"""The example programs run to completion with the vorel under test, with and without
matplotlib, write their plots only where asked, and print sound numbers."""

import importlib.util
import os
import re
import subprocess
import sys
from collections.abc import Callable
from pathlib import Path

import pytest

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
SKIP_MESSAGE = "Plot skipped: matplotlib is not installed (pip install matplotlib)."
# Runs the script named by the first argument as __main__, with the rest as its
# arguments, after making `import matplotlib` fail.
WITHOUT_MATPLOTLIB = ("import runpy, sys; sys.modules['matplotlib'] = None; "
                      "sys.argv = sys.argv[1:]; runpy.run_path(sys.argv[0], run_name='__main__')")


def numeric_rows(out: str, width: int) -> list[list[float]]:
    """The output lines made of exactly `width` numbers (percent signs ignored)."""
    rows = []
    for line in out.splitlines():
        cells = line.replace("%", "").split()
        if len(cells) == width and all(re.fullmatch(r"[-+]?\d+(\.\d+)?", cell) for cell in cells):
            rows.append([float(cell) for cell in cells])
    return rows


def check_quickstart(out: str) -> None:
    # Each option's own price, solved back, gives the 20% it was priced at.
    solved = re.findall(r"quoted +([\d.]+) -> implied volatility ([\d.]+)%", out)
    assert len(solved) == 8
    assert all(abs(float(vol) - 20.0) < 0.01 for quote, vol in solved if quote != "8.0000")


def check_smile(out: str) -> None:
    # Both strips (closed form, then finite differences) give back the input smile.
    largest = [float(x) for x in re.findall(r"Largest \|implied - input\|.*: (\S+)", out)]
    assert len(largest) == 2 and all(x < 1e-3 for x in largest)
    # strike, quote, input vol, implied as American, implied as European
    american = numeric_rows(out, 5)
    assert len(american) == 9
    # Early exercise is worth something, so the European reading is too high.
    assert all(as_european > vol for _, _, vol, _, as_european in american)


def check_american_vs_european(out: str) -> None:
    rows = numeric_rows(out, 5)  # spot, European, American, premium, intrinsic
    assert len(rows) == 21
    for spot, european, american, premium, intrinsic in rows:
        assert american > european and premium > 0
        assert american >= intrinsic - 1e-3  # the grid's accuracy at the exercise boundary
    # Deep in the money the American put is exercised at once.
    assert rows[0][2] == pytest.approx(rows[0][4], abs=1e-3)


def check_chain(out: str) -> None:
    assert re.search(r"100,000 options in [\d.]+ s", out)
    assert re.search(r"beyond the price's rounding: 0$", out, re.M)


EXAMPLE_CHECKS: dict[str, tuple[list[str], Callable[[str], None]]] = {
    "quickstart.py": ([], check_quickstart),
    "smile.py": (["smile.png"], check_smile),
    "american_vs_european.py": (["american_vs_european.png"], check_american_vs_european),
    "chain.py": ([], check_chain),
}


# Examples that load numpy themselves, so leaks are not checked in their runs.
LOADS_NUMPY = {"chain.py"}


# Examples run by a suite of their own: the Dask book by test_dask.py, on a cluster.
RUN_ELSEWHERE = {"dask_book.py"}


def test_every_example_is_covered() -> None:
    assert sorted([*EXAMPLE_CHECKS, *RUN_ELSEWHERE]) == sorted(p.name for p in EXAMPLES.glob("*.py"))


@pytest.mark.parametrize("matplotlib", [False, True], ids=["no-matplotlib", "matplotlib"])
@pytest.mark.parametrize("name", list(EXAMPLE_CHECKS))
def test_example(name: str, matplotlib: bool, tmp_path: Path) -> None:
    # Looked up, not imported: numpy, which matplotlib loads, keeps objects at
    # exit that the sanitizer run's leak checker would report against this process.
    if matplotlib and importlib.util.find_spec("matplotlib") is None:
        pytest.skip("matplotlib is not installed")
    plots, check = EXAMPLE_CHECKS[name]
    output_dir = tmp_path / "plots"
    args = ["--output-dir", str(output_dir)] if plots else []
    hide = [] if matplotlib else ["-c", WITHOUT_MATPLOTLIB]
    # Same interpreter and environment, so the vorel under test (and, in the
    # sanitizer run, the preloaded runtime) is the one the example uses. Leaks
    # are checked in the runs without matplotlib, where numpy stays unloaded.
    env = dict(os.environ)
    if (matplotlib or name in LOADS_NUMPY) and "ASAN_OPTIONS" in env:
        env["ASAN_OPTIONS"] += ":detect_leaks=0"
    proc = subprocess.run([sys.executable, *hide, str(EXAMPLES / name), *args], cwd=tmp_path,
                          env=env, capture_output=True, text=True, timeout=600)
    assert proc.returncode == 0, proc.stderr
    check(proc.stdout)

    written = sorted(p.relative_to(tmp_path) for p in tmp_path.rglob("*") if p.is_file())
    if not matplotlib or not plots:
        assert written == []
        assert (SKIP_MESSAGE in proc.stdout) == bool(plots)
        return
    assert SKIP_MESSAGE not in proc.stdout
    assert written == [Path("plots", png) for png in plots]
    for png in plots:
        assert str(output_dir / png) in proc.stdout
        assert (output_dir / png).read_bytes().startswith(PNG_SIGNATURE)
