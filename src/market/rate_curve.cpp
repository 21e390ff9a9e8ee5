#include "market/rate_curve.hpp"

namespace vorel {

std::string CurveError::debug_text() const {
    switch (kind) {
        case Kind::Interpolation:
            return std::string("Interpolation(") + vorel::debug_text(interpolation) + ")";
        case Kind::DateOutOfRange:
            return "DateOutOfRange";
        case Kind::LengthMismatch:
            break;
    }
    return "LengthMismatch";
}

Result<RateCurve, CurveError> RateCurve::interpolated(Date reference_date, std::vector<Tenor> tenors,
                                                      std::vector<InterestRate> rates) {
    if (tenors.size() != rates.size()) return Err{CurveError{CurveError::Kind::LengthMismatch}};
    std::vector<double> times;
    std::vector<double> values;
    times.reserve(tenors.size());
    values.reserve(tenors.size());
    const Instant start{reference_date, 0, 0};
    for (std::size_t i = 0; i < tenors.size(); ++i) {
        const Result<Date> date = advance(reference_date, tenors[i]);
        if (!date) return Err{CurveError{CurveError::Kind::DateOutOfRange}};
        const Instant pillar{*date, 0, 0};
        times.push_back(year_fraction(start, pillar, rates[i].day_count));
        values.push_back(rates[i].rate);
    }
    auto interpolator = LinearInterpolator::create(share(std::move(times)), share(std::move(values)));
    if (!interpolator) return Err{CurveError{CurveError::Kind::Interpolation, interpolator.error()}};
    return RateCurve(
        Interpolated{std::move(tenors), std::move(rates), std::move(*interpolator), reference_date});
}

double RateCurve::zero_rate(double t) const {
    if (const auto* curve = std::get_if<Interpolated>(&value_)) return curve->interpolator.evaluate(t);
    if (const auto* curve = std::get_if<Flat>(&value_)) return curve->rate.rate;
    return std::get<Continuous>(value_).rate.rate;
}

double RateCurve::discount_factor(double t) const {
    if (const auto* curve = std::get_if<Interpolated>(&value_)) {
        return vorel::discount_factor(curve->interpolator.evaluate(t), curve->rates.front().compounding, t);
    }
    if (const auto* curve = std::get_if<Flat>(&value_)) return curve->rate.discount_factor(t);
    return std::get<Continuous>(value_).rate.discount_factor(t);
}

double RateCurve::continuous_rate(double t) const {
    if (const auto* curve = std::get_if<Interpolated>(&value_)) {
        return vorel::continuous_rate(curve->interpolator.evaluate(t), curve->rates.front().compounding, t);
    }
    if (const auto* curve = std::get_if<Flat>(&value_)) {
        return vorel::continuous_rate(curve->rate.rate, curve->rate.compounding, t);
    }
    return std::get<Continuous>(value_).rate.rate;
}

Result<DayCountConvention> RateCurve::day_count_convention() const {
    if (const auto* curve = std::get_if<Flat>(&value_)) return curve->rate.day_count;
    if (const auto* curve = std::get_if<Continuous>(&value_)) return curve->rate.day_count;
    const std::vector<InterestRate>& pillars = std::get<Interpolated>(value_).rates;
    const DayCountConvention& first = pillars.front().day_count;  // a curve has two pillars or more
    for (const InterestRate& pillar : pillars) {
        if (!(pillar.day_count == first)) {
            return Err{Error::invalid_input("Mismatched day count conventions: the rate curve's pillars use " +
                                            first.debug_text() + " and " + pillar.day_count.debug_text() +
                                            ". They must be identical.")};
        }
    }
    return first;
}

}  // namespace vorel
