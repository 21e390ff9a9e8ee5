"""`pip wheel .` gives one abi3 wheel that installs into a fresh environment of every
CPython from 3.11 up that this machine has, and runs the quickstart there."""

import glob
import os
import re
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
MODULE_ATTRIBUTES = """
import importlib.metadata, sys, vorel
public = {name for name in dir(vorel) if not (name.startswith("__") and name.endswith("__"))}
assert public == {*vorel.__all__, "PanicException"} and len(vorel.__all__) == 20, public
assert vorel.OptionType.Call is vorel.OptionType.Call and vorel.DayCountConvention.THIRTY_360.US_ISDA
try:
    vorel.Config.__new__ = None
except TypeError:
    pass
else:
    raise AssertionError("classes can be changed")
assert vorel.__file__.startswith(sys.prefix), vorel.__file__
print(importlib.metadata.version("vorel"))
"""


def interpreters():
    """Every working CPython 3.11 or later found on the path or under pyenv, one per minor version."""
    found = {sys.version_info[:2]: sys.executable}
    pyenv = Path(os.environ.get("PYENV_ROOT", Path.home() / ".pyenv")) / "versions"
    for minor in range(11, 20):
        candidates = sorted(glob.glob(f"{pyenv}/3.{minor}.*/bin/python3.{minor}")) + [shutil.which(f"python3.{minor}")]
        for candidate in filter(None, candidates):
            if (3, minor) in found:
                break
            probe = subprocess.run([candidate, "-c", "import sys, venv; print(sys.version_info[1])"],
                                   capture_output=True, text=True)
            if probe.returncode == 0 and probe.stdout.strip() == str(minor):
                found[(3, minor)] = candidate
    return [pytest.param(python, id=f"{major}.{minor}") for (major, minor), python in sorted(found.items())]


@pytest.fixture(scope="module")
def wheel(tmp_path_factory):
    out = tmp_path_factory.mktemp("dist")
    # Built as a user builds it: an isolated environment from the project's build requirements.
    subprocess.run([sys.executable, "-m", "pip", "wheel", "--quiet", "--no-deps", "--wheel-dir", str(out), str(ROOT)],
                   check=True)
    wheels = list(out.iterdir())
    assert len(wheels) == 1, wheels
    return wheels[0]


def test_one_abi3_wheel_holding_the_extension_and_its_stub(wheel):
    assert re.fullmatch(r"vorel-0\.1\.0-cp311-abi3-linux_\w+\.whl", wheel.name), wheel.name
    with zipfile.ZipFile(wheel) as archive:
        names = archive.namelist()
    assert sorted(n for n in names if not n.startswith("vorel-0.1.0.dist-info/")) == [
        "vorel/__init__.abi3.so", "vorel/__init__.pyi", "vorel/batch.py", "vorel/batch.pyi", "vorel/py.typed"]
    assert {"vorel-0.1.0.dist-info/licenses/LICENSE", "vorel-0.1.0.dist-info/licenses/LICENSES/fdlibm.txt"} <= set(names)


@pytest.mark.parametrize("python", interpreters())
def test_wheel_installs_and_runs_in_a_fresh_environment(wheel, tmp_path, python):
    env_dir = tmp_path / "env"
    subprocess.run([python, "-m", "venv", str(env_dir)], check=True)
    bin_python = str(env_dir / "bin" / "python")
    subprocess.run([bin_python, "-m", "pip", "install", "--quiet", "--no-index", str(wheel)], check=True)
    clean = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "PYTHONHOME", "LD_PRELOAD")}
    run = lambda *args: subprocess.run([bin_python, *args], cwd=tmp_path, env=clean,  # noqa: E731
                                       capture_output=True, text=True)
    attributes = run("-c", MODULE_ATTRIBUTES)
    assert attributes.returncode == 0, attributes.stderr
    assert attributes.stdout.strip() == "0.1.0"
    quickstart = run(str(ROOT / "examples" / "quickstart.py"))
    assert quickstart.returncode == 0, quickstart.stderr
    assert "Implied volatility" in quickstart.stdout
