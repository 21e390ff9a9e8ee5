#pragma once
// Black-Scholes volatility by strike and year fraction: flat, the same number
// at every strike and time, with the convention its year fractions count by.

#include <utility>

#include "core/period/day_count.hpp"

namespace vorel {

class VolSurface {
public:
    // Any volatility, zero and negative included.
    static VolSurface flat(double volatility, DayCountConvention day_count) {
        return VolSurface(volatility, std::move(day_count));
    }

    double volatility(double /*strike*/, double /*t*/) const { return volatility_; }
    // The number a flat surface gives everywhere.
    double flat_volatility() const noexcept { return volatility_; }
    const DayCountConvention& day_count_convention() const { return day_count_; }

private:
    VolSurface(double volatility, DayCountConvention day_count) noexcept
        : day_count_(std::move(day_count)), volatility_(volatility) {}

    DayCountConvention day_count_;
    double volatility_;
};

}  // namespace vorel
