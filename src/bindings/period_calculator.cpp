// PeriodCalculator: day counts and year fractions between Python dates.

#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/datetime.hpp"
#include "bindings/declare.hpp"
#include "bindings/frame.hpp"

namespace vorel::py {
namespace {

double year_fraction(UtcTime start, UtcTime end, const DayCountConvention& convention) {
    return vorel::year_fraction(start.instant, end.instant, convention);
}

using Declared = Class<PeriodCalculatorClass, "PeriodCalculator">;

PyRef create() {
    return Declared::create<Declared::static_method<"days_between", vorel::days_between, "start", "end", "convention">,
                            Declared::static_method<"year_fraction", year_fraction, "start", "end", "convention">>();
}

}  // namespace

VOREL_CLASS_OBJECT(PeriodCalculatorClass, create)

}  // namespace vorel::py
