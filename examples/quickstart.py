"""A first look at vorel: value European and American calls and puts with their
Greeks, see what a cash dividend does to them, recover an implied volatility,
and do the calendar and rate arithmetic underneath."""

from datetime import date, datetime, timezone
from zoneinfo import ZoneInfo

from vorel import (
    Compounding,
    Config,
    DayCountConvention,
    DividendSchedule,
    ExerciseStyle,
    FdmConfig,
    Frequency,
    InstrumentPolicy,
    InterestRate,
    OptionMarketFrame,
    OptionResult,
    OptionType,
    PeriodCalculator,
    RateCurve,
    Tenor,
    VanillaOption,
    VolSurface,
)

NEW_YORK = ZoneInfo("America/New_York")
ACT_365 = DayCountConvention.ACT_365_FIXED
CONVENTIONS = {
    "ACT/360": DayCountConvention.ACT_360,
    "ACT/365 Fixed": ACT_365,
    "ACT/ACT ISDA": DayCountConvention.ACT_ACT.ISDA,
    "30/360 US": DayCountConvention.THIRTY_360.US_ISDA,
    "30E/360": DayCountConvention.THIRTY_360.EUROBOND_ISMA,
    "30/360 German": DayCountConvention.THIRTY_360.GERMAN_ISDA,
}
KINDS = [(style, kind) for style in (ExerciseStyle.European, ExerciseStyle.American)
         for kind in (OptionType.Call, OptionType.Put)]


def label(style: ExerciseStyle, kind: OptionType) -> str:
    return f"{repr(style).split('.')[1]} {repr(kind).split('.')[1].lower()}"


def greeks_row(name: str, result: OptionResult) -> str:
    g = result.greeks
    extra = "".join(f"{'-' if x is None else f'{x:.4f}':>10}" for x in (g.vega, g.rho))
    return f"  {name:<24}{result.price:>10.4f}{g.delta:>10.4f}{g.gamma:>10.4f}{g.theta:>10.4f}{extra}"


def pricing(valued_at: datetime, expiry: datetime) -> None:
    frame = OptionMarketFrame(
        spot=100.0,
        rate_curve=RateCurve.continuous(0.05, ACT_365),
        vol_surface=VolSurface.flat(0.20, ACT_365),
    )
    print(f"Spot 100, strike 100, rate 5% continuous, volatility 20%, expiry {expiry:%Y-%m-%d %H:%M %Z}, "
          f"valued {valued_at:%Y-%m-%d %H:%M %Z}")
    print("European options use the closed form; American ones a finite-difference grid (101 nodes, 10 steps),\n"
          "which reports no vega or rho. Theta is per year.")
    print(f"  {'':<24}{'price':>10}{'delta':>10}{'gamma':>10}{'theta':>10}{'vega':>10}{'rho':>10}")
    for style, kind in KINDS:
        option = VanillaOption(100.0, expiry, kind, style)
        print(greeks_row(label(style, kind), option.valuation().market(frame).at(valued_at).compute()))

    fine = Config().add_policy(InstrumentPolicy().american().fdm(FdmConfig(time_steps=400, grid_nodes=801)))
    put = VanillaOption(100.0, expiry, OptionType.Put, ExerciseStyle.American)
    result = put.valuation().market(frame).at(valued_at).config(fine).compute()
    print(greeks_row("American put, 801 x 400", result) + "   (a finer grid)")

    print("\nA cash dividend of 2.00 going ex in six months (American put and call, finite differences)")
    ex_date = datetime(2025, 7, 2, 9, 30, tzinfo=NEW_YORK)
    with_dividend = OptionMarketFrame(100.0, frame.rate_curve, frame.vol_surface,
                                      dividends=DividendSchedule([(ex_date, 2.0)]))
    for kind in (OptionType.Put, OptionType.Call):
        option = VanillaOption(100.0, expiry, kind, ExerciseStyle.American)
        before = option.valuation().market(frame).at(valued_at).compute().price
        after = option.valuation().market(with_dividend).at(valued_at).compute().price
        print(f"  {label(ExerciseStyle.American, kind):<16} {before:8.4f} -> {after:8.4f}  ({after - before:+.4f})")

    print("\nImplied volatility: the volatility at which a quoted price is reproduced")
    for style, kind in KINDS:
        option = VanillaOption(100.0, expiry, kind, style)
        for quote in (option.valuation().market(frame).at(valued_at).compute().price, 8.0):
            vol = option.implied_vol().market(frame).at(valued_at).price(quote).calculate()
            print(f"  {label(style, kind):<16} quoted {quote:8.4f} -> implied volatility {vol:.4%}")


def calendar_and_rates() -> None:
    start = datetime(2024, 1, 31, tzinfo=timezone.utc)
    # A New York close, given to the calculator as the UTC instant it denotes.
    end = datetime(2025, 6, 20, 16, 0, tzinfo=NEW_YORK).astimezone(timezone.utc)
    print(f"\nYear fractions from {start:%Y-%m-%d %H:%M} UTC to {end:%Y-%m-%d %H:%M} UTC")
    for name, convention in CONVENTIONS.items():
        days = PeriodCalculator.days_between(start.date(), end.date(), convention)
        years = PeriodCalculator.year_fraction(start, end, convention)
        print(f"  {name:<14} {days:>5} days  {years:.10f} years")

    print("\nTenors from 2024-01-31")
    for name, tenor in [("1W", Tenor.weeks(1)), ("1M", Tenor.months(1)), ("-1M", Tenor.months(-1)),
                        ("1Y", Tenor.years(1)), ("18M", Tenor.months(18))]:
        print(f"  {name:<4} {tenor.advance(date(2024, 1, 31))}")

    print("\nDiscount factors of a 5% rate over 2.5 years")
    rules = {
        "simple": Compounding.simple(),
        "annual": Compounding.compounded(Frequency.Annual),
        "semi-annual": Compounding.compounded(Frequency.SemiAnnual),
        "monthly": Compounding.compounded(Frequency.Monthly),
        "continuous": Compounding.continuous(),
    }
    for name, compounding in rules.items():
        rate = InterestRate(0.05, compounding, ACT_365)
        print(f"  {name:<12} {rate.discount_factor(2.5):.10f}  {compounding!r}")

    print("\nA zero curve from 2024-01-31, linear between pillars")
    pillars = [Tenor.months(3), Tenor.months(6), Tenor.years(1), Tenor.years(2), Tenor.years(5)]
    quotes = [0.0525, 0.0510, 0.0480, 0.0440, 0.0410]
    curve = RateCurve.interpolated(
        date(2024, 1, 31), pillars, [InterestRate(q, Compounding.continuous(), ACT_365) for q in quotes]
    )
    for t in (0.1, 0.5, 1.0, 3.0, 7.0):
        print(f"  t={t:<4} zero {curve.zero_rate(t):.6f}  discount {curve.discount_factor(t):.6f}")


def main() -> None:
    valued_at = datetime(2025, 1, 2, 16, 0, tzinfo=NEW_YORK)
    pricing(valued_at, datetime(2026, 1, 2, 16, 0, tzinfo=NEW_YORK))
    calendar_and_rates()


if __name__ == "__main__":
    main()
