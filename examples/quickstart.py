"""A first look at vorel: year fractions under every day-count convention,
tenors laid onto a date, discount factors under every compounding rule, and
the market data and the option that is valued against it."""

from datetime import date, datetime, timezone
from zoneinfo import ZoneInfo

from vorel import (
    Compounding,
    DayCountConvention,
    Frequency,
    DividendSchedule,
    ExerciseStyle,
    InterestRate,
    OptionMarketFrame,
    OptionType,
    PeriodCalculator,
    RateCurve,
    Tenor,
    VanillaOption,
    VolSurface,
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

    print("\nA zero curve from 2024-01-31, linear between pillars")
    act_365 = DayCountConvention.ACT_365_FIXED
    pillars = [Tenor.months(3), Tenor.months(6), Tenor.years(1), Tenor.years(2), Tenor.years(5)]
    quotes = [0.0525, 0.0510, 0.0480, 0.0440, 0.0410]
    curve = RateCurve.interpolated(
        date(2024, 1, 31), pillars, [InterestRate(q, Compounding.continuous(), act_365) for q in quotes]
    )
    for t in (0.1, 0.5, 1.0, 3.0, 7.0):
        print(f"  t={t:<4} zero {curve.zero_rate(t):.6f}  discount {curve.discount_factor(t):.6f}")

    ny = ZoneInfo("America/New_York")
    frame = OptionMarketFrame(
        spot=187.5,
        rate_curve=RateCurve.continuous(0.045, act_365),
        vol_surface=VolSurface.flat(0.23, act_365),
        dividends=DividendSchedule([(datetime(2025, 3, 14, 9, 30, tzinfo=ny), 0.24),
                                    (datetime(2025, 6, 13, 9, 30, tzinfo=ny), 0.25)]),
        borrow_curve=curve,
    )
    print(f"\nMarket frame: spot {frame.spot}, vol {frame.vol_surface.volatility(frame.spot, 1.0)}, "
          f"rate {frame.rate_curve.zero_rate(1.0)}, borrow at 1y {frame.borrow_curve.zero_rate(1.0):.6f}")

    option = VanillaOption(190.0, close, OptionType.Put, ExerciseStyle.American)
    valued_at = datetime(2024, 6, 20, 16, 0, tzinfo=ny)
    print(f"\nAn American put struck at {option.strike}, expiring {close:%Y-%m-%d %H:%M %Z}: "
          f"{option.years_to_expiry(valued_at):.6f} years (ACT/365 Fixed) from {valued_at:%Y-%m-%d %H:%M %Z}")


if __name__ == "__main__":
    main()
