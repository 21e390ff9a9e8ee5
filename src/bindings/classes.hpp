#pragma once
// The value each Python class wraps, and the declaration of its class object.
// Classes that only carry constants or static methods wrap an empty tag.

#include <memory>
#include <optional>

#include "bindings/object.hpp"
#include "bindings/py_ref.hpp"
#include "core/period/day_count.hpp"
#include "core/period/tenor.hpp"
#include "core/rate/compounding.hpp"
#include "core/rate/frequency.hpp"
#include "core/rate/interest_rate.hpp"
#include "execution/pricing_policy.hpp"
#include "instruments/pricing_result.hpp"
#include "instruments/vanilla_option.hpp"
#include "market/dividend.hpp"
#include "market/market_frame.hpp"
#include "market/rate_curve.hpp"
#include "market/vol_surface.hpp"
#include "methods/finite_difference/fdm_config.hpp"

namespace vorel::py {

struct PeriodCalculatorClass {};

// Config: a shared immutable table that add_policy swaps for a new one, so a
// computation that took the table keeps it.
struct SharedConfig {
    std::shared_ptr<const Config> table;
};

// OptionResult and Greeks: both read one engine result.
struct OptionResult {
    PricingResult result;
};
struct Greeks {
    PricingResult result;
};

// What a builder records: references to the Python objects it was handed,
// read when it computes.
struct BuilderInputs {
    PyRef instrument;  // a VanillaOption
    PyRef market;      // an OptionMarketFrame, or null
    PyRef config;      // a Config, or null: the default configuration
    std::optional<Instant> valuation_time;  // null: the clock when computing
};
struct ValuationBuilder {
    BuilderInputs inputs;
};
struct ImpliedVolBuilder {
    BuilderInputs inputs;
    std::optional<double> target;
};

template <> PyTypeObject* create_type_object<Compounding>();
template <> PyTypeObject* create_type_object<DayCountConvention>();
template <> PyTypeObject* create_type_object<Frequency>();
template <> PyTypeObject* create_type_object<InterestRate>();
template <> PyTypeObject* create_type_object<Tenor>();
template <> PyTypeObject* create_type_object<PeriodCalculatorClass>();
template <> PyTypeObject* create_type_object<RateCurve>();
template <> PyTypeObject* create_type_object<VolSurface>();
template <> PyTypeObject* create_type_object<DividendSchedule>();
template <> PyTypeObject* create_type_object<MarketFrame>();
template <> PyTypeObject* create_type_object<OptionType>();
template <> PyTypeObject* create_type_object<ExerciseStyle>();
template <> PyTypeObject* create_type_object<VanillaOption>();
template <> PyTypeObject* create_type_object<FdmConfig>();
template <> PyTypeObject* create_type_object<TransformConfig>();
template <> PyTypeObject* create_type_object<SharedConfig>();
template <> PyTypeObject* create_type_object<InstrumentPolicy>();
template <> PyTypeObject* create_type_object<OptionResult>();
template <> PyTypeObject* create_type_object<Greeks>();
template <> PyTypeObject* create_type_object<ValuationBuilder>();
template <> PyTypeObject* create_type_object<ImpliedVolBuilder>();

}  // namespace vorel::py
