"""The examples of the user guide and the README run, in order, and print what the text says they print."""

import contextlib
import io
import re
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]


def expected_output(code: str) -> list[str]:
    """The guide writes each print's output as a comment: at the end of the
    print (which may span lines) or on the comment lines right after it."""
    expected, depth, after_print = [], 0, False
    for line in code.splitlines():
        statement, _, comment = line.partition("#")
        if not statement.strip():
            if after_print and comment:
                expected.append(comment.strip())
            after_print = after_print and bool(comment)  # a blank line ends the output
            continue
        if "print(" in statement:
            depth, after_print = 0, True
        elif depth == 0:
            after_print = False
        depth += statement.count("(") - statement.count(")")
        if after_print and comment and depth == 0:
            expected.append(comment.strip())
    return expected


@pytest.mark.parametrize("document", ["docs/guide.md", "README.md"])
def test_examples_print_what_the_text_shows(document):
    path = ROOT / document
    codes = re.findall(r"```python\n(.*?)```", path.read_text(), re.S)
    assert codes
    namespace: dict = {}
    for code in codes:
        printed = io.StringIO()
        with contextlib.redirect_stdout(printed):
            exec(compile(code, str(path), "exec"), namespace)
        assert printed.getvalue().splitlines() == expected_output(code), code
