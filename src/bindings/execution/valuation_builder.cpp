// ValuationBuilder, and the OptionResult and Greeks its compute() returns.

#include <string>

#include "bindings/class_builder.hpp"
#include "bindings/execution/builder.hpp"
#include "bindings/methods.hpp"
#include "bindings/pickle.hpp"
#include "core/format.hpp"
#include "execution/valuation.hpp"

namespace vorel::py {
namespace {

constinit const Signature<1> kConstruct{"ValuationBuilder.__new__", {"instrument"}};
constinit const Signature<1> kMarket{"ValuationBuilder.market", {"market_frame"}};
constinit const Signature<1> kAt{"ValuationBuilder.at", {"valuation_time"}, 0};
constinit const Signature<1> kConfig{"ValuationBuilder.config", {"config"}, 0};

PyObject* compute(PyObject* self, PyObject*) {
    return run_frame([&]() -> PyRef {
        VOREL_LET(builder, receiver<ValuationBuilder>(self));
        VOREL_LET(inputs, compute_inputs(builder->inputs, "Market data is required for valuation."));
        const auto value = [&] {
            return value_option(*inputs.option, *inputs.market, inputs.table(), builder->inputs.valuation_time);
        };
        VOREL_LET(result, unwrap(run_interruptible(runs_long(inputs), value)));
        return wrap(OptionResult{result});
    });
}

PyMethodDef g_builder_methods[] = {
    method("market", record_market<ValuationBuilder, kMarket>, "market($self, market_frame)\n--\n\n"),
    method("at", record_valuation_time<ValuationBuilder, kAt>, "at($self, valuation_time=None)\n--\n\n"),
    method("config", record_config<ValuationBuilder, kConfig>, "config($self, config=None)\n--\n\n"),
    method("compute", compute, "compute($self)\n--\n\n"),
    kReduceMethod,
    kEndOfMethods,
};

PyRef create_builder() {
    return create_class({"builtins.ValuationBuilder", "ValuationBuilder(instrument)\n--\n\n",
                         sizeof(Object<ValuationBuilder>), dealloc<ValuationBuilder>,
                         construct_builder<ValuationBuilder, kConstruct>, nullptr, nullptr, g_builder_methods});
}

// A getter of a class T wrapping an engine result.
template <class T, class Read>
PyObject* get(PyObject* self, Read read) {
    return run_frame([&]() -> PyRef {
        VOREL_LET(value, receiver<T>(self));
        return read(value->result);
    });
}

PyRef optional_f64(const std::optional<double>& value) {
    return value ? from_f64(*value) : PyRef::borrow(Py_None);
}

PyObject* get_price(PyObject* self, void*) {
    return get<OptionResult>(self, [](const PricingResult& r) { return from_f64(r.price); });
}
PyObject* get_greeks(PyObject* self, void*) {
    return get<OptionResult>(self, [](const PricingResult& r) { return wrap(Greeks{r}); });
}
PyObject* result_repr(PyObject* self) {
    return get<OptionResult>(
        self, [](const PricingResult& r) { return from_str("<OptionResult price=" + format_fixed(r.price, 4) + ">"); });
}

PyMethodDef g_result_methods[] = {kReduceMethod, kEndOfMethods};

PyGetSetDef g_result_getset[] = {
    {"price", get_price, nullptr, nullptr, nullptr},
    {"greeks", get_greeks, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyRef create_result() {
    return create_class({"builtins.OptionResult", "", sizeof(Object<OptionResult>), dealloc<OptionResult>, nullptr,
                         result_repr, nullptr, g_result_methods, g_result_getset});
}

PyObject* get_delta(PyObject* self, void*) {
    return get<Greeks>(self, [](const PricingResult& r) { return from_f64(r.delta); });
}
PyObject* get_gamma(PyObject* self, void*) {
    return get<Greeks>(self, [](const PricingResult& r) { return from_f64(r.gamma); });
}
PyObject* get_theta(PyObject* self, void*) {
    return get<Greeks>(self, [](const PricingResult& r) { return from_f64(r.theta); });
}
PyObject* get_vega(PyObject* self, void*) {
    return get<Greeks>(self, [](const PricingResult& r) { return optional_f64(r.vega); });
}
PyObject* get_rho(PyObject* self, void*) {
    return get<Greeks>(self, [](const PricingResult& r) { return optional_f64(r.rho); });
}

PyGetSetDef g_greeks_getset[] = {
    {"delta", get_delta, nullptr, nullptr, nullptr},
    {"gamma", get_gamma, nullptr, nullptr, nullptr},
    {"theta", get_theta, nullptr, nullptr, nullptr},
    {"vega", get_vega, nullptr, nullptr, nullptr},
    {"rho", get_rho, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyRef create_greeks() {
    return create_class({"builtins.Greeks", "", sizeof(Object<Greeks>), dealloc<Greeks>, nullptr, nullptr, nullptr,
                         g_result_methods, g_greeks_getset});
}

// (price, delta, gamma, theta, vega or None, rho or None).
PyRef result_state(const PricingResult& r) {
    return tuple_of(from_f64(r.price), from_f64(r.delta), from_f64(r.gamma), from_f64(r.theta), optional_f64(r.vega),
                    optional_f64(r.rho));
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
