#pragma once
// The value each Python class wraps, and the declaration of its class object.
// Classes that only carry constants or static methods wrap an empty tag.

#include "bindings/object.hpp"
#include "core/period/day_count.hpp"
#include "core/period/tenor.hpp"
#include "core/rate/compounding.hpp"
#include "core/rate/frequency.hpp"
#include "core/rate/interest_rate.hpp"
#include "instruments/vanilla_option.hpp"
#include "market/dividend.hpp"
#include "market/market_frame.hpp"
#include "market/rate_curve.hpp"
#include "market/vol_surface.hpp"
#include "methods/finite_difference/fdm_config.hpp"

namespace vorel::py {

struct PeriodCalculatorClass {};

template <> PyTypeObject* type_object<Compounding>();
template <> PyTypeObject* type_object<DayCountConvention>();
template <> PyTypeObject* type_object<Frequency>();
template <> PyTypeObject* type_object<InterestRate>();
template <> PyTypeObject* type_object<Tenor>();
template <> PyTypeObject* type_object<PeriodCalculatorClass>();
template <> PyTypeObject* type_object<RateCurve>();
template <> PyTypeObject* type_object<VolSurface>();
template <> PyTypeObject* type_object<DividendSchedule>();
template <> PyTypeObject* type_object<MarketFrame>();
template <> PyTypeObject* type_object<OptionType>();
template <> PyTypeObject* type_object<ExerciseStyle>();
template <> PyTypeObject* type_object<VanillaOption>();
template <> PyTypeObject* type_object<FdmConfig>();
template <> PyTypeObject* type_object<TransformConfig>();

}  // namespace vorel::py
