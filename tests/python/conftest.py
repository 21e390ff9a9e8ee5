import os
import sys
from pathlib import Path

import vorel


def pytest_report_header(config):
    return f"vorel extension: {vorel.__file__}"


def pytest_sessionstart(session):
    # The sanitizer run must test its own instrumented build, not an installed one.
    expected = os.environ.get("VOREL_EXPECT_EXTENSION")
    if expected and Path(vorel.__file__).parent != Path(expected):
        raise RuntimeError(f"expected vorel from {expected}, imported {vorel.__file__}")


def pytest_terminal_summary(terminalreporter):
    # Totals of the leak and hostile-argument suites, for the record.
    for name in ("test_leaks", "test_fuzz"):
        if (module := sys.modules.get(name)) and (line := module.summary()):
            terminalreporter.write_line(line)
