"""`make wheel` gives one manylinux abi3 wheel that installs into a fresh environment of every
CPython from 3.11 up that this machine has, and runs the quickstart there; the sdist builds
and installs too."""

import email
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


def make(target, dist):
    subprocess.run(["make", "--no-print-directory", "-C", str(ROOT), target, f"DIST={dist}"], check=True,
                   stdout=subprocess.DEVNULL)
    return sorted(p for p in dist.iterdir() if p.is_file())


@pytest.fixture(scope="module")
def wheel(tmp_path_factory):
    wheels = make("wheel", tmp_path_factory.mktemp("dist"))
    assert len(wheels) == 1, wheels
    return wheels[0]


@pytest.fixture(scope="module")
def metadata(wheel):
    with zipfile.ZipFile(wheel) as archive:
        return email.message_from_bytes(archive.read("vorel-0.1.0.dist-info/METADATA"))


def test_one_manylinux_abi3_wheel_holding_the_extension_its_stubs_and_licences(wheel):
    tag = re.fullmatch(r"vorel-0\.1\.0-cp311-abi3-manylinux_2_(\d+)_x86_64\.whl", wheel.name)
    assert tag and int(tag[1]) <= 28, wheel.name
    with zipfile.ZipFile(wheel) as archive:
        names = archive.namelist()
    files = [n for n in names if not n.endswith("/")]
    assert sorted(n for n in files if not n.startswith("vorel-0.1.0.dist-info/")) == [
        "vorel/__init__.abi3.so", "vorel/__init__.pyi", "vorel/batch.py", "vorel/batch.pyi", "vorel/py.typed"]
    assert {"vorel-0.1.0.dist-info/licenses/LICENSE", "vorel-0.1.0.dist-info/licenses/LICENSES/fdlibm.txt"} <= set(names)


def test_the_tag_claimed_is_the_tag_auditwheel_finds(wheel):
    shown = subprocess.run([str(Path(sys.executable).with_name("auditwheel")), "show", str(wheel)],
                           capture_output=True, text=True, check=True).stdout
    earned = re.search(r'consistent\s+with\s+the\s+following\s+platform\s+tag:\s+"([^"]+)"', shown)
    assert earned, shown
    assert wheel.name.endswith(f"-{earned[1]}.whl"), shown


def test_metadata_for_an_index_page(metadata):
    urls = dict(entry.split(", ", 1) for entry in metadata.get_all("Project-URL"))
    assert set(urls) == {"Homepage", "Documentation", "Source", "Issues"}
    assert all(re.fullmatch(r"https://\S+", url) for url in urls.values()), urls
    assert "Typing :: Typed" in metadata.get_all("Classifier")
    assert set(metadata.get_all("License-File")) == {"LICENSE", "LICENSES/fdlibm.txt"}
    assert metadata["Requires-Python"] == ">=3.11"
    description = metadata.get_payload()
    assert "make wheel" in description
    # A relative link is dead on an index page.
    targets = re.findall(r"\]\(([^)\s]*)", description) + re.findall(r"(?:href|src)=\"([^\"]*)", description)
    assert all(re.match(r"https://|#", target) for target in targets), targets


def run_in_fresh_environment(python, tmp_path, requirement):
    env_dir = tmp_path / "env"
    subprocess.run([python, "-m", "venv", str(env_dir)], check=True)
    bin_python = str(env_dir / "bin" / "python")
    clean = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "PYTHONHOME", "LD_PRELOAD")}
    subprocess.run([bin_python, "-m", "pip", "install", "--quiet", *requirement], check=True, env=clean)
    run = lambda *args: subprocess.run([bin_python, *args], cwd=tmp_path, env=clean,  # noqa: E731
                                       capture_output=True, text=True)
    attributes = run("-c", MODULE_ATTRIBUTES)
    assert attributes.returncode == 0, attributes.stderr
    assert attributes.stdout.strip() == "0.1.0"
    quickstart = run(str(ROOT / "examples" / "quickstart.py"))
    assert quickstart.returncode == 0, quickstart.stderr
    assert "Implied volatility" in quickstart.stdout


@pytest.mark.parametrize("python", interpreters())
def test_wheel_installs_and_runs_in_a_fresh_environment(wheel, tmp_path, python):
    run_in_fresh_environment(python, tmp_path, ["--no-index", str(wheel)])


def test_sdist_builds_and_installs_in_a_fresh_environment(tmp_path):
    sdists = make("sdist", tmp_path / "dist")
    assert [p.name for p in sdists] == ["vorel-0.1.0.tar.gz"]
    # Built as pip builds it: an isolated environment with the build requirements from the index.
    run_in_fresh_environment(sys.executable, tmp_path, [str(sdists[0])])
