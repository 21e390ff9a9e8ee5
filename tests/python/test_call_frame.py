"""Argument binding, conversions and error mapping shared by every entry point."""

import pickle
import subprocess
import sys
from datetime import date, datetime, timedelta, timezone
from zoneinfo import ZoneInfo

import pytest

import vorel
from vorel import (Compounding, DayCountConvention, DividendSchedule, ExerciseStyle, Frequency, InterestRate,
                   OptionMarketFrame, OptionType, PanicException, PeriodCalculator, RateCurve, Tenor, VanillaOption,
                   VolSurface)

ACT_365 = DayCountConvention.ACT_365_FIXED
RATE = InterestRate(0.05, Compounding.continuous(), ACT_365)


@pytest.mark.parametrize("call, message", [
    (lambda: RATE.discount_factor(), "InterestRate.discount_factor() missing 1 required positional argument: 't'"),
    (lambda: RATE.discount_factor(1.0, 2.0),
     "InterestRate.discount_factor() takes 1 positional arguments but 2 were given"),
    (lambda: _OPTION.years_to_expiry(None, None),
     "VanillaOption.years_to_expiry() takes from 0 to 1 positional arguments but 2 were given"),
    (lambda: RATE.discount_factor(1.0, t=2.0), "InterestRate.discount_factor() got multiple values for argument 't'"),
    (lambda: RATE.discount_factor(x=1.0), "InterestRate.discount_factor() got an unexpected keyword argument 'x'"),
    (lambda: InterestRate(0.05),
     "InterestRate.__new__() missing 2 required positional arguments: 'compounding' and 'dcc'"),
    (lambda: PeriodCalculator.days_between(),
     "PeriodCalculator.days_between() missing 3 required positional arguments: 'start', 'end', and 'convention'"),
])
def test_binding_errors_use_the_interpreter_wording(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


class Keyword(str):
    pass


def test_keywords_bind_like_positionals():
    rate = InterestRate(dcc=ACT_365, compounding=Compounding.simple(), rate=0.05)
    # Names the interpreter did not intern (built at run time, or a str subclass) match by their text.
    for name in ("".join(["t"]), Keyword("t")):
        assert rate.discount_factor(**{name: 0.5}) == 1 / 1.025
        with pytest.raises(TypeError, match="got multiple values for argument 't'"):
            rate.discount_factor(0.5, **{name: 0.5})
    with pytest.raises(TypeError, match="unexpected keyword argument 'tt'"):
        rate.discount_factor(**{Keyword("tt"): 0.5})


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class FloatFails:
    def __init__(self, exc):
        self.exc = exc

    def __float__(self):
        raise self.exc


@pytest.mark.parametrize("call, exc_type, message", [
    (lambda: Tenor.days(3.0), TypeError, "argument 'n': 'float' object cannot be interpreted as an integer"),
    (lambda: Tenor.days(2**31), OverflowError, "out of range integral type conversion attempted"),
    (lambda: Tenor.weeks(-(2**31) - 1), OverflowError, "out of range integral type conversion attempted"),
    (lambda: Tenor.months(Index(2**31)), OverflowError, "out of range integral type conversion attempted"),
    (lambda: RATE.discount_factor("1.0"), TypeError, "argument 't': must be real number, not str"),
    (lambda: RATE.discount_factor(FloatFails(ValueError("no float"))), ValueError, "no float"),
    (lambda: Compounding.compounded(None), TypeError,
     "argument 'freq': 'NoneType' object cannot be cast as 'Frequency'"),
    (lambda: InterestRate(0.05, Compounding.simple(), DayCountConvention.THIRTY_360), TypeError,
     "argument 'dcc': 'type' object cannot be cast as 'DayCountConvention'"),
    (lambda: InterestRate(0.05, Frequency.Annual, ACT_365), TypeError,
     "argument 'compounding': 'Frequency' object cannot be cast as 'Compounding'"),
])
def test_conversion_errors(call, exc_type, message):
    with pytest.raises(exc_type) as info:
        call()
    assert type(info.value) is exc_type
    assert str(info.value) == message
    assert info.value.args == (message,)


def test_integers_beyond_64_bits_keep_the_interpreter_overflow():
    with pytest.raises(OverflowError) as info:
        Tenor.days(2**70)
    assert "out of range integral" not in str(info.value)


def test_numbers_convert_through_index_and_float():
    assert Tenor.days(Index(2)).advance(date(2024, 2, 28)).day == 1
    assert RATE.discount_factor(Index(2)) == RATE.discount_factor(2.0)


def test_wrapped_type_error_keeps_the_original_cause():
    cause = KeyError("root")
    inner = TypeError("not a number")
    inner.__cause__ = cause
    with pytest.raises(TypeError) as info:
        RATE.discount_factor(FloatFails(inner))
    assert str(info.value) == "argument 't': not a number"
    assert info.value.__cause__ is cause


def test_panic_exception_is_importable_and_survives_pickling():
    assert PanicException.__bases__ == (BaseException,) and not issubclass(PanicException, Exception)
    assert "PanicException" not in vorel.__all__
    # A pool's parent unpickles a worker's panic without having imported vorel itself.
    script = "import pickle, sys; e = pickle.loads(sys.stdin.buffer.read()); print(type(e).__module__, e.args)"
    done = subprocess.run([sys.executable, "-c", script], input=pickle.dumps(PanicException("broken")),
                          capture_output=True, check=True)
    assert done.stdout.decode().strip() == "vorel ('broken',)"


class PlainDateTime(datetime):
    pass


class PlainDate(date):
    pass


def _same_in_a_subclass(value):
    if isinstance(value, datetime):
        return PlainDateTime(value.year, value.month, value.day, value.hour, value.minute, value.second,
                             value.microsecond, tzinfo=value.tzinfo)
    return PlainDate(value.year, value.month, value.day)


def _outcome(call, value):
    try:
        return "returned", repr(call(value))  # repr: NaN equals NaN
    except BaseException as exc:  # noqa: BLE001 - panics are outcomes too
        return type(exc), str(exc)


_UTC = timezone.utc
_EPOCH = datetime(1970, 1, 1, tzinfo=_UTC)
_VALUED = datetime(2026, 1, 15, 16, tzinfo=_UTC)
_OPTION = VanillaOption(100.0, _VALUED + timedelta(days=365), OptionType.Put, ExerciseStyle.American)
_CURVE, _SURFACE = RateCurve.continuous(0.05, ACT_365), VolSurface.flat(0.2, ACT_365)
_DATETIMES = [
    _VALUED.replace(microsecond=123457), _VALUED.replace(microsecond=999999), datetime(1, 1, 1, tzinfo=_UTC),
    datetime.max.replace(tzinfo=_UTC),
    # Either side of 2**53 microseconds from the epoch, where a timestamp stops being exact in a double.
    *[_EPOCH + sign * timedelta(microseconds=2**53 + step) for sign in (1, -1) for step in (-1, 0, 1)],
    _VALUED.replace(tzinfo=timezone(timedelta(hours=5, minutes=30))),
    _VALUED.replace(tzinfo=ZoneInfo("America/New_York")),
    _VALUED.replace(tzinfo=None),
]
_DATES = [date(2024, 2, 29), date(1, 1, 1), date(9999, 12, 31), _VALUED]


@pytest.mark.parametrize("value", _DATETIMES, ids=str)
@pytest.mark.parametrize("call", [
    lambda d: VanillaOption(100.0, d, OptionType.Put, ExerciseStyle.European).years_to_expiry(_VALUED),
    lambda d: _OPTION.years_to_expiry(d),
    lambda d: (PeriodCalculator.year_fraction(d, _VALUED, ACT_365),
               PeriodCalculator.year_fraction(_VALUED, d, ACT_365)),
    lambda d: _OPTION.valuation().market(OptionMarketFrame(100.0, _CURVE, _SURFACE)).at(d).compute().price,
    lambda d: _OPTION.valuation().at(_VALUED).market(
        OptionMarketFrame(100.0, _CURVE, _SURFACE, DividendSchedule([(d, 1.0)]))).compute().price,
], ids=["expiry", "years_to_expiry", "year_fraction", "valued at", "ex-date"])
def test_a_datetime_subclass_converts_exactly_like_a_datetime(call, value):
    assert _outcome(call, _same_in_a_subclass(value)) == _outcome(call, value)


@pytest.mark.parametrize("value", _DATES, ids=str)
@pytest.mark.parametrize("call", [
    lambda d: Tenor.months(1).advance(d),
    lambda d: PeriodCalculator.days_between(d, date(2030, 1, 1), ACT_365),
    lambda d: RateCurve.interpolated(d, [Tenor.years(1), Tenor.years(2)], [RATE, RATE]).zero_rate(0.5),
], ids=["advance", "days_between", "interpolated"])
def test_a_date_subclass_converts_exactly_like_a_date(call, value):
    assert _outcome(call, _same_in_a_subclass(value)) == _outcome(call, value)
