"""Frequencies, compounding rules and interest-rate discount factors."""

import math

import pytest

from vorel import Compounding, DayCountConvention, Frequency, InterestRate


@pytest.mark.parametrize("name, number, periods", [("Annual", 0, 1), ("SemiAnnual", 1, 2), ("Quarterly", 2, 4),
                                                   ("Monthly", 3, 12)])
def test_frequency_members(name, number, periods):
    member = getattr(Frequency, name)
    assert repr(member) == name and int(member) == number and member.value == periods


@pytest.mark.parametrize("compounding, text", [
    (Compounding.simple(), "Compounding.Simple"), (Compounding.continuous(), "Compounding.Continuous"),
    (Compounding.compounded(Frequency.Quarterly), "Compounding.Compounded(Quarterly)"),
    (Compounding.simple_then_compounded(Frequency.Monthly), "Compounding.SimpleThenCompounded(Monthly)"),
])
def test_compounding_repr(compounding, text):
    assert repr(compounding) == text


@pytest.mark.parametrize("compounding, t, expected", [
    (Compounding.continuous(), 2.0, math.exp(-0.1)),
    (Compounding.compounded(Frequency.SemiAnnual), 1.0, 1 / 1.025**2),
    (Compounding.compounded(Frequency.Monthly), 2.5, 1 / (0.05 / 12 + 1) ** 30),
    (Compounding.simple(), 0.5, 1 / 1.025),
])
def test_discount_factor(compounding, t, expected):
    assert InterestRate(0.05, compounding, DayCountConvention.ACT_365_FIXED).discount_factor(t) == expected
