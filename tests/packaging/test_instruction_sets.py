"""The installed extension runs on any x86-64 processor: vector instructions beyond SSE2 appear only in the
kernels compiled for AVX2 and AVX-512, which vorel calls only where the processor has them."""

import platform
import re
import shutil
import subprocess
from pathlib import Path

import pytest

import vorel

# The installed extension is stripped; the build tree `make install` builds it in keeps the function names.
BUILT = Path(__file__).resolve().parents[2] / "build" / "wheel" / "vorel" / Path(vorel.__file__).name

# The namespaces the kernels for wider instruction sets are compiled in.
KERNEL = re.compile(r"::avx2(_kernel)?::|::avx512(_kernel)?::")
# An instruction with a VEX or EVEX encoding: a "v" mnemonic on vector or mask registers.
WIDE = re.compile(r"^\s*[0-9a-f]+:\s+v\w+\s.*%(?:[xyz]mm\d+|k[0-7])")


@pytest.mark.skipif(platform.machine() not in ("x86_64", "AMD64"), reason="x86-64 only")
@pytest.mark.skipif(shutil.which("objdump") is None, reason="needs objdump")
@pytest.mark.skipif(not BUILT.is_file(), reason="needs the build tree of `make install`")
def test_wide_instructions_only_in_the_kernels_that_are_chosen_for_them():
    listing = subprocess.run(["objdump", "-d", "-C", "--no-show-raw-insn", str(BUILT)], capture_output=True,
                             text=True, check=True).stdout
    function, outside, kernels = "", set(), set()
    for line in listing.splitlines():
        if line.endswith(">:"):
            function = line
        elif WIDE.match(line):
            (kernels if KERNEL.search(function) else outside).add(function)
    assert kernels, "no vector kernel found: the check would pass vacuously"
    assert not outside, sorted(outside)[:5]
