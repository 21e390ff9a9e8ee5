// ValuationBuilder, and the OptionResult and Greeks its compute() returns.

#include <string>

#include "bindings/declare.hpp"
#include "bindings/execution/builder.hpp"
#include "bindings/pickle.hpp"
#include "core/format.hpp"
#include "execution/valuation.hpp"

namespace vorel::py {
namespace {

PyRef compute(const ValuationBuilder& builder) {
    VOREL_LET(inputs, compute_inputs(builder.inputs, "Market data is required for valuation."));
    const auto value = [&] {
        return value_option(*inputs.option, *inputs.market, inputs.table(), builder.inputs.valuation_time);
    };
    VOREL_LET(result, unwrap(run_interruptible(runs_long(inputs), value)));
    return wrap(OptionResult{result});
}

using BuilderClass = Class<ValuationBuilder, "ValuationBuilder">;
using Shared = BuilderMembers<ValuationBuilder, BuilderClass>;

PyRef create_builder() {
    return BuilderClass::create<Shared::Construct, Shared::Market, Shared::At, Shared::WithConfig,
                                BuilderClass::method<"compute", compute>, BuilderClass::pickled>();
}

// A field of the engine result that OptionResult and Greeks read.
template <auto kField, class T>
auto result_field(const T& value) {
    return value.result.*kField;
}
template <auto kField>
PyRef optional_result_field(const Greeks& greeks) {
    return or_none(greeks.result.*kField);
}

std::string result_repr(const OptionResult& result) {
    return "<OptionResult price=" + format_fixed(result.result.price, 4) + ">";
}

Greeks greeks(const OptionResult& result) { return Greeks{result.result}; }

using ResultClass = Class<OptionResult, "OptionResult">;

PyRef create_result() {
    return ResultClass::create<ResultClass::get<"price", result_field<&PricingResult::price, OptionResult>>,
                               ResultClass::get<"greeks", greeks>, ResultClass::repr<result_repr>,
                               ResultClass::pickled>();
}

using GreeksClass = Class<Greeks, "Greeks">;

PyRef create_greeks() {
    return GreeksClass::create<GreeksClass::get<"delta", result_field<&PricingResult::delta, Greeks>>,
                               GreeksClass::get<"gamma", result_field<&PricingResult::gamma, Greeks>>,
                               GreeksClass::get<"theta", result_field<&PricingResult::theta, Greeks>>,
                               GreeksClass::get<"vega", optional_result_field<&PricingResult::vega>>,
                               GreeksClass::get<"rho", optional_result_field<&PricingResult::rho>>,
                               GreeksClass::pickled>();
}

// (price, delta, gamma, theta, vega or None, rho or None).
PyRef result_state(const PricingResult& r) {
    return tuple_of(from_f64(r.price), from_f64(r.delta), from_f64(r.gamma), from_f64(r.theta), or_none(r.vega),
                    or_none(r.rho));
}

std::optional<PricingResult> result_from_state(PyObject* state) {
    VOREL_LET(items, state_items<6>(state));
    PricingResult r;
    double* const fields[] = {&r.price, &r.delta, &r.gamma, &r.theta};
    for (std::size_t i = 0; i < 4; ++i) {
        VOREL_LET(value, to_f64(items[i]));
        *fields[i] = value;
    }
    std::optional<double>* const optional_fields[] = {&r.vega, &r.rho};
    for (std::size_t i = 0; i < 2; ++i) {
        if (items[4 + i] == Py_None) continue;
        VOREL_LET(value, to_f64(items[4 + i]));
        *optional_fields[i] = value;
    }
    return r;
}

template <class T>
PyRef unpickle_result(PyObject* state) {
    VOREL_LET(result, result_from_state(state));
    return wrap(T{result});
}

}  // namespace

template <>
PyRef pickled_state<ValuationBuilder>(const ValuationBuilder& builder) {
    return inputs_state(builder.inputs);
}

template <>
PyRef unpickle<ValuationBuilder>(PyObject* state) {
    VOREL_LET(items, state_items<4>(state));
    VOREL_LET(inputs, inputs_from_state(items.data()));
    return wrap(ValuationBuilder{std::move(inputs)});
}

// OptionResult and Greeks both pickle the engine result they read.
template <>
PyRef pickled_state<OptionResult>(const OptionResult& result) {
    return result_state(result.result);
}
template <>
PyRef pickled_state<Greeks>(const Greeks& greeks) {
    return result_state(greeks.result);
}
template <>
PyRef unpickle<OptionResult>(PyObject* state) {
    return unpickle_result<OptionResult>(state);
}
template <>
PyRef unpickle<Greeks>(PyObject* state) {
    return unpickle_result<Greeks>(state);
}

VOREL_CLASS_OBJECT(ValuationBuilder, create_builder)
VOREL_CLASS_OBJECT(OptionResult, create_result)
VOREL_CLASS_OBJECT(Greeks, create_greeks)

}  // namespace vorel::py
