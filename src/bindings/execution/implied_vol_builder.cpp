// ImpliedVolBuilder: the valuation inputs plus a target price, solved for the
// volatility. Reached through VanillaOption.implied_vol(); not a module attribute.

#include "bindings/class_builder.hpp"
#include "bindings/convert.hpp"
#include "bindings/execution/builder.hpp"
#include "bindings/methods.hpp"
#include "bindings/pickle.hpp"
#include "execution/implied_vol.hpp"

namespace vorel::py {
namespace {

constinit const Signature<1> kConstruct{"ImpliedVolBuilder.__new__", {"instrument"}};
constinit const Signature<1> kMarket{"ImpliedVolBuilder.market", {"market_frame"}};
constinit const Signature<1> kAt{"ImpliedVolBuilder.at", {"valuation_time"}, 0};
constinit const Signature<1> kPrice{"ImpliedVolBuilder.price", {"target"}};
constinit const Signature<1> kConfig{"ImpliedVolBuilder.config", {"config"}, 0};

PyObject* price(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return record_input<ImpliedVolBuilder, kPrice>(self, args, nargs, kwnames,
                                                   [](ImpliedVolBuilder& builder, PyObject* target) {
                                                       const std::optional<double> value = named("target", to_f64(target));
                                                       if (!value) return false;
                                                       builder.target = value;
                                                       return true;
                                                   });
}

PyObject* calculate(PyObject* self, PyObject*) {
    return run_frame([&]() -> PyRef {
        VOREL_LET(builder, receiver<ImpliedVolBuilder>(self));
        VOREL_LET(inputs, compute_inputs(builder->inputs, "Market data is required for implied volatility solving."));
        const auto solve = [&] {
            return implied_vol_solve(*inputs.option, *inputs.market, builder->inputs.valuation_time, inputs.table(),
                                     builder->target);
        };
        VOREL_LET(vol, unwrap(run_interruptible(runs_long(inputs), solve)));
        return from_f64(vol);
    });
}

PyMethodDef g_methods[] = {
    method("market", record_market<ImpliedVolBuilder, kMarket>, "market($self, market_frame)\n--\n\n"),
    method("at", record_valuation_time<ImpliedVolBuilder, kAt>, "at($self, valuation_time=None)\n--\n\n"),
    method("price", price, "price($self, target)\n--\n\n"),
    method("config", record_config<ImpliedVolBuilder, kConfig>, "config($self, config=None)\n--\n\n"),
    method("calculate", calculate, "calculate($self)\n--\n\n"),
    kReduceMethod,
    kEndOfMethods,
};

PyRef create() {
    return create_class({"builtins.ImpliedVolBuilder", "ImpliedVolBuilder(instrument)\n--\n\n",
                         sizeof(Object<ImpliedVolBuilder>), dealloc<ImpliedVolBuilder>,
                         construct_builder<ImpliedVolBuilder, kConstruct>, nullptr, nullptr, g_methods});
}

}  // namespace

// The recorded inputs, then the target price or None.
template <>
PyRef pickled_state<ImpliedVolBuilder>(const ImpliedVolBuilder& builder) {
    PyRef target = builder.target ? from_f64(*builder.target) : PyRef::borrow(Py_None);
    if (!target) return {};
    return inputs_state(builder.inputs, target);
}

template <>
PyRef unpickle<ImpliedVolBuilder>(PyObject* state) {
    VOREL_LET(items, state_items<5>(state));
    VOREL_LET(inputs, inputs_from_state(items.data()));
    ImpliedVolBuilder builder{std::move(inputs), std::nullopt};
    if (items[4] != Py_None) {
        VOREL_LET(target, to_f64(items[4]));
        builder.target = target;
    }
    return wrap(std::move(builder));
}

VOREL_CLASS_OBJECT(ImpliedVolBuilder, create)

}  // namespace vorel::py
