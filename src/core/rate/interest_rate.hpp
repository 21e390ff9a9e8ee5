#pragma once

#include "core/period/day_count.hpp"
#include "core/rate/compounding.hpp"

namespace vorel {

struct InterestRate {
    DayCountConvention day_count;  // carried with the rate; t arrives already measured
    double rate = 0.0;
    Compounding compounding = Compounding::continuous();

    double discount_factor(double t) const { return vorel::discount_factor(rate, compounding, t); }
};

}  // namespace vorel
