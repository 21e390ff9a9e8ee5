"""Rate curves, the volatility surface, dividend schedules and the option market frame."""

import math
from datetime import date, datetime, timedelta, timezone, tzinfo
from zoneinfo import ZoneInfo

import pytest

from vorel import (Compounding, DayCountConvention, DividendSchedule, Frequency, InterestRate, OptionMarketFrame,
                   RateCurve, Tenor, VolSurface)

ACT_360 = DayCountConvention.ACT_360
ACT_365 = DayCountConvention.ACT_365_FIXED
NEW_YORK = ZoneInfo("America/New_York")


def rate(value, compounding=None, convention=ACT_365):
    return InterestRate(value, compounding or Compounding.continuous(), convention)


def two_year_curve(first=None, second=None, reference=date(2024, 1, 1)):
    return RateCurve.interpolated(reference, [Tenor.years(1), Tenor.years(2)],
                                  [first or rate(0.02), second or rate(0.03)])


# Rate curves ---------------------------------------------------------------


@pytest.mark.parametrize("curve, t, zero, discount", [
    (RateCurve.flat(rate(0.05, Compounding.simple(), ACT_360)), 2.0, 0.05, 1 / 1.1),
    (RateCurve.continuous(0.03, ACT_365), -2.0, 0.03, math.exp(0.06)),
])
def test_flat_curves_quote_their_rate_unchanged(curve, t, zero, discount):
    assert curve.zero_rate(t) == zero
    assert curve.discount_factor(t) == discount


def test_interpolated_curve_is_linear_and_extends_its_end_segments():
    curve = two_year_curve()
    t1, t2 = 366 / 365, 731 / 365
    assert curve.zero_rate(t1) == 0.02 and curve.zero_rate(t2) == 0.03
    slope = 0.01 / (t2 - t1)
    assert curve.zero_rate(0.0) == pytest.approx(0.02 - slope * t1, rel=1e-15)
    assert curve.zero_rate(5.0) == pytest.approx(0.03 + slope * (5.0 - t2), rel=1e-15)
    assert curve.zero_rate((t1 + t2) / 2) == pytest.approx(0.025, rel=1e-15)


def test_each_pillar_is_measured_under_its_own_convention():
    curve = two_year_curve(first=rate(0.02, convention=ACT_360))
    assert curve.zero_rate(366 / 360) == 0.02
    assert curve.zero_rate(731 / 365) == 0.03


@pytest.mark.parametrize("first, second, t, discount", [
    (rate(0.02, Compounding.compounded(Frequency.Annual)), None, 1.5, lambda z: 1 / (z + 1) ** 1.5),
    (None, rate(0.03, Compounding.compounded(Frequency.Annual)), 1.5, lambda z: math.exp(-(z * 1.5))),
    (rate(0.02, Compounding.simple_then_compounded(Frequency.Annual)), None, 0.5, lambda z: 1 / (0.5 * z + 1)),
    (rate(0.02, Compounding.simple_then_compounded(Frequency.Annual)), None, 1.5, lambda z: 1 / (z + 1) ** 1.5),
], ids=["annual", "continuous first", "simple then compounded, short", "simple then compounded, long"])
def test_discount_factor_compounds_by_the_first_pillar(first, second, t, discount):
    curve = two_year_curve(first, second)
    assert curve.discount_factor(t) == discount(curve.zero_rate(t))


def test_reference_date_takes_a_datetime_by_its_own_fields():
    late_evening = datetime(2024, 1, 1, 23, 0, tzinfo=NEW_YORK)  # already 2 January in UTC
    assert two_year_curve(reference=late_evening).zero_rate(0.5) == two_year_curve().zero_rate(0.5)


@pytest.mark.parametrize("tenors, rates, message", [
    ([Tenor.years(2), Tenor.years(1)], [rate(0.02), rate(0.03)], "Curve Error: Interpolation(NotMonotonic)"),
    ([Tenor.days(0), Tenor.weeks(0)], [rate(0.02), rate(0.03)], "Curve Error: Interpolation(NotMonotonic)"),
    ([Tenor.years(1)], [rate(0.02)], "Curve Error: Interpolation(InsufficientPoints)"),
    ([], [], "Curve Error: Interpolation(InsufficientPoints)"),
    ([Tenor.years(1), Tenor.years(2)], [rate(0.02)], "Curve Error: LengthMismatch"),
    ([Tenor.years(1), Tenor.years(300_000)], [rate(0.02), rate(0.03)], "Curve Error: DateOutOfRange"),
])
def test_interpolated_construction_errors(tenors, rates, message):
    with pytest.raises(ValueError) as info:
        RateCurve.interpolated(date(2024, 1, 1), tenors, rates)
    assert info.value.args == (message,)


def test_an_item_of_the_wrong_class_is_named_by_its_list():
    with pytest.raises(TypeError) as info:
        RateCurve.interpolated(date(2024, 1, 1), [Tenor.years(1), 2], [])
    assert str(info.value) == "argument 'tenors': 'int' object cannot be cast as 'Tenor'"


# Dividend schedule ---------------------------------------------------------


EX = datetime(2025, 3, 1, tzinfo=timezone.utc)


class RaisingZone(tzinfo):
    def utcoffset(self, dt):
        raise ArithmeticError("zone offline")


def test_schedule_accepts_any_order_duplicates_and_odd_amounts():
    DividendSchedule([(EX, 1.0), (EX, 0.0), (EX - timedelta(days=30), -2.5), (EX, math.nan)])
    DividendSchedule(((datetime(2025, 3, 1, 9, 30, tzinfo=NEW_YORK), 1),))
    DividendSchedule([(datetime(2025, 3, 1, tzinfo=timezone(timedelta(hours=9))), 1.0)])
    DividendSchedule([])


@pytest.mark.parametrize("raw, exc_type, message", [
    ([(date(2025, 3, 1), 1.0)], TypeError,
     "Ex-dates must be timezone-aware datetime objects. Plain dates are rejected."),
    ([(datetime(2025, 3, 1, 9, 30), 1.0)], ValueError,
     "Datetime must be timezone-aware (e.g., use New York or UTC time)."),
    ([(datetime(2025, 3, 1, tzinfo=RaisingZone()), 1.0)], ArithmeticError, "zone offline"),
    ("ab", TypeError, "argument 'raw_divs': Can't extract `str` to `Vec`"),
    (5, TypeError, "argument 'raw_divs': 'int' object cannot be cast as 'Sequence'"),
    ([[EX, 1.0]], TypeError, "argument 'raw_divs': 'list' object cannot be cast as 'tuple'"),
    ([(EX,)], TypeError, "argument 'raw_divs': expected tuple of length 2, but got tuple of length 1"),
    ([(EX, "1.0")], TypeError, "argument 'raw_divs': must be real number, not str"),
])
def test_schedule_errors(raw, exc_type, message):
    with pytest.raises(exc_type) as info:
        DividendSchedule(raw)
    assert type(info.value) is exc_type and str(info.value) == message


def test_structure_is_checked_before_any_ex_date():
    # The naive first entry would be a ValueError; the malformed second entry wins.
    with pytest.raises(TypeError, match="length 2, but got tuple of length 1"):
        DividendSchedule([(datetime(2025, 3, 1), 1.0), (1,)])


# Option market frame -------------------------------------------------------


@pytest.fixture
def frame():
    return OptionMarketFrame(100.0, RateCurve.continuous(0.05, ACT_365), VolSurface.flat(0.2, ACT_365))


def test_frame_defaults(frame):
    explicit = OptionMarketFrame(100.0, frame.rate_curve, frame.vol_surface, None, None)
    for built in (frame, explicit):
        assert isinstance(built.dividends, DividendSchedule)
        assert built.borrow_curve.zero_rate(1.0) == 0.0 and built.borrow_curve.discount_factor(7.5) == 1.0


def test_writes_replace_one_field(frame):
    before = frame.rate_curve
    frame.rate_curve = RateCurve.continuous(0.07, ACT_365)
    assert before.zero_rate(1.0) == 0.05 and frame.rate_curve.zero_rate(1.0) == 0.07
    frame.spot = 101
    assert frame.spot == 101.0 and type(frame.spot) is float
    frame.borrow_curve = None
    assert frame.borrow_curve is None
    frame.borrow_curve = RateCurve.continuous(0.02, ACT_365)
    assert frame.borrow_curve.zero_rate(1.0) == 0.02
    with pytest.raises(TypeError, match="^argument 'borrow_curve': 'VolSurface' object cannot be cast as 'RateCurve'$"):
        frame.borrow_curve = VolSurface.flat(0.2, ACT_365)
