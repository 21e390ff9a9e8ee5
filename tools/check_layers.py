#!/usr/bin/env python3
"""Checks that the folders of src/ include each other only downwards.

A file may include from its own folder or from a folder in a lower layer:

    core < math < market, instruments, methods < orchestration < execution < bindings

market, instruments and methods share a layer and include none of each other: the
finite-difference pieces know nothing of the option or the market, and the engines
(orchestration, execution) bring the three together. platform stands apart: it
includes no other folder and none includes it. Only bindings and platform may
include Python.h.

Every include between folders points to a lower layer, so no two folders can include
each other, directly or through others. Prints which folder includes which, then every
include that breaks the order (file:line), and exits 1 if there is one.

Usage: tools/check_layers.py [SRC_DIR]   (default: the src/ beside this script)
"""

import re
import sys
from collections import defaultdict
from pathlib import Path

LAYERS = {
    "core": 0,
    "math": 1,
    "market": 2,
    "instruments": 2,
    "methods": 2,
    "orchestration": 3,
    "execution": 4,
    "bindings": 5,
}
APART = {"platform"}
MAY_INCLUDE_PYTHON = {"bindings", "platform"}
SOURCE_SUFFIXES = {".h", ".hpp", ".cpp", ".inc"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def folder_allows(source: str, target: str) -> bool:
    if source == target:
        return True
    if source in APART or target in APART:
        return False
    return LAYERS[target] < LAYERS[source]


def main(argv: list[str]) -> int:
    src = Path(argv[1]) if len(argv) > 1 else Path(__file__).resolve().parent.parent / "src"
    known = set(LAYERS) | APART
    problems: list[str] = []
    # including folder -> the folders it includes
    edges: dict[str, set[str]] = defaultdict(set)

    for path in sorted(p for p in src.rglob("*") if p.is_file() and p.suffix in SOURCE_SUFFIXES):
        rel = path.relative_to(src)
        source = rel.parts[0] if len(rel.parts) > 1 else ""
        if source not in known:
            problems.append(f"{src.name}/{rel}: not in a known folder ({', '.join(sorted(known))})")
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), start=1):
            match = INCLUDE.match(line)
            if not match:
                continue
            where = f"{src.name}/{rel}:{number}"
            delimiter, name = match.groups()
            if Path(name).name == "Python.h" and source not in MAY_INCLUDE_PYTHON:
                problems.append(f"{where}: includes Python.h outside {' and '.join(sorted(MAY_INCLUDE_PYTHON))}")
            if delimiter != '"' or Path(name).name == "Python.h":
                continue
            target = name.split("/", 1)[0] if "/" in name else ""
            if target not in known:
                problems.append(f"{where}: includes \"{name}\", which names no folder of {src.name}/")
                continue
            if target != source:
                edges[source].add(target)
            if not folder_allows(source, target):
                problems.append(f"{where}: {source} includes {target} (\"{name}\") against the layer order")

    for folder in sorted(known, key=lambda f: (LAYERS.get(f, len(LAYERS)), f)):
        print(f"{folder} includes {', '.join(sorted(edges.get(folder, ()))) or 'no other folder'}")
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
