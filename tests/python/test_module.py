"""The module object, its class registry and the properties every class shares."""

import importlib
import inspect
import shutil
import subprocess
import sys

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
