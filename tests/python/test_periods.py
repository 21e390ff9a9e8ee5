"""Day counts, year fractions and tenors as Python users reach them."""

from datetime import date, datetime, timedelta, timezone
from zoneinfo import ZoneInfo

import pytest

from vorel import DayCountConvention as DCC
from vorel import PeriodCalculator, Tenor

UTC = timezone.utc
NEW_YORK = ZoneInfo("America/New_York")


@pytest.mark.parametrize("convention, text", [
    (DCC.ACT_360, "Actual360"), (DCC.ACT_365_FIXED, "Actual365Fixed"), (DCC.ACT_ACT.ISDA, "ActualActual(ISDA)"),
    (DCC.THIRTY_360.US_ISDA, "Thirty360(UnitedStatesIsda)"), (DCC.THIRTY_360.EUROBOND_ISMA, "Thirty360(EurobondIsma)"),
    (DCC.THIRTY_360.GERMAN_ISDA, "Thirty360(GermanIsda)"),
])
def test_convention_repr(convention, text):
    assert repr(convention) == f"<DayCountConvention: {text}>"


# The rules themselves are covered by the core's unit tests; these check the
# argument forms Python passes.
@pytest.mark.parametrize("start, end, convention, days", [
    (date(2024, 1, 31), date(2024, 2, 29), DCC.THIRTY_360.GERMAN_ISDA, 30),
    (date(2024, 3, 1), date(2024, 2, 1), DCC.ACT_360, -29),
    # A datetime contributes its own date fields, whatever its zone.
    (datetime(2024, 1, 1, 23, tzinfo=NEW_YORK), date(2024, 1, 2), DCC.ACT_365_FIXED, 1),
])
def test_days_between(start, end, convention, days):
    assert PeriodCalculator.days_between(start, end, convention) == days


def utc(*fields):
    return datetime(*fields, tzinfo=UTC)


@pytest.mark.parametrize("start, end, convention, expected", [
    (utc(2024, 1, 1), utc(2024, 1, 1, 1, 0, 0, 999999), DCC.ACT_360, 3600 / 31_104_000),
    (utc(2023, 7, 1), utc(2024, 7, 1), DCC.ACT_ACT.ISDA, 184 / 365 + 182 / 366),
    (utc(2024, 3, 1, 23), utc(2024, 3, 2, 0, 30), DCC.THIRTY_360.US_ISDA, 1 / 360),
    (datetime(2024, 1, 1, tzinfo=timezone(timedelta(0))), utc(2024, 1, 2), DCC.ACT_365_FIXED, 1 / 365),
])
def test_year_fraction(start, end, convention, expected):
    assert PeriodCalculator.year_fraction(start, end, convention) == expected
    assert PeriodCalculator.year_fraction(end, start, convention) == -expected


@pytest.mark.parametrize("start, exc_type, message", [
    (datetime(2024, 1, 1), TypeError, "argument 'start': expected a datetime with non-None tzinfo"),
    (datetime(2024, 1, 1, tzinfo=ZoneInfo("UTC")), ValueError, "expected datetime.timezone.utc"),
    (datetime(2024, 1, 1, tzinfo=timezone(timedelta(hours=1))), ValueError, "expected datetime.timezone.utc"),
    (date(2024, 1, 1), TypeError, "argument 'start': 'date' object cannot be cast as 'datetime'"),
])
def test_year_fraction_requires_utc_datetimes(start, exc_type, message):
    with pytest.raises(exc_type) as info:
        PeriodCalculator.year_fraction(start, utc(2025, 1, 1), DCC.ACT_360)
    assert type(info.value) is exc_type and str(info.value) == message


# The date arithmetic itself is covered by the core's unit tests; these check
# what Python sees: the argument forms and the returned type.
@pytest.mark.parametrize("tenor, start, expected", [
    (Tenor.days(0), date(2024, 5, 17), date(2024, 5, 17)),
    (Tenor.months(1), date(2024, 1, 31), date(2024, 2, 29)),
    (Tenor.months(-1), date(2024, 3, 31), date(2024, 2, 29)),
    (Tenor.years(1), datetime(2024, 6, 30, 23, tzinfo=NEW_YORK), date(2025, 6, 30)),
])
def test_tenor_advance(tenor, start, expected):
    result = tenor.advance(start)
    assert type(result) is date and result == expected


# Beyond the interpreter's dates the date constructor refuses; beyond the core's, the
# core overflows (months: in the error-path catalogue).
def test_advance_beyond_the_date_ranges():
    with pytest.raises(ValueError, match="year 10005 is out of range"):
        Tenor.years(10).advance(date(9995, 1, 1))
    with pytest.raises(OverflowError) as info:
        Tenor.weeks(-(2**31)).advance(date(2024, 1, 1))
    assert info.value.args == ("`NaiveDate + TimeDelta` overflowed",)
