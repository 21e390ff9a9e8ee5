"""Types that users rely on and the run-time stub check cannot see: what methods return."""

from datetime import date, datetime, timezone

from typing_extensions import assert_type

from vorel import (
    Config,
    DayCountConvention,
    DividendSchedule,
    ExerciseStyle,
    FdmConfig,
    Greeks,
    InstrumentPolicy,
    OptionMarketFrame,
    OptionResult,
    OptionType,
    RateCurve,
    Tenor,
    TransformConfig,
    ValuationBuilder,
    VanillaOption,
    VolSurface,
)

ACT_365 = DayCountConvention.ACT_365_FIXED
now = datetime(2025, 1, 2, tzinfo=timezone.utc)
option = VanillaOption(100.0, datetime(2026, 1, 2, tzinfo=timezone.utc), OptionType.Put, ExerciseStyle.American)
frame = OptionMarketFrame(100, RateCurve.continuous(0.05, ACT_365), VolSurface.flat(0.2, ACT_365))
assert_type(frame.borrow_curve, RateCurve | None)
frame.borrow_curve = None
frame.dividends = DividendSchedule([(now, 1.5)])

policy = InstrumentPolicy().american().put().fdm(FdmConfig(400, 801, transform=TransformConfig.sinh(0.3)))
config = Config().add_policy(policy)
builder = option.valuation().market(frame).at(now).config(config).at(None).config()
assert_type(builder, ValuationBuilder)
result = builder.compute()
assert_type(result, OptionResult)
assert_type(result.greeks, Greeks)
assert_type(result.greeks.vega, float | None)
assert_type(result.greeks.rho, float | None)
assert_type(option.implied_vol().market(frame).at(now).price(5.0).config(config).calculate(), float)
assert_type(DayCountConvention.THIRTY_360.US_ISDA, DayCountConvention)
assert_type(DayCountConvention.ACT_ACT.ISDA, DayCountConvention)
assert_type(Tenor.months(1).advance(date(2024, 1, 31)), date)
assert_type(int(OptionType.Call), int)
