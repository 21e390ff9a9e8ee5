"""A first look at vorel: year fractions under every day-count convention,
tenors laid onto a date, and discount factors under every compounding rule."""

from datetime import date, datetime, timezone
from zoneinfo import ZoneInfo

from vorel import (
    Compounding,
    DayCountConvention,
    Frequency,
    InterestRate,
    PeriodCalculator,
    Tenor,
)

CONVENTIONS = {
    "ACT/360": DayCountConvention.ACT_360,
    "ACT/365 Fixed": DayCountConvention.ACT_365_FIXED,
    "ACT/ACT ISDA": DayCountConvention.ACT_ACT.ISDA,
    "30/360 US": DayCountConvention.THIRTY_360.US_ISDA,
    "30E/360": DayCountConvention.THIRTY_360.EUROBOND_ISMA,
    "30/360 German": DayCountConvention.THIRTY_360.GERMAN_ISDA,
}


def main() -> None:
    start = datetime(2024, 1, 31, tzinfo=timezone.utc)
    # A New York close, given to the calculator as the UTC instant it denotes.
    close = datetime(2025, 6, 20, 16, 0, tzinfo=ZoneInfo("America/New_York"))
    end = close.astimezone(timezone.utc)

    print(f"Year fractions from {start:%Y-%m-%d %H:%M} UTC to {end:%Y-%m-%d %H:%M} UTC")
    for label, convention in CONVENTIONS.items():
        days = PeriodCalculator.days_between(start.date(), end.date(), convention)
        years = PeriodCalculator.year_fraction(start, end, convention)
        print(f"  {label:<14} {days:>5} days  {years:.10f} years")

    print("\nTenors from 2024-01-31")
    for label, tenor in [("1W", Tenor.weeks(1)), ("1M", Tenor.months(1)), ("-1M", Tenor.months(-1)),
                         ("1Y", Tenor.years(1)), ("18M", Tenor.months(18))]:
        print(f"  {label:<4} {tenor.advance(date(2024, 1, 31))}")

    print("\nDiscount factors of a 5% rate over 2.5 years")
    rules = {
        "simple": Compounding.simple(),
        "annual": Compounding.compounded(Frequency.Annual),
        "semi-annual": Compounding.compounded(Frequency.SemiAnnual),
        "quarterly": Compounding.compounded(Frequency.Quarterly),
        "monthly": Compounding.compounded(Frequency.Monthly),
        "continuous": Compounding.continuous(),
    }
    for label, compounding in rules.items():
        rate = InterestRate(0.05, compounding, DayCountConvention.ACT_365_FIXED)
        print(f"  {label:<12} {rate.discount_factor(2.5):.10f}  {compounding!r}")


if __name__ == "__main__":
    main()
