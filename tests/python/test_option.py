"""Option types, exercise styles, vanilla options and finite-difference settings."""

from datetime import date, datetime, timedelta, timezone, tzinfo
from zoneinfo import ZoneInfo

import pytest

from vorel import ExerciseStyle, FdmConfig, OptionType, VanillaOption

UTC, NEW_YORK = timezone.utc, ZoneInfo("America/New_York")
YEAR = 31_536_000  # seconds
EPOCH, EXPIRY = datetime(1970, 1, 1, tzinfo=UTC), datetime(2025, 6, 20, 16, tzinfo=UTC)
CALL, PUT, EUROPEAN = OptionType.Call, OptionType.Put, ExerciseStyle.European
CAST = "argument '{}': '{}' object cannot be cast as '{}'"


class FailingOffset(tzinfo):
    def utcoffset(self, dt):
        raise TypeError("offset unavailable")


class FarTimestamp(datetime):
    def timestamp(self):
        return 1e300


def option(expiry=EXPIRY):
    return VanillaOption(100.0, expiry, PUT, EUROPEAN)


@pytest.mark.parametrize("cls, name, number", [(OptionType, "Call", 0), (OptionType, "Put", 1),
                                                (ExerciseStyle, "American", 0), (ExerciseStyle, "European", 1)])
def test_enumeration_members(cls, name, number):
    member = getattr(cls, name)
    assert member is getattr(cls, name) and type(member) is cls
    assert int(member) == number and repr(member) == f"{cls.__name__}.{name}"


@pytest.mark.parametrize("strike", [0, -5.5])
def test_strike_is_read_only_and_not_validated(strike):
    made = VanillaOption(strike=strike, expiry_time=EXPIRY, option_type=CALL, exercise_style=ExerciseStyle.American)
    assert made.strike == strike and type(made.strike) is float
    with pytest.raises(AttributeError):
        made.strike = 1.0


ERRORS = [
    (lambda: VanillaOption("x", "y", 1, 2), TypeError, "argument 'strike': must be real number, not str"),
    (lambda: VanillaOption(1, date(2025, 1, 1), 1, 2), TypeError, CAST.format("expiry_time", "date", "datetime")),
    (lambda: VanillaOption(1, datetime(2025, 1, 1), 1, 2), ValueError,
     "Expiry must have a timezone specified (e.g. New York or UTC)"),
    (lambda: VanillaOption(1, FarTimestamp(2025, 1, 1, tzinfo=UTC), 1, 2), ValueError, "Invalid timestamp"),
    (lambda: VanillaOption(1, datetime(2025, 1, 1, tzinfo=FailingOffset()), 1, 2), TypeError, "offset unavailable"),
    (lambda: VanillaOption(1, EXPIRY, EUROPEAN, 2), TypeError,
     CAST.format("option_type", "ExerciseStyle", "OptionType")),
    (lambda: option().years_to_expiry(datetime(2025, 1, 1)), ValueError,
     "valuation_date must be timezone-aware (e.g., UTC or New York time)"),
    (lambda: option().years_to_expiry(FarTimestamp(2025, 1, 1, tzinfo=UTC)), ValueError,
     "Invalid valuation_date timestamp"),
    (lambda: FdmConfig(-1, "101"), OverflowError, "can't convert negative int to unsigned"),
    (lambda: FdmConfig(grid_nodes=2**64), OverflowError, "int too big to convert"),
]


@pytest.mark.parametrize("call, error, message", ERRORS)
def test_argument_errors_in_signature_order(call, error, message):
    with pytest.raises(error) as info:
        call()
    assert type(info.value) is error and str(info.value) == message


@pytest.mark.parametrize("expiry, valuation, years", [
    (EXPIRY, EXPIRY, 0.0),
    (EXPIRY.astimezone(NEW_YORK), EXPIRY + timedelta(days=1), -1 / 365),
    (EXPIRY, EXPIRY.astimezone(NEW_YORK) - timedelta(days=365), 1.0),
    # The expiry's -1.5 s is truncated to -1 s: one whole second, not 0.5.
    (EPOCH - timedelta(seconds=1.5), EPOCH - timedelta(seconds=2), 1 / YEAR),
    # The valuation's -1.8 s is kept (rounded to nearest): 2.3 seconds, not 1.5.
    (EPOCH + timedelta(seconds=0.5), EPOCH - timedelta(seconds=1.8), 2 / YEAR),
])
def test_years_to_expiry(expiry, valuation, years):
    assert option(expiry).years_to_expiry(valuation) == years
    assert option(expiry.astimezone(NEW_YORK)).years_to_expiry(valuation_date=valuation.astimezone(UTC)) == years


@pytest.mark.parametrize("call", [lambda o: o.years_to_expiry(), lambda o: o.years_to_expiry(None)])
def test_years_to_expiry_defaults_to_now(call):
    expiry = datetime.now(UTC) + timedelta(days=365)
    before = datetime.now(UTC)
    seconds = round(call(option(expiry)) * YEAR)
    after = datetime.now(UTC)
    assert (expiry - after).total_seconds() - 1.001 < seconds <= (expiry - before).total_seconds()

