#pragma once
// Zero rates and discount factors by year fraction: flat, continuously
// compounded flat, or linear in the zero rate between tenor pillars.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "core/error.hpp"
#include "core/period/date.hpp"
#include "core/period/day_count.hpp"
#include "core/period/tenor.hpp"
#include "core/rate/interest_rate.hpp"
#include "math/interpolate/linear.hpp"

namespace vorel {

struct CurveError {
    enum class Kind : std::uint8_t { Interpolation, LengthMismatch, DateOutOfRange };

    Kind kind;
    InterpolationError interpolation = InterpolationError::LengthMismatch;  // for Kind::Interpolation

    // "LengthMismatch", "DateOutOfRange" or "Interpolation(<inner>)".
    std::string debug_text() const;
};

class RateCurve {
public:
    struct Flat {
        InterestRate rate;
    };
    struct Interpolated {
        std::vector<Tenor> tenors;        // as supplied
        std::vector<InterestRate> rates;  // as supplied
        LinearInterpolator interpolator;  // pillar times -> rate numbers
        Date reference_date;
    };
    struct Continuous {
        InterestRate rate;  // compounding is Continuous
    };

    static RateCurve flat(InterestRate rate) { return RateCurve(Flat{std::move(rate)}); }
    static RateCurve continuous(double rate, DayCountConvention day_count) {
        return RateCurve(Continuous{InterestRate{std::move(day_count), rate, Compounding::continuous()}});
    }
    // Pillar i sits at reference_date advanced by tenors[i], measured from the
    // reference date under the convention of rates[i]; pillars are not sorted.
    // DateOutOfRange when a tenor cannot be laid on the reference date.
    static Result<RateCurve, CurveError> interpolated(Date reference_date, std::vector<Tenor> tenors,
                                                      std::vector<InterestRate> rates);

    // Flat curves: the quoted number as it stands, whatever its compounding.
    // Interpolated: linear between pillars, end segments continued.
    double zero_rate(double t) const;
    // Interpolated curves compound the zero rate by their first pillar's rule.
    double discount_factor(double t) const;
    // The continuously compounded rate with this curve's discount factor over
    // t > 0 (the zero rate itself for t ≤ 0): the rate the engines price with.
    double continuous_rate(double t) const;
    // An interpolated curve's is its pillars' when they all share one;
    // InvalidInput when they mix conventions.
    Result<DayCountConvention> day_count_convention() const;

    const std::variant<Flat, Interpolated, Continuous>& variant() const noexcept { return value_; }

private:
    template <class V>
    explicit RateCurve(V value) noexcept : value_(std::move(value)) {}

    std::variant<Flat, Interpolated, Continuous> value_;
};

}  // namespace vorel
