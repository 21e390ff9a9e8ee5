"""The module object, its class registry and the properties every class shares."""

import importlib
import inspect
import shutil
import subprocess
import sys
from datetime import datetime, timezone

import pytest

import vorel
from entry_points import NO_CONSTRUCTOR

REGISTERED = [
    "Compounding", "DayCountConvention", "Frequency", "InterestRate", "VanillaOption", "OptionMarketFrame", "Tenor",
    "RateCurve", "VolSurface", "FdmConfig", "Config", "OptionType", "ExerciseStyle", "ValuationBuilder",
    "OptionResult", "Greeks", "InstrumentPolicy", "PeriodCalculator", "DividendSchedule", "TransformConfig",
]
def test_all_lists_registered_classes_in_order():
    assert vorel.__all__ == REGISTERED
    assert all(isinstance(getattr(vorel, name), type) for name in REGISTERED)
    assert not any(hasattr(vorel, name) for name in ("Thirty360", "ActAct", "ImpliedVolBuilder"))


def test_reimport_returns_the_cached_module():
    module = sys.modules.pop("vorel")
    try:
        again = importlib.import_module("vorel")
        assert again is module
        assert again.Tenor is module.Tenor
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


@pytest.mark.parametrize("name", REGISTERED)
def test_classes_are_final_and_plain(name):
    cls = getattr(vorel, name)
    assert cls.__module__ == "builtins" and cls.__qualname__ == name
    assert name not in NO_CONSTRUCTOR or cls.__doc__ == ""  # their refusal is in the error-path catalogue
    with pytest.raises(TypeError, match="not an acceptable base type"):
        type("Sub", (cls,), {})
    member = vorel.DayCountConvention.ACT_360
    assert not hasattr(member, "__dict__")
    with pytest.raises(TypeError):
        __import__("weakref").ref(member)


def _every_class():
    hidden = [type(vorel.DayCountConvention.THIRTY_360), type(vorel.DayCountConvention.ACT_ACT),
              type(vorel.VanillaOption(1.0, datetime(2030, 1, 1, tzinfo=timezone.utc), vorel.OptionType.Call,
                                       vorel.ExerciseStyle.European).implied_vol())]
    return [getattr(vorel, name) for name in REGISTERED] + hidden


@pytest.mark.parametrize("cls", _every_class(), ids=lambda c: c.__qualname__)
def test_classes_cannot_be_changed_from_python(cls):
    # A replaced __new__ would let object.__new__ make an instance whose native value never existed.
    for name, value in [("__new__", lambda c: object.__new__(c)), ("__module__", []), ("__qualname__", "X"),
                        ("extra", 1)]:
        with pytest.raises(TypeError, match="immutable type"):
            setattr(cls, name, value)
    assert cls.__module__ == "builtins"
    with pytest.raises(TypeError):
        object.__new__(cls)
    with pytest.raises(TypeError):
        vorel.DayCountConvention.ACT_360.__class__ = cls
    if cls.__name__ in (*NO_CONSTRUCTOR, "Thirty360", "ActAct"):
        with pytest.raises(TypeError, match=f"^cannot create 'builtins.{cls.__name__}' instances$"):
            cls()


class _Renaming(type):
    """A metaclass whose classes report names that are not strings, or fail to report them."""
    def __getattribute__(cls, name):
        if name == "__qualname__":
            return cls.reported() if callable(cls.reported) else cls.reported
        return super().__getattribute__(name)


def _raise():
    raise LookupError("no name")


@pytest.mark.parametrize("reported", [[], 7, None, _raise, "Fine"], ids=repr)
def test_cast_errors_name_a_foreign_class_by_its_own_name(reported):
    foreign = _Renaming("Foreign", (), {"reported": staticmethod(reported) if callable(reported) else reported})
    with pytest.raises(TypeError) as info:
        vorel.ValuationBuilder(foreign())
    assert str(info.value) == "argument 'instrument': 'Foreign' object cannot be cast as 'VanillaOption'"
    with pytest.raises(TypeError, match="^argument 'start': 'Foreign' object cannot be cast as 'date'$"):
        vorel.PeriodCalculator.days_between(foreign(), foreign(), vorel.DayCountConvention.ACT_360)


def test_text_signatures():
    assert str(inspect.signature(vorel.InterestRate)) == "(rate, compounding, dcc)"
    assert vorel.InterestRate.discount_factor.__text_signature__ == "($self, t)"
    assert str(inspect.signature(vorel.Tenor.days)) == "(n)"
    assert str(inspect.signature(vorel.PeriodCalculator.year_fraction)) == "(start, end, convention)"
    assert vorel.Tenor.advance.__text_signature__ == "($self, from)"
    assert str(inspect.signature(vorel.OptionMarketFrame)) == (
        "(spot, rate_curve, vol_surface, dividends=None, borrow_curve=None)"
    )
    assert str(inspect.signature(vorel.DividendSchedule)) == "(raw_divs)"
    assert str(inspect.signature(vorel.RateCurve.interpolated)) == "(reference_date, tenors, rates)"
    assert vorel.VolSurface.volatility.__text_signature__ == "($self, strike, t)"
    assert str(inspect.signature(vorel.VanillaOption)) == "(strike, expiry_time, option_type, exercise_style)"
    assert vorel.VanillaOption.years_to_expiry.__text_signature__ == "($self, valuation_date=None)"
    assert str(inspect.signature(vorel.FdmConfig)) == (
        "(time_steps=None, grid_nodes=None, grid_std_devs=None, transform=None)"
    )
    assert str(inspect.signature(vorel.TransformConfig.log)) == "()"
    assert str(inspect.signature(vorel.TransformConfig.sinh)) == "(alpha)"
    assert str(inspect.signature(vorel.Config)) == str(inspect.signature(vorel.InstrumentPolicy)) == "()"
    assert vorel.InstrumentPolicy.fdm.__text_signature__ == "($self, fdm_config=None)"
    assert vorel.ValuationBuilder.at.__text_signature__ == "($self, valuation_time=None)"


def test_class_constants_exist_once():
    dcc = vorel.DayCountConvention
    assert dcc.ACT_360 is dcc.ACT_360
    assert dcc.THIRTY_360.US_ISDA is dcc.THIRTY_360.US_ISDA
    assert vorel.Frequency.Monthly is vorel.Frequency.Monthly
    assert dcc.THIRTY_360.__name__ == "Thirty360" and dcc.ACT_ACT.__name__ == "ActAct"


def test_extension_is_abi3_and_exports_only_its_entry_point():
    assert vorel.__file__.endswith(".abi3.so")
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm not available")
    out = subprocess.run([nm, "-D", "--defined-only", vorel.__file__], check=True, capture_output=True, text=True)
    symbols = [line.split()[-1] for line in out.stdout.splitlines() if line.strip()]
    assert symbols == ["PyInit_vorel"]
