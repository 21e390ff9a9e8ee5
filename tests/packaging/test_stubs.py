"""The installed type stub against the installed module, and the examples type-checked with it."""

import ast
import inspect
import subprocess
import sys
from datetime import datetime, timezone
from pathlib import Path

import pytest

import vorel

ROOT = Path(__file__).resolve().parents[2]
SOURCE_STUB = ROOT / "src" / "bindings" / "vorel.pyi"
BATCH_STUB = SOURCE_STUB.with_name("batch.pyi")
INSTALLED_STUB = Path(vorel.__file__).with_name("__init__.pyi")


def run(*args, cwd):
    return subprocess.run([sys.executable, "-m", *args], cwd=cwd, capture_output=True, text=True)


def test_stub_and_marker_are_installed_beside_the_extension():
    assert INSTALLED_STUB.read_text() == SOURCE_STUB.read_text()
    assert INSTALLED_STUB.with_name("py.typed").is_file()


def test_stubtest_finds_no_difference(tmp_path):
    done = run("mypy.stubtest", "vorel", cwd=tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr


def test_examples_and_typed_usage_type_check(tmp_path):
    targets = [str(p) for p in sorted((ROOT / "examples").glob("*.py"))]
    targets.append(str(Path(__file__).with_name("typed_usage.py")))
    done = run("mypy", "--strict", "--no-incremental", "--python-version", "3.11", *targets, cwd=tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr


def stub_classes():
    return {node.name: node for node in ast.parse(SOURCE_STUB.read_text()).body if isinstance(node, ast.ClassDef)}


def stub_parameters(function):
    args = function.args
    names = [a.arg for a in args.posonlyargs + args.args + args.kwonlyargs][1:]  # without self / cls
    return [name.rstrip("_") for name in names]  # `from_` stands for `from`


def runtime_parameters(text_signature):
    inner = text_signature.strip("()")
    return [part.split("=")[0].strip() for part in inner.split(",") if part.strip() not in ("", "$self")]


# What the checker cannot reach: a class that is not a module attribute, and a
# parameter named with a keyword, which makes the run-time signature unreadable.
def implied_vol_builder():
    option = vorel.VanillaOption(100.0, datetime(2030, 1, 1, tzinfo=timezone.utc),
                                 vorel.OptionType.Call, vorel.ExerciseStyle.European)
    return type(option.implied_vol())


@pytest.mark.parametrize("stub_name, runtime_class, members", [
    ("_ImpliedVolBuilder", implied_vol_builder(), None),
    ("Tenor", vorel.Tenor, ["advance"]),
])
def test_members_the_checker_cannot_see(stub_name, runtime_class, members):
    stub = {f.name: f for f in stub_classes()[stub_name].body if isinstance(f, ast.FunctionDef)}
    methods = {name: obj for name, obj in vars(runtime_class).items()
               if getattr(obj, "__text_signature__", None) and not name.startswith("__")}
    if members is None:
        assert set(stub) == set(methods) | {"__new__"}
        assert stub_parameters(stub["__new__"]) == list(inspect.signature(runtime_class).parameters)
    for name in members or methods:
        assert stub_parameters(stub[name]) == runtime_parameters(methods[name].__text_signature__), name
    assert "advance" not in methods or stub["advance"].args.posonlyargs  # `from` can only be passed by position


def is_docstring(node):
    return isinstance(node, ast.Expr) and isinstance(node.value, ast.Constant) and isinstance(node.value.value, str)


def undocumented(body, scope=""):
    """Names in `body` without a docstring: classes, functions (of several definitions of one name, such
    as overloads or a property's getter and setter, the first: the one editors show) and attributes, whose
    docstring is the string statement right after them. Dunder assignments such as `__all__` need none."""
    missing, seen = [], set()
    for node, after in zip(body, body[1:] + [None]):
        if isinstance(node, ast.ClassDef):
            missing += undocumented(node.body, f"{scope}{node.name}.")
        if isinstance(node, (ast.ClassDef, ast.FunctionDef)) and node.name not in seen:
            seen.add(node.name)
            missing += [] if ast.get_docstring(node) else [scope + node.name]
        elif isinstance(node, (ast.AnnAssign, ast.Assign)):
            targets = [node.target] if isinstance(node, ast.AnnAssign) else node.targets
            names = [t.id for t in targets if isinstance(t, ast.Name) and not t.id.startswith("__")]
            missing += [] if is_docstring(after) else [scope + name for name in names]
    return missing


@pytest.mark.parametrize("stub", [SOURCE_STUB, BATCH_STUB], ids=lambda path: path.name)
def test_every_class_function_and_attribute_of_the_stubs_has_a_docstring(stub):
    tree = ast.parse(stub.read_text())
    assert ast.get_docstring(tree), "module"
    assert undocumented(tree.body) == []
