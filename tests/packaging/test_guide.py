"""The user guide's examples run, in order, and print what the guide says they print."""

import contextlib
import io
import re
from pathlib import Path

GUIDE = Path(__file__).resolve().parents[2] / "docs" / "guide.md"


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


def test_guide_examples_print_what_the_guide_shows():
    blocks = re.findall(r"```python\n(.*?)```", GUIDE.read_text(), re.S)
    assert len(blocks) > 10
    namespace: dict = {}
    for code in blocks:
        printed = io.StringIO()
        with contextlib.redirect_stdout(printed):
            exec(compile(code, str(GUIDE), "exec"), namespace)
        assert printed.getvalue().splitlines() == expected_output(code), code
