"""The module object, its class registry and the properties every class shares."""

import importlib
import pickle
import shutil
import subprocess
import sys
from datetime import datetime, timezone

import pytest

import vorel
from entry_points import ENTRIES, OBSERVE

REGISTERED = [
    "Compounding", "DayCountConvention", "Frequency", "InterestRate", "VanillaOption", "OptionMarketFrame", "Tenor",
    "RateCurve", "VolSurface", "FdmConfig", "Config", "OptionType", "ExerciseStyle", "ValuationBuilder",
    "OptionResult", "Greeks", "InstrumentPolicy", "PeriodCalculator", "DividendSchedule", "TransformConfig",
]
def test_all_lists_registered_classes_in_order():
    assert vorel.__all__ == REGISTERED
    assert not any(hasattr(vorel, name) for name in ("Thirty360", "ActAct", "ImpliedVolBuilder"))


def test_reimport_returns_the_cached_module():
    module = sys.modules.pop("vorel")
    try:
        again = importlib.import_module("vorel")
        assert again is module
    finally:
        sys.modules["vorel"] = module


def test_sub_interpreter_import_is_refused():
    interpreters = pytest.importorskip("_xxsubinterpreters")
    interp = interpreters.create()
    try:
        with pytest.raises(interpreters.RunFailedError, match="ImportError.*sub-interpreters"):
            interpreters.run_string(interp, "import vorel")
    finally:
        interpreters.destroy(interp)


def test_main_interpreter_refused_after_a_sub_interpreter_is_told_who_holds_the_module():
    pytest.importorskip("_xxsubinterpreters")
    script = ("import _xxsubinterpreters as i\n"
              "i.run_string(i.create(), 'import vorel')\n"
              "try:\n    import vorel\nexcept ImportError as e:\n    print(e)\n")
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True)
    assert done.stdout.startswith("vorel is loaded in sub-interpreter "), done.stdout + done.stderr
    assert "one interpreter per process only" in done.stdout


_OPTION = vorel.VanillaOption(1.0, datetime(2030, 1, 1, tzinfo=timezone.utc), vorel.OptionType.Call,
                              vorel.ExerciseStyle.European)
HIDDEN = {"Thirty360": vorel.DayCountConvention.THIRTY_360, "ActAct": vorel.DayCountConvention.ACT_ACT,
          "ImpliedVolBuilder": type(_OPTION.implied_vol())}


@pytest.mark.parametrize("name", REGISTERED + list(HIDDEN))
def test_classes_are_final_plain_and_cannot_be_changed_from_python(name):
    cls = HIDDEN.get(name) or getattr(vorel, name)
    assert cls.__module__ == "builtins" and cls.__qualname__ == name
    with pytest.raises(TypeError, match="not an acceptable base type"):
        type("Sub", (cls,), {})
    # A replaced __new__ would let object.__new__ make an instance whose native value never existed.
    for attribute, value in [("__new__", lambda c: object.__new__(c)), ("__module__", []), ("__qualname__", "X"),
                             ("extra", 1)]:
        with pytest.raises(TypeError, match="immutable type"):
            setattr(cls, attribute, value)
    assert cls.__module__ == "builtins"
    with pytest.raises(TypeError):
        object.__new__(cls)
    with pytest.raises(TypeError):
        vorel.DayCountConvention.ACT_360.__class__ = cls
    if name in ("Thirty360", "ActAct"):
        with pytest.raises(TypeError, match=f"^cannot create 'builtins.{name}' instances$"):
            cls()


def test_instances_have_no_dict_and_no_weak_references():
    member = vorel.DayCountConvention.ACT_360
    assert not hasattr(member, "__dict__")
    with pytest.raises(TypeError):
        __import__("weakref").ref(member)


class _Renaming(type):
    """A metaclass whose classes report names that are not strings, or fail to report them."""
    def __getattribute__(cls, name):
        if name == "__qualname__":
            return cls.reported() if callable(cls.reported) else cls.reported
        return super().__getattribute__(name)


def _raise():
    raise LookupError("no name")


@pytest.mark.parametrize("reported", [7, _raise, "Fine"], ids=repr)
def test_cast_errors_name_a_foreign_class_by_its_own_name(reported):
    foreign = _Renaming("Foreign", (), {"reported": staticmethod(reported) if callable(reported) else reported})
    with pytest.raises(TypeError) as info:
        vorel.ValuationBuilder(foreign())
    assert str(info.value) == "argument 'instrument': 'Foreign' object cannot be cast as 'VanillaOption'"
    with pytest.raises(TypeError, match="^argument 'start': 'Foreign' object cannot be cast as 'date'$"):
        vorel.PeriodCalculator.days_between(foreign(), foreign(), vorel.DayCountConvention.ACT_360)


def _shown(value, receiver):
    if value is receiver:
        return "self", OBSERVE.get(type(receiver).__name__, pickle.dumps)(receiver)
    return pickle.dumps(value) if "__reduce__" in vars(type(value)) else repr(value)


@pytest.mark.parametrize("entry", [e for e in ENTRIES if e.kind in ("new", "static", "method") and not e.variant],
                         ids=lambda e: e.label)
def test_documented_signatures_bind_by_keyword_and_show_the_defaults(entry):
    owner = HIDDEN.get(entry.name.split(".")[0]) or getattr(vorel, entry.name.split(".")[0])
    documented = (owner if entry.kind == "new" else getattr(owner, entry.member)).__text_signature__
    names = [n for n in documented.strip("()").split(", ") if n and n != "$self"]
    assert len(names) == len(entry.valid), documented
    assert sum(not n.endswith("=None") for n in names) == (len(names) if entry.required is None else entry.required)
    made = [entry.make() if entry.make else None for _ in range(2)]
    by_position = _shown(entry.call(made[0], *entry.valid), made[0])
    keywords = {n.removesuffix("=None"): v for n, v in zip(names, entry.valid)}
    assert _shown(entry.call(made[1], **keywords), made[1]) == by_position, documented


def test_extension_is_abi3_and_exports_only_its_entry_point():
    assert vorel.__file__.endswith(".abi3.so")
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm not available")
    out = subprocess.run([nm, "-D", "--defined-only", vorel.__file__], check=True, capture_output=True, text=True)
    symbols = [line.split()[-1] for line in out.stdout.splitlines() if line.strip()]
    assert symbols == ["PyInit_vorel"]


def declared_entry_points():
    """What the classes declare, read back through introspection: (name, kind) pairs."""
    option = vorel.VanillaOption(100.0, datetime(2030, 1, 1, tzinfo=timezone.utc), vorel.OptionType.Put,
                                 vorel.ExerciseStyle.European)
    classes = [getattr(vorel, name) for name in vorel.__all__] + [type(option.implied_vol())]
    found = set()
    for cls in classes:
        if cls.__text_signature__ is not None and cls.__name__ in vorel.__all__:
            found.add((f"{cls.__name__}.__new__", "new"))
        for member, value in vars(cls).items():
            name = f"{cls.__name__}.{member}"
            if isinstance(value, staticmethod):
                found.add((name, "static"))
            elif member in ("__repr__", "__int__"):
                found.add((name, "get"))
            elif type(value).__name__ == "method_descriptor" and member != "__reduce__":
                found.add((name, "method"))
            elif type(value).__name__ == "getset_descriptor":
                found.add((name, "get"))
    return found


def test_catalogue_lists_every_declared_entry_point():
    # The leak, fuzz and memcheck runs reach only what entry_points.py lists.
    listed = {(e.name, e.kind) for e in ENTRIES if e.kind != "set"}
    assert declared_entry_points() == listed
