#pragma once
// Black-Scholes volatility by strike and year fraction.

#include <variant>

#include "core/period/day_count.hpp"
#include "math/interpolate/linear.hpp"

namespace vorel {

class VolSurface {
public:
    struct Flat {
        DayCountConvention day_count;
        double volatility = 0.0;  // any value, zero and negative included
    };
    // Linear in t through term-structure points, strike ignored. Nothing builds
    // one from Python yet, and it has no day-count convention.
    struct TermStructure {
        LinearInterpolator by_time;
    };

    static VolSurface flat(double volatility, DayCountConvention day_count) {
        return VolSurface(Flat{std::move(day_count), volatility});
    }
    static VolSurface term_structure(LinearInterpolator by_time) {
        return VolSurface(TermStructure{std::move(by_time)});
    }

    double volatility(double strike, double t) const;
    // Panics "not yet implemented" for a surface other than flat.
    const DayCountConvention& day_count_convention() const;

    const std::variant<Flat, TermStructure>& variant() const noexcept { return value_; }

private:
    template <class V>
    explicit VolSurface(V value) noexcept : value_(std::move(value)) {}

    std::variant<Flat, TermStructure> value_;
};

}  // namespace vorel
